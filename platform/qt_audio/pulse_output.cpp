// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's sound output on libpulse's threaded main loop, fed from a thread of its own.
#include "platform/qt_audio/pulse_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/qt_audio/sink_feeding.h"

namespace vantora::platform::qt {
namespace {

using Clock = std::chrono::steady_clock;

// How often a server that is not there, or went away, is looked for again. Looking costs a failed
// connect on a socket, and half a second keeps a server that comes well within the two seconds a
// listener waits before thinking the player broken.
constexpr auto kRetryPeriod = std::chrono::milliseconds(500);

// A server that has just started may leave a new stream unasked for a second or more, while the
// sound waits here. Sound that waited longer than this is no longer the head's: once asked, the
// stream starts from the newest.
constexpr size_t kStaleBytes = BytesFor(500);

// The feeder wakes when sound arrives and, while a stream plays or a context connects, every few
// milliseconds besides; a feeder with neither sleeps until sound comes. Each wake it takes the
// main loop's lock and moves on one step: connecting, opening a stream, or feeding the stream by
// the same rules as the Qt output (nothing dropped but on Discard, silence only when the stream
// would run dry, the stream ended after a while of nothing). A context that fails is dropped and a
// new one tried after kRetryPeriod, the sound meanwhile let go as it comes, so that it picks up
// from the head.
class PulseOutput final : public audio::SoundOutput {
 public:
  PulseOutput() : loop_(pa_threaded_mainloop_new()) {
    if (loop_ != nullptr) {
      pa_threaded_mainloop_start(loop_);
    }
    feeder_ = std::thread([this] { Run(); });
  }
  ~PulseOutput() override {
    {
      std::lock_guard lock(wake_mutex_);
      ending_ = true;
    }
    wake_.notify_one();
    feeder_.join();
    if (loop_ != nullptr) {
      pa_threaded_mainloop_lock(loop_);
      DropStream();
      DropContext();
      pa_threaded_mainloop_unlock(loop_);
      pa_threaded_mainloop_stop(loop_);
      pa_threaded_mainloop_free(loop_);
    }
  }
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  void Write(const int16_t* samples, size_t frames) override {
    queue_.Push(reinterpret_cast<const char*>(samples), frames * kBytesPerFrame);
    {
      std::lock_guard lock(wake_mutex_);
      arrived_ = true;
    }
    wake_.notify_one();
  }
  void Discard() override { queue_.Clear(); }
  size_t Pending() const override { return (queue_.Size() + held_) / kBytesPerFrame; }
  // Scaled here, as the Qt output does, so that at full volume the samples reach the server as
  // they are.
  void SetVolume(double volume) override { volume_ = std::clamp(volume, 0.0, 1.0); }

 private:
  void Run() {
    std::unique_lock lock(wake_mutex_);
    bool resting = false;
    while (!ending_) {
      const auto woken = [this] { return ending_ || arrived_; };
      if (resting) {
        wake_.wait(lock, woken);  // nothing to feed or look after until sound comes
      } else {
        wake_.wait_for(lock, std::chrono::milliseconds(kFeedPeriodMs), woken);
      }
      if (ending_) {
        break;
      }
      const bool arrived = arrived_;
      arrived_ = false;
      lock.unlock();
      if (loop_ == nullptr) {
        queue_.Clear();
        Say();
        resting = true;
      } else {
        pa_threaded_mainloop_lock(loop_);
        Step(arrived);
        // Without a stream and with nothing waiting there is nothing to do until sound comes: a
        // context that failed meanwhile is found then, and a lost server looked for again.
        resting = stream_ == nullptr && queue_.Size() == 0 &&
                  (context_ == nullptr || pa_context_get_state(context_) == PA_CONTEXT_READY);
        pa_threaded_mainloop_unlock(loop_);
      }
      lock.lock();
    }
  }

  // Under the main loop's lock: one step on from wherever the connection stands.
  void Step(bool arrived) {
    if (context_ == nullptr && !Connect()) {
      return;
    }
    switch (pa_context_get_state(context_)) {
      case PA_CONTEXT_READY:
        break;
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED:
        Lost();
        return;
      default:
        return;  // connecting: what comes meanwhile waits in the queue
    }
    if (stream_ == nullptr) {
      if (!arrived && queue_.Size() == 0) {
        return;  // resting
      }
      if (!OpenStream()) {
        Lost();
        return;
      }
    }
    switch (pa_stream_get_state(stream_)) {
      case PA_STREAM_READY:
        break;
      case PA_STREAM_FAILED:
      case PA_STREAM_TERMINATED:
        Lost();
        return;
      default:
        return;
    }
    if (!started_) {
      Start();
    }
    if (arrived) {
      quietFeeds_ = 0;
    }
    Feed();
  }

  // A new context, unless the last one failed too recently. false while there is none.
  bool Connect() {
    const auto now = Clock::now();
    if (tried_ && now - lastTry_ < kRetryPeriod) {
      queue_.Clear();
      return false;
    }
    lastTry_ = now;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Vantora");
    // The first connect may start a server as the user's settings allow; the retries only look
    // for one.
    const auto flags = tried_ ? PA_CONTEXT_NOAUTOSPAWN : PA_CONTEXT_NOFLAGS;
    tried_ = true;
    if (context_ == nullptr || pa_context_connect(context_, nullptr, flags, nullptr) < 0) {
      Lost();
      return false;
    }
    return true;
  }

  // A new stream, set going (by the server, once full) on silence so that the first sound finds it
  // playing. (A stream corked and set going again lost the front of its next sound, so a resting
  // output ends its stream instead.)
  bool OpenStream() {
    const pa_sample_spec spec{PA_SAMPLE_S16NE, static_cast<uint32_t>(audio::kSampleRate),
                              static_cast<uint8_t>(audio::kChannels)};
    stream_ = pa_stream_new(context_, "Vantora", &spec, nullptr);
    if (stream_ == nullptr) {
      return false;
    }
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(kSinkBytes);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    started_ = false;
    return pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_NOFLAGS, nullptr,
                                      nullptr) == 0;
  }

  void Start() {
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream_);
    size_ = attr != nullptr ? attr->tlength : kSinkBytes;
    const size_t lead = pa_stream_writable_size(stream_) + kLeadBytes;
    chunk_.assign(lead - lead % kBytesPerFrame, char{0});
    pa_stream_write(stream_, chunk_.data(), chunk_.size(), nullptr, 0, PA_SEEK_RELATIVE);
    quietFeeds_ = kPauseFeeds;
    started_ = true;
    asked_ = false;
    said_ = false;
  }

  // Moves what the stream has room for from the queue into it, or silence when there is nothing to
  // move and it would soon run dry.
  void Feed() {
    const size_t writable = pa_stream_writable_size(stream_);
    const size_t room = writable == static_cast<size_t>(-1) ? 0 : writable;
    if (room > 0 && !asked_) {
      asked_ = true;
      if (queue_.Size() > kStaleBytes) {
        queue_.KeepNewest(kSinkBytes);
      }
    }
    chunk_.resize(room);
    size_t bytes = queue_.Take(chunk_.data(), room);
    quietFeeds_ = bytes > 0 ? 0 : quietFeeds_ + 1;
    const size_t held = size_ - std::min(room, size_);
    const size_t floor = quietFeeds_ >= kPauseFeeds ? kCushionBytes : kLowBytes;
    if (bytes == 0 && held < floor) {
      bytes = std::min(floor - held, room);
      bytes -= bytes % kBytesPerFrame;
      std::fill_n(chunk_.begin(), bytes, char{0});
    } else if (bytes > 0) {
      Scale(bytes);
    }
    if (bytes > 0) {
      pa_stream_write(stream_, chunk_.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE);
    }
    held_ = held + bytes;
    if (quietFeeds_ >= kQuietFeeds) {
      DropStream();  // nothing has come for a while: the stream ends until sound comes
    }
  }

  void Scale(size_t bytes) {
    const double volume = volume_;
    if (volume >= 1.0) {
      return;
    }
    auto* samples = reinterpret_cast<int16_t*>(chunk_.data());
    for (size_t i = 0; i < bytes / sizeof(int16_t); ++i) {
      samples[i] = static_cast<int16_t>(samples[i] * volume);
    }
  }

  // There is no server to play to: what there was goes, and is looked for again later.
  void Lost() {
    DropStream();
    DropContext();
    queue_.Clear();
    Say();
  }
  void Say() {
    if (!said_) {
      std::fprintf(stderr, "vantora: no sound output, so playback is silent\n");
      said_ = true;
    }
  }

  void DropStream() {
    if (stream_ != nullptr) {
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
      stream_ = nullptr;
    }
    held_ = 0;
    started_ = false;
  }
  void DropContext() {
    if (context_ != nullptr) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
  }

  SampleQueue queue_;
  std::atomic<size_t> held_{0};  // what the stream held at the last feed
  std::atomic<double> volume_{1.0};
  pa_threaded_mainloop* loop_;
  std::thread feeder_;
  std::mutex wake_mutex_;
  std::condition_variable wake_;
  bool ending_ = false;   // under wake_mutex_
  bool arrived_ = false;  // under wake_mutex_
  // On the feeder, under the main loop's lock.
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  bool started_ = false;  // the stream was set going
  bool asked_ = false;    // and has since asked for sound
  size_t size_ = kSinkBytes;
  int quietFeeds_ = 0;
  std::vector<char> chunk_;
  bool tried_ = false;  // a connect was tried, at lastTry_
  Clock::time_point lastTry_;
  bool said_ = false;  // that there is no output was said, and no stream has played since
};

}  // namespace

std::unique_ptr<audio::SoundOutput> OpenPulseOutput() {
  return std::make_unique<PulseOutput>();
}

}  // namespace vantora::platform::qt
