// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder: every sample the drive plays, in order, in a WAV file whose header always fits.
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/audio/sound_output.h"

namespace vantora::platform::audio {
namespace {

// The RIFF sizes are 32-bit: a recording stops short of 4 GiB (over six hours) rather than wrap.
constexpr int64_t kLargestFrames = (0xFFFFFFFFll - 44) / (kChannels * sizeof(int16_t));

class WavRecorder final : public SoundOutput {
 public:
  WavRecorder(int fd, SNDFILE* file, std::string name)
      : fd_(fd), file_(file), name_(std::move(name)) {}
  ~WavRecorder() override {
    sf_close(file_);
    ::close(fd_);
  }
  WavRecorder(const WavRecorder&) = delete;
  WavRecorder& operator=(const WavRecorder&) = delete;

  void Write(const int16_t* samples, size_t frames) override {
    if (failed_ || frames == 0) {
      return;
    }
    auto count = static_cast<sf_count_t>(frames);
    if (written_ + count > kLargestFrames) {
      count = kLargestFrames - written_;
      Stop("the recording reached the largest size a WAV file can hold");
    }
    const sf_count_t put = sf_writef_short(file_, samples, count);
    written_ += put;
    if (put != count) {
      Stop(sf_strerror(file_));
    }
  }
  // What was written has been "heard": nothing waits to be dropped.
  void Discard() override {}
  size_t Pending() const override { return 0; }

 private:
  // Keeps what was recorded so far and says once why the rest is not.
  void Stop(const char* why) {
    if (!failed_) {
      std::fprintf(stderr, "vantora: recording to '%s' stopped: %s\n", name_.c_str(), why);
    }
    failed_ = true;
  }

  int fd_;
  SNDFILE* file_;
  std::string name_;
  sf_count_t written_ = 0;
  bool failed_ = false;
};

class NullOutput final : public SoundOutput {
 public:
  void Write(const int16_t*, size_t) override {}
  void Discard() override {}
  size_t Pending() const override { return 0; }
};

}  // namespace

std::unique_ptr<SoundOutput> OpenRecorder(const std::filesystem::path& file, std::string* why) {
  // Opened here rather than by libsndfile, so that the reason is the system's and the file is
  // not left open in programs the player starts.
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (why != nullptr) {
      *why = file.string() + ": " + std::strerror(errno);
    }
    return nullptr;
  }
  SF_INFO info{};
  info.samplerate = kSampleRate;
  info.channels = kChannels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* sound = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  if (sound == nullptr) {
    if (why != nullptr) {
      *why = file.string() + ": " + sf_strerror(nullptr);
    }
    ::close(fd);
    return nullptr;
  }
  // The header is rewritten after every write, so a player that ends abruptly still leaves a
  // file that says how much it holds.
  sf_command(sound, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  return std::make_unique<WavRecorder>(fd, sound, file.string());
}

std::unique_ptr<SoundOutput> OpenNullOutput() {
  return std::make_unique<NullOutput>();
}

}  // namespace vantora::platform::audio
