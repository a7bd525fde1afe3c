// SPDX-License-Identifier: GPL-3.0-or-later
// What every desktop output keeps to when feeding its sink, and the queue it feeds from.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/audio/sound_output.h"

namespace vantora::platform::qt {

constexpr size_t kBytesPerFrame = audio::kChannels * sizeof(int16_t);

// Bytes of sound lasting `ms` milliseconds, in whole frames.
constexpr size_t BytesFor(int ms) {
  return static_cast<size_t>(audio::kSampleRate) * ms / 1000 * kBytesPerFrame;
}

// What the sink is asked to hold (the server grants somewhat less): enough that a busy machine late
// to top it up does not run it dry, little enough that the ear stays well within 0.2 s of the head.
constexpr size_t kSinkBytes = BytesFor(150);
// What may wait for the sink here at most. Sound is never dropped to keep within it while the sink
// takes it; only a sink that has stopped taking sound for this long loses the oldest.
constexpr size_t kMostQueued = BytesFor(1000);
// How often the sink is topped up from the queue besides when sound arrives, and after how many
// tops-up with nothing to give an emptied sink rests until sound comes again.
constexpr int kFeedPeriodMs = 10;
constexpr int kQuietFeeds = 50;
// A sink that runs dry does not wait for the sound that comes late: the sound server plays on in
// silence and cuts that much from the front of what comes next. So the sink is never let run dry:
// after a few tops-up with nothing to give (a pause, a stop) it is kept this full of silence, which
// is what sound then follows, and while sound comes it is saved from running dry by a little
// silence should the sound come late.
constexpr int kPauseFeeds = 5;
constexpr size_t kCushionBytes = BytesFor(60);
constexpr size_t kLowBytes = BytesFor(10);
// A new stream is set going on a sink full of silence and this much more: a server whose sink has
// been idle may take a sink's fill at once, and the first sound must still find the stream playing.
constexpr size_t kLeadBytes = BytesFor(50);

// The sound waiting for the sink, filled on the pump's thread and emptied on the output's, in the
// order it came.
class SampleQueue {
 public:
  void Push(const char* data, size_t bytes) {
    std::lock_guard lock(mutex_);
    bytes_.insert(bytes_.end(), data, data + bytes);
    if (bytes_.size() - head_ > kMostQueued) {
      head_ = bytes_.size() - kMostQueued;
    }
  }

  // Takes at most `most` bytes, in whole frames so the channels never swap.
  size_t Take(char* data, size_t most) {
    std::lock_guard lock(mutex_);
    size_t bytes = std::min(bytes_.size() - head_, most);
    bytes -= bytes % kBytesPerFrame;
    if (bytes == 0) {
      return 0;
    }
    std::memcpy(data, bytes_.data() + head_, bytes);
    head_ += bytes;
    if (head_ == bytes_.size() || head_ > kMostQueued) {
      bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    return bytes;
  }

  // Lets go all but the newest `bytes`, in whole frames.
  void KeepNewest(size_t bytes) {
    std::lock_guard lock(mutex_);
    bytes -= bytes % kBytesPerFrame;
    if (bytes_.size() - head_ > bytes) {
      head_ = bytes_.size() - bytes;
    }
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    bytes_.clear();
    head_ = 0;
  }

  size_t Size() const {
    std::lock_guard lock(mutex_);
    return bytes_.size() - head_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<char> bytes_;
  size_t head_ = 0;  // where the sound not yet taken begins
};

}  // namespace vantora::platform::qt
