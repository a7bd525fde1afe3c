// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's sound output through Qt Multimedia, or straight to PulseAudio where built with it.
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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/qt_audio/sink_feeding.h"
#ifdef VANTORA_PULSE_OUTPUT
#include "platform/qt_audio/pulse_output.h"
#endif

namespace vantora::platform::qt {
namespace {

using audio::kChannels;
using audio::kSampleRate;

// How often an output without a sound server looks for one again while sound comes. Qt itself
// tries to reach a lost server again every three seconds, so a server is found within about three
// seconds of its coming back; one that was not there when the player started, Qt never tries.
constexpr auto kRetryPeriod = std::chrono::milliseconds(250);

// The sink lives on a thread of its own, so the player's windows never keep it waiting. It is fed
// by writing as much as it has room for: whenever sound arrives and every few milliseconds while
// there is sound. Half a second after the last of it, the stream to the server ends, so that a
// player with nothing to play costs nothing. Without a sound server the sound is let go as it
// comes, so that it picks up from the head once a server is found again, which is looked for
// while there is sound.
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

  // Starts the output, with a sink if there is a sound server.
  void Start(const QAudioFormat& format) {
    format_ = format;
    OnThread([this] {
      feeder_ = std::make_unique<QTimer>();
      feeder_->setTimerType(Qt::PreciseTimer);
      QObject::connect(feeder_.get(), &QTimer::timeout, feeder_.get(), [this] { Feed(); });
      if (!Open()) {
        Lost();
      }
    });
  }

  void Write(const int16_t* samples, size_t frames) override {
    queue_.Push(reinterpret_cast<const char*>(samples), frames * kBytesPerFrame);
    QMetaObject::invokeMethod(
        &anchor_, [this] { Wake(); }, Qt::QueuedConnection);
  }
  void Discard() override { queue_.Clear(); }
  size_t Pending() const override { return (queue_.Size() + held_) / kBytesPerFrame; }
  // The sink scales the samples; a sink made later starts at the volume set last.
  void SetVolume(double volume) override {
    QMetaObject::invokeMethod(
        &anchor_,
        [this, volume] {
          volume_ = volume;
          if (sink_) {
            sink_->setVolume(volume_);
          }
        },
        Qt::QueuedConnection);
  }

 private:
  void OnThread(const std::function<void()>& work) {
    QMetaObject::invokeMethod(&anchor_, work, Qt::BlockingQueuedConnection);
  }

  // On the output's thread: a new stream to the sound server, set going on silence so that the
  // first sound finds it playing. (A stream corked and set going again lost the front of its next
  // sound, so a resting output ends its stream instead.)
  bool Open() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(format_)) {
      return false;
    }
    sink_ = std::make_unique<QAudioSink>(device, format_);
    sink_->setBufferSize(static_cast<qsizetype>(kSinkBytes));
    sink_->setVolume(volume_);
    input_ = sink_->start();
    if (input_ == nullptr || sink_->error() != QAudio::NoError) {
      sink_.reset();
      input_ = nullptr;
      return false;
    }
    const auto lead =
        std::max<qsizetype>(sink_->bytesFree(), 0) + static_cast<qsizetype>(kLeadBytes);
    input_->write(std::vector<char>(static_cast<size_t>(lead)).data(), lead);
    quietFeeds_ = kPauseFeeds;
    feeder_->start(kFeedPeriodMs);
    lost_ = false;
    return true;
  }

  // On the output's thread: there is no sound server to play to. Said once until one is found.
  void Lost() {
    if (sink_) {
      Rest();
    }
    queue_.Clear();
    lost_ = true;
    tried_ = std::chrono::steady_clock::now();
    if (!said_) {
      std::fprintf(stderr, "vantora: no sound output, so playback is silent\n");
      said_ = true;
    }
  }

  // On the output's thread: nothing has come for a while, so the stream ends until sound comes.
  void Rest() {
    feeder_->stop();
    sink_->stop();
    sink_.reset();
    input_ = nullptr;
    held_ = 0;
  }

  // On the output's thread: sound has arrived.
  void Wake() {
    if (!sink_ && lost_ && std::chrono::steady_clock::now() - tried_ < kRetryPeriod) {
      queue_.Clear();
      return;
    }
    if (!sink_) {
      if (!Open()) {
        Lost();
        return;
      }
      said_ = false;
    }
    quietFeeds_ = 0;
    if (!feeder_->isActive()) {
      feeder_->start(kFeedPeriodMs);
    }
    Feed();
  }

  // On the output's thread: moves what the sink has room for from the queue into it, or silence
  // when there is nothing to move and the sink would soon run dry.
  void Feed() {
    if (sink_->state() == QAudio::StoppedState) {
      Lost();  // the server went away
      return;
    }
    const auto room = static_cast<size_t>(std::max<qsizetype>(sink_->bytesFree(), 0));
    chunk_.resize(room);
    size_t bytes = queue_.Take(chunk_.data(), room);
    quietFeeds_ = bytes > 0 ? 0 : quietFeeds_ + 1;
    const auto held = static_cast<size_t>(std::max<qsizetype>(sink_->bufferSize(), 0)) -
                      std::min(room, static_cast<size_t>(sink_->bufferSize()));
    const size_t floor = quietFeeds_ >= kPauseFeeds ? kCushionBytes : kLowBytes;
    if (bytes == 0 && held < floor) {
      bytes = std::min(floor - held, room);
      bytes -= bytes % kBytesPerFrame;
      std::fill_n(chunk_.begin(), bytes, char{0});
    }
    if (bytes > 0) {
      input_->write(chunk_.data(), static_cast<qint64>(bytes));
    }
    held_ = held + bytes;
    if (quietFeeds_ >= kQuietFeeds) {
      Rest();
    }
  }

  SampleQueue queue_;
  std::atomic<size_t> held_{0};  // what the sink held at the last feed
  QThread thread_;
  QObject anchor_;  // lives on the thread: what runs there runs through it
  QAudioFormat format_;
  // Made, fed and ended on the thread.
  std::unique_ptr<QAudioSink> sink_;
  QIODevice* input_ = nullptr;  // the sink's own
  double volume_ = 1.0;
  std::unique_ptr<QTimer> feeder_;
  int quietFeeds_ = 0;
  std::vector<char> chunk_;
  bool lost_ = false;  // no sound server was found
  bool said_ = false;  // and that was said
  std::chrono::steady_clock::time_point tried_;
};

QtMessageHandler previousHandler = nullptr;

// Qt's sound service complains on its own when it finds no sound server, or loses it; the player
// says it once, in its own words, instead.
void QuietSoundService(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("PulseAudioService:")) ||
      message.contains(QLatin1String("Stream error:"))) {
    return;
  }
  if (previousHandler != nullptr) {
    previousHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  }
}

#ifdef VANTORA_PULSE_OUTPUT
// A server is named, or the session has the folder where the user's server lives.
bool PulseMayCome() {
  for (const char* name : {"PULSE_SERVER", "XDG_RUNTIME_DIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return true;
    }
  }
  return false;
}
#endif

}  // namespace

std::unique_ptr<audio::SoundOutput> OpenDesktopOutput(std::string* why) {
#ifdef VANTORA_PULSE_OUTPUT
  // Qt's sound service never looks again for a server that was not there when it started, so
  // where a PulseAudio server is, or may come, the player talks to it itself.
  if (PulseMayCome()) {
    return OpenPulseOutput();
  }
#endif
  static const bool quiet = [] {
    previousHandler = qInstallMessageHandler(QuietSoundService);
    return true;
  }();
  (void)quiet;
  QAudioFormat format;
  format.setSampleRate(kSampleRate);
  format.setChannelCount(kChannels);
  format.setSampleFormat(QAudioFormat::Int16);
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (!device.isNull() && !device.isFormatSupported(format)) {
    if (why != nullptr) {
      *why = "the sound output " + device.description().toStdString() +
             " does not play 16-bit stereo at 44.1 kHz";
    }
    return nullptr;
  }
  auto output = std::make_unique<DesktopOutput>();
  output->Start(format);
  return output;
}

}  // namespace vantora::platform::qt
