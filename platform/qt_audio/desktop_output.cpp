// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's sound output through Qt Multimedia.
#include "platform/qt_audio/desktop_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace vantora::platform::qt {
namespace {

using audio::kChannels;
using audio::kSampleRate;

constexpr size_t kBytesPerFrame = kChannels * sizeof(int16_t);

// Bytes of sound lasting `ms` milliseconds, in whole frames.
constexpr size_t BytesFor(int ms) {
  return static_cast<size_t>(kSampleRate) * ms / 1000 * kBytesPerFrame;
}

// What the sink may hold, and what may wait for it here. The drive's pump delivers a little at a
// time (every 20 ms), so together they stay well under the 0.1 s the head is ahead of the ear.
constexpr size_t kSinkBytes = BytesFor(40);
constexpr size_t kQueueBytes = BytesFor(40);
// How often the sink is topped up from the queue besides when sound arrives, and after how many
// tops-up with nothing to give an emptied sink rests until sound comes again.
constexpr int kFeedPeriodMs = 10;
constexpr int kQuietFeeds = 50;

// The sound waiting for the sink, filled on the pump's thread and emptied on the output's. Past
// its capacity the oldest sound goes, so that a sink that stalls never puts the ear behind the
// head.
class SampleQueue {
 public:
  SampleQueue() : ring_(kQueueBytes) {}

  void Push(const char* data, size_t bytes) {
    std::lock_guard lock(mutex_);
    if (bytes >= ring_.size()) {
      data += bytes - ring_.size();
      bytes = ring_.size();
    }
    const size_t overflow = std::max(size_ + bytes, ring_.size()) - ring_.size();
    head_ = (head_ + overflow) % ring_.size();
    size_ -= overflow;
    size_t tail = (head_ + size_) % ring_.size();
    for (size_t left = bytes; left > 0;) {
      const size_t run = std::min(left, ring_.size() - tail);
      std::memcpy(ring_.data() + tail, data, run);
      data += run;
      left -= run;
      tail = (tail + run) % ring_.size();
    }
    size_ += bytes;
  }

  // Takes at most `most` bytes, in whole frames so the channels never swap.
  size_t Take(char* data, size_t most) {
    std::lock_guard lock(mutex_);
    size_t bytes = std::min(size_, most);
    bytes -= bytes % kBytesPerFrame;
    for (size_t left = bytes; left > 0;) {
      const size_t run = std::min(left, ring_.size() - head_);
      std::memcpy(data, ring_.data() + head_, run);
      data += run;
      left -= run;
      head_ = (head_ + run) % ring_.size();
    }
    size_ -= bytes;
    return bytes;
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    head_ = size_ = 0;
  }

  size_t Size() const {
    std::lock_guard lock(mutex_);
    return size_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<char> ring_;
  size_t head_ = 0;
  size_t size_ = 0;
};

// The sink lives on a thread of its own, so the player's windows never keep it waiting. It is fed
// by writing as much as it has room for: whenever sound arrives and every few milliseconds while
// there is sound. Half a second after the last of it, the sink is suspended, so that a player with
// nothing to play costs nothing.
class DesktopOutput final : public audio::SoundOutput {
 public:
  DesktopOutput() {
    anchor_.moveToThread(&thread_);
    thread_.start();
  }
  ~DesktopOutput() override {
    OnThread([this] {
      feeder_.reset();
      if (sink_) {
        sink_->stop();
      }
      sink_.reset();
    });
    thread_.quit();
    thread_.wait();
  }
  DesktopOutput(const DesktopOutput&) = delete;
  DesktopOutput& operator=(const DesktopOutput&) = delete;

  // Starts the sink; false, with the reason, when it will not play.
  bool Start(const QAudioDevice& device, const QAudioFormat& format, std::string* why) {
    bool started = false;
    OnThread([&] {
      sink_ = std::make_unique<QAudioSink>(device, format);
      sink_->setBufferSize(static_cast<qsizetype>(kSinkBytes));
      input_ = sink_->start();
      started = input_ != nullptr && sink_->error() == QAudio::NoError;
      if (started) {
        feeder_ = std::make_unique<QTimer>();
        feeder_->setTimerType(Qt::PreciseTimer);
        QObject::connect(feeder_.get(), &QTimer::timeout, feeder_.get(), [this] { Feed(); });
      }
    });
    if (!started && why != nullptr) {
      *why = "the sound output " + device.description().toStdString() + " would not start";
    }
    return started;
  }

  void Write(const int16_t* samples, size_t frames) override {
    queue_.Push(reinterpret_cast<const char*>(samples), frames * kBytesPerFrame);
    QMetaObject::invokeMethod(
        &anchor_, [this] { Wake(); }, Qt::QueuedConnection);
  }
  void Discard() override { queue_.Clear(); }
  size_t Pending() const override { return (queue_.Size() + held_) / kBytesPerFrame; }

 private:
  void OnThread(const std::function<void()>& work) {
    QMetaObject::invokeMethod(&anchor_, work, Qt::BlockingQueuedConnection);
  }

  // On the output's thread: sound has arrived.
  void Wake() {
    if (!sink_) {
      return;
    }
    if (sink_->state() == QAudio::SuspendedState) {
      sink_->resume();
    }
    quietFeeds_ = 0;
    if (!feeder_->isActive()) {
      feeder_->start(kFeedPeriodMs);
    }
    Feed();
  }

  // On the output's thread: moves what the sink has room for from the queue into it.
  void Feed() {
    const auto room = static_cast<size_t>(std::max<qsizetype>(sink_->bytesFree(), 0));
    chunk_.resize(room);
    const size_t bytes = queue_.Take(chunk_.data(), room);
    if (bytes > 0) {
      input_->write(chunk_.data(), static_cast<qint64>(bytes));
      quietFeeds_ = 0;
    }
    const auto held = std::max<qsizetype>(sink_->bufferSize() - sink_->bytesFree(), 0);
    held_ = static_cast<size_t>(held);
    if (bytes == 0 && ++quietFeeds_ >= kQuietFeeds) {
      feeder_->stop();
      sink_->suspend();
    }
  }

  SampleQueue queue_;
  std::atomic<size_t> held_{0};  // what the sink held at the last feed
  QThread thread_;
  QObject anchor_;  // lives on the thread: what runs there runs through it
  // Made, fed and ended on the thread.
  std::unique_ptr<QAudioSink> sink_;
  QIODevice* input_ = nullptr;  // the sink's own
  std::unique_ptr<QTimer> feeder_;
  int quietFeeds_ = 0;
  std::vector<char> chunk_;
};

QtMessageHandler previousHandler = nullptr;

// Qt's sound service complains on its own when it finds no sound server; the player says it once,
// in its own words, instead.
void QuietSoundService(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("PulseAudioService:"))) {
    return;
  }
  if (previousHandler != nullptr) {
    previousHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  }
}

// The default output, asked for with the sound service's own complaints held back.
QAudioDevice DefaultOutput() {
  previousHandler = qInstallMessageHandler(QuietSoundService);
  QAudioDevice device = QMediaDevices::defaultAudioOutput();
  qInstallMessageHandler(previousHandler);
  return device;
}

}  // namespace

std::unique_ptr<audio::SoundOutput> OpenDesktopOutput(std::string* why) {
  const QAudioDevice device = DefaultOutput();
  if (device.isNull()) {
    if (why != nullptr) {
      *why = "no sound output";
    }
    return nullptr;
  }
  QAudioFormat format;
  format.setSampleRate(kSampleRate);
  format.setChannelCount(kChannels);
  format.setSampleFormat(QAudioFormat::Int16);
  if (!device.isFormatSupported(format)) {
    if (why != nullptr) {
      *why = "the sound output " + device.description().toStdString() +
             " does not play 16-bit stereo at 44.1 kHz";
    }
    return nullptr;
  }
  auto output = std::make_unique<DesktopOutput>();
  if (!output->Start(device, format, why)) {
    return nullptr;
  }
  return output;
}

}  // namespace vantora::platform::qt
