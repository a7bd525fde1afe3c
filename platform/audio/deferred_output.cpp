// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/deferred_output.h"

#include <mutex>
#include <optional>
#include <utility>

namespace vantora::platform::audio {

namespace {

class DeferredOutput final : public SoundOutput {
 public:
  DeferredOutput(std::function<std::unique_ptr<SoundOutput>(std::string*)> open,
                 std::function<void(const std::string&)> failed)
      : open_(std::move(open)), failed_(std::move(failed)) {}

  void Write(const int16_t* samples, size_t frames) override {
    const std::lock_guard lock(mutex_);
    if (!tried_) {
      tried_ = true;
      std::string why;
      output_ = open_(&why);
      if (!output_) {
        failed_(why);
      } else if (volume_) {
        output_->SetVolume(*volume_);
      }
    }
    if (output_) {
      output_->Write(samples, frames);
    }
  }
  void Discard() override {
    const std::lock_guard lock(mutex_);
    if (output_) {
      output_->Discard();
    }
  }
  size_t Pending() const override {
    const std::lock_guard lock(mutex_);
    return output_ ? output_->Pending() : 0;
  }
  void SetVolume(double volume) override {
    const std::lock_guard lock(mutex_);
    volume_ = volume;
    if (output_) {
      output_->SetVolume(volume);
    }
  }

 private:
  mutable std::mutex mutex_;
  std::function<std::unique_ptr<SoundOutput>(std::string*)> open_;
  std::function<void(const std::string&)> failed_;
  bool tried_ = false;
  std::unique_ptr<SoundOutput> output_;
  std::optional<double> volume_;
};

}  // namespace

std::unique_ptr<SoundOutput> OpenDeferredOutput(
    std::function<std::unique_ptr<SoundOutput>(std::string* why)> open,
    std::function<void(const std::string& why)> failed) {
  return std::make_unique<DeferredOutput>(std::move(open), std::move(failed));
}

}  // namespace vantora::platform::audio
