// SPDX-License-Identifier: GPL-3.0-or-later
// The MPRIS2 adapter on QtDBus. It reads the player's state and turns a call into the click the
// main window's loop would get from its button; what no button does (a paused Next, a seek) it
// asks of the player's device commands.
#include "desktop/mpris.h"

#include <unistd.h>

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "app/cdplayer.h"
#include "app/settings.h"
#include "app/state.h"
#include "desktop/inhibit.h"
#include "desktop/media_keys.h"
#include "platform/window_system.h"
#include "runtime/events.h"
#include "runtime/window.h"

namespace vantora::desktop {
namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.vantora");
// A head further than this from where the play would have taken it was moved.
constexpr int64_t kJumpMicroseconds = 1'000'000;

QDBusObjectPath TrackId(int32_t number) {
  return QDBusObjectPath(number == 0 ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                                     : QStringLiteral("/org/vantora/track/%1").arg(number));
}

// The player's texts are UTF-8.
QString FromPlayer(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariantMap MetadataOf(const Track& track) {
  QVariantMap map;
  map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId(track.number)));
  if (track.number == 0) {
    return map;
  }
  if (track.lengthMicroseconds > 0) {
    map.insert(QStringLiteral("mpris:length"),
               QVariant::fromValue(qlonglong{track.lengthMicroseconds}));
  }
  map.insert(QStringLiteral("xesam:title"), FromPlayer(track.title));
  map.insert(QStringLiteral("xesam:album"), FromPlayer(track.album));
  map.insert(QStringLiteral("xesam:artist"), QStringList{FromPlayer(track.artist)});
  map.insert(QStringLiteral("xesam:trackNumber"), track.number);
  return map;
}

class RootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  explicit RootAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}

  QString Identity() const { return QStringLiteral("Vantora"); }
  QString DesktopEntry() const { return QStringLiteral("vantora"); }
  bool CanQuit() const { return true; }
  bool CanRaise() const { return true; }
  bool HasTrackList() const { return false; }
  QStringList SupportedUriSchemes() const { return {}; }
  QStringList SupportedMimeTypes() const { return {}; }

 public Q_SLOTS:
  void Raise() {
    if (!HaveMainWindow()) {
      return;
    }
    platform::WindowSystem* system = platform::CurrentWindowSystem();
    const uint64_t id =
        system == nullptr ? 0 : system->NativeHandle(runtime::NativeWindowOf(app::MAINWINDOW));
    if (QWidget* widget = QWidget::find(static_cast<WId>(id))) {
      widget->raise();
      widget->activateWindow();
    }
  }
  // The same close as the window's close box, so the player saves its settings on the way out.
  void Quit() {
    if (HaveMainWindow()) {
      runtime::POSTEVENTTO(app::MAINWINDOW, runtime::EVENT::CloseWindow);
    }
  }
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
  Q_PROPERTY(double Rate READ Rate WRITE SetRate)
  Q_PROPERTY(double MinimumRate READ Rate)
  Q_PROPERTY(double MaximumRate READ Rate)
  Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ HaveDisc)
  Q_PROPERTY(bool CanPause READ HaveDisc)
  Q_PROPERTY(bool CanSeek READ HaveDisc)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  explicit PlayerAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}

  QString PlaybackStatus() const { return Name(PlaybackName(PlaybackShown())); }
  QString LoopStatus() const { return Name(LoopName(app::REPEATMODE)); }
  void SetLoopStatus(const QString& loop) { SetLoop(loop.toStdString()); }
  double Rate() const { return 1.0; }
  void SetRate(double /*rate*/) {}
  double Volume() const { return app::VOLUME / 100.0; }
  // Kept in percent, as the settings file has it; louder than the disc is not offered.
  void SetVolume(double volume) {
    if (std::isnan(volume)) {
      return;
    }
    app::VOLUME = static_cast<int32_t>(std::lround(std::clamp(volume, 0.0, 1.0) * 100));
    app::APPLYVOLUME();
    Tell(onChanged);
  }
  QVariantMap Metadata() const { return MetadataOf(TrackNow()); }
  qlonglong Position() const { return PositionMicroseconds(); }
  bool CanGoNext() const { return CanStep(1); }
  bool CanGoPrevious() const { return CanStep(-1); }
  bool HaveDisc() const { return desktop::HaveDisc(); }
  bool CanControl() const { return HaveMainWindow(); }

 public Q_SLOTS:
  void Play() { Press(Command::Play); }
  void Pause() { Press(Command::Pause); }
  void PlayPause() { Press(Command::PlayPause); }
  void Stop() { Press(Command::Stop); }
  void Next() {
    Step(1);
    Tell(onChanged);
  }
  void Previous() {
    Step(-1);
    Tell(onChanged);
  }
  void Seek(qlonglong offset) {
    if (PlaybackShown() == Playback::Stopped) {
      return;
    }
    const Track track = TrackNow();
    const int64_t to = std::max<int64_t>(0, PositionMicroseconds() + offset);
    if (to > track.lengthMicroseconds) {
      Next();
    } else if (SeekTo(to)) {
      Tell(onMoved);
    }
  }
  // Only within the track the caller saw: one that changed since makes it a stale request.
  void SetPosition(const QDBusObjectPath& track, qlonglong position) {
    if (track.path() == TrackId(TrackNow().number).path() && SeekTo(position)) {
      Tell(onMoved);
    }
  }
  // The player has no files to open.
  void OpenUri(const QString& /*uri*/) {}

 Q_SIGNALS:
  void Seeked(qlonglong position);

 public:
  // Not on the bus (an adaptor's signals all are): the head was moved by a call, and a call
  // changed what the properties say.
  std::function<void()> onMoved;
  std::function<void()> onChanged;

 private:
  static void Tell(const std::function<void()>& listener) {
    if (listener) {
      listener();
    }
  }
  static QString Name(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  }
};

}  // namespace

struct Mpris::Impl {
  QDBusConnection bus = QDBusConnection::sessionBus();
  QObject root;
  PlayerAdaptor* player = nullptr;
  QVariantMap last;  // what the bus was last told, property by property
  std::unique_ptr<SleepInhibitor> inhibitor;

  // Where the head was at the last look, to tell a move from the play going on.
  struct Head {
    Playback playback = Playback::Stopped;
    int32_t track = 0;
    int64_t position = 0;
    int64_t length = 0;
    std::chrono::steady_clock::time_point at;
  };
  Head head;

  // The player's properties that announce their changes; Position is read when asked.
  QVariantMap PlayerProperties() const {
    QVariantMap now;
    now.insert(QStringLiteral("PlaybackStatus"), player->PlaybackStatus());
    now.insert(QStringLiteral("LoopStatus"), player->LoopStatus());
    now.insert(QStringLiteral("Metadata"), player->Metadata());
    now.insert(QStringLiteral("Volume"), player->Volume());
    now.insert(QStringLiteral("CanGoNext"), player->CanGoNext());
    now.insert(QStringLiteral("CanGoPrevious"), player->CanGoPrevious());
    const bool disc = player->HaveDisc();
    for (const char* name : {"CanPlay", "CanPause", "CanSeek"}) {
      now.insert(QString::fromLatin1(name), disc);
    }
    now.insert(QStringLiteral("CanControl"), player->CanControl());
    return now;
  }

  Head Look() const {
    Head now;
    now.playback = PlaybackShown();
    now.at = std::chrono::steady_clock::now();
    if (now.playback != Playback::Stopped) {
      const Track track = TrackNow();
      now.track = track.number;
      now.length = track.lengthMicroseconds;
      now.position = PositionMicroseconds();
    }
    return now;
  }

  // A play that goes on, or runs from one track's end into the next, moves the head as the
  // clock does; anything else was a move: a seek, or a track started from its button.
  void FollowHead() {
    const Head now = Look();
    const bool going = head.playback != Playback::Stopped && now.playback != Playback::Stopped;
    if (going) {
      const int64_t ran =
          head.playback == Playback::Playing
              ? std::chrono::duration_cast<std::chrono::microseconds>(now.at - head.at).count()
              : 0;
      const int64_t expected = head.position + ran;
      const bool ranOut =
          expected >= head.length - kJumpMicroseconds && now.position < kJumpMicroseconds;
      const bool onTime =
          now.track == head.track && std::abs(now.position - expected) <= kJumpMicroseconds;
      if (!onTime && !ranOut) {
        Q_EMIT player->Seeked(now.position);
      }
    }
    head = now;
  }

  // Tells the bus what changed since the last look, and nothing when nothing did.
  void Announce() {
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
      if (last.value(it.key()) != it.value()) {
        changed.insert(it.key(), it.value());
      }
    }
    last = now;
    inhibitor->Follow(PlaybackShown() == Playback::Playing);
    if (changed.isEmpty()) {
      return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    bus.send(signal);
  }
};

bool Mpris::RaiseRunning() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return false;
  }
  const QDBusMessage reply =
      bus.call(QDBusMessage::createMethodCall(kServiceName, kObjectPath, kRootInterface,
                                              QStringLiteral("Raise")),
               QDBus::Block, 2000);
  return reply.type() == QDBusMessage::ReplyMessage;
}

std::unique_ptr<Mpris> Mpris::Start() {
  auto impl = std::make_unique<Impl>();
  if (!impl->bus.isConnected()) {
    std::fputs("vantora: no session bus, so media keys are off\n", stderr);
    return nullptr;
  }
  new RootAdaptor(&impl->root);  // owned by the object it adapts
  impl->player = new PlayerAdaptor(&impl->root);
  if (!impl->bus.registerObject(kObjectPath, &impl->root)) {
    std::fputs("vantora: the session bus refused the player's object, so media keys are off\n",
               stderr);
    return nullptr;
  }
  // A second player takes a name of its own, as the media keys' convention asks.
  if (!impl->bus.registerService(kServiceName) &&
      !impl->bus.registerService(kServiceName + QStringLiteral(".instance%1").arg(::getpid()))) {
    std::fputs("vantora: no name on the session bus, so media keys are off\n", stderr);
    impl->bus.unregisterObject(kObjectPath);
    return nullptr;
  }
  impl->inhibitor = std::make_unique<SleepInhibitor>(impl->bus);
  impl->last = impl->PlayerProperties();
  Impl* raw = impl.get();
  impl->head = raw->Look();
  raw->player->onMoved = [raw] {
    raw->head = raw->Look();
    Q_EMIT raw->player->Seeked(raw->head.position);
  };
  raw->player->onChanged = [raw] { raw->Announce(); };
  // The player's state changes only as its loop handles an event, its poll's tick included.
  app::SetAfterEventHook([raw] {
    raw->FollowHead();
    raw->Announce();
  });
  return std::unique_ptr<Mpris>(new Mpris(std::move(impl)));
}

Mpris::Mpris(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Mpris::~Mpris() {
  app::SetAfterEventHook(nullptr);
  impl_->inhibitor.reset();
  impl_->bus.unregisterObject(kObjectPath);
}

}  // namespace vantora::desktop

#include "mpris.moc"
