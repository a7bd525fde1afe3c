// The desktop's sound output through Qt Multimedia.
#include "platform/qt_audio/desktop_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
constexpr size_t kQueueBytes = BytesFor(50);

// The sound waiting for the sink, which pulls it from its own thread. Past its capacity the oldest
// sound goes, so that a sink that stalls never puts the ear behind the head.
class SampleQueue final : public QIODevice {
 public:
  SampleQueue() : ring_(kQueueBytes) {}

  void Push(const char* data, size_t bytes) {
    {
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
    // A sink that ran dry stopped asking; this wakes it, on its own thread.
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT readyRead(); }, Qt::QueuedConnection);
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    head_ = size_ = 0;
  }

  size_t Size() const {
    std::lock_guard lock(mutex_);
    return size_;
  }

  bool isSequential() const override { return true; }
  bool atEnd() const override { return false; }  // more sound may always come
  qint64 bytesAvailable() const override {
    return static_cast<qint64>(Size()) + QIODevice::bytesAvailable();
  }

 protected:
  qint64 readData(char* data, qint64 maxlen) override {
    std::lock_guard lock(mutex_);
    // Whole frames only, so the channels never swap.
    size_t bytes = std::min(size_, static_cast<size_t>(std::max<qint64>(maxlen, 0)));
    bytes -= bytes % kBytesPerFrame;
    for (size_t left = bytes; left > 0;) {
      const size_t run = std::min(left, ring_.size() - head_);
      std::memcpy(data, ring_.data() + head_, run);
      data += run;
      left -= run;
      head_ = (head_ + run) % ring_.size();
    }
    size_ -= bytes;
    return static_cast<qint64>(bytes);
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  mutable std::mutex mutex_;
  std::vector<char> ring_;
  size_t head_ = 0;
  size_t size_ = 0;
};

class DesktopOutput final : public audio::SoundOutput {
 public:
  DesktopOutput() { thread_.start(); }
  ~DesktopOutput() override {
    // The sink and its queue are ended on the thread they live on.
    if (queue_) {
      QMetaObject::invokeMethod(
          queue_.get(),
          [this] {
            if (sink_) {
              sink_->stop();
            }
            sink_.reset();
            queue_.reset();
          },
          Qt::BlockingQueuedConnection);
    }
    thread_.quit();
    thread_.wait();
  }
  DesktopOutput(const DesktopOutput&) = delete;
  DesktopOutput& operator=(const DesktopOutput&) = delete;

  // Starts the sink on the output's thread; false, with the reason, when it will not play.
  bool Start(const QAudioDevice& device, const QAudioFormat& format, std::string* why) {
    queue_ = std::make_unique<SampleQueue>();
    queue_->open(QIODevice::ReadOnly);
    queue_->moveToThread(&thread_);
    bool started = false;
    QMetaObject::invokeMethod(
        queue_.get(),
        [&] {
          sink_ = std::make_unique<QAudioSink>(device, format);
          sink_->setBufferSize(static_cast<qsizetype>(kSinkBytes));
          sink_->start(queue_.get());
          started = sink_->error() == QAudio::NoError;
        },
        Qt::BlockingQueuedConnection);
    if (!started && why != nullptr) {
      *why = "the sound output " + device.description().toStdString() + " would not start";
    }
    return started;
  }

  void Write(const int16_t* samples, size_t frames) override {
    queue_->Push(reinterpret_cast<const char*>(samples), frames * kBytesPerFrame);
  }
  void Discard() override { queue_->Clear(); }
  // What waits here and, at most, what the sink holds.
  size_t Pending() const override { return (queue_->Size() + kSinkBytes) / kBytesPerFrame; }

 private:
  QThread thread_;
  std::unique_ptr<SampleQueue> queue_;
  std::unique_ptr<QAudioSink> sink_;
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
