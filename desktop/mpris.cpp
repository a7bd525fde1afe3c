// SPDX-License-Identifier: GPL-3.0-or-later
// The MPRIS2 adapter on QtDBus. It reads the player's state and turns a call into the click the
// main window's loop would get from its button; it never talks to the device itself.
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
#include <QTimer>
#include <QVariantMap>
#include <QWidget>
#include <cstdio>
#include <string>

#include "app/state.h"
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
constexpr int kWatchPeriodMs = 250;

// The player's texts are UTF-8.
QString FromPlayer(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariantMap MetadataOf(const Track& track) {
  QVariantMap map;
  if (track.number == 0) {
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(QStringLiteral(
                                                    "/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
    return map;
  }
  map.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(
                 QDBusObjectPath(QStringLiteral("/org/vantora/track/%1").arg(track.number))));
  map.insert(QStringLiteral("mpris:length"),
             QVariant::fromValue(qlonglong{track.lengthMicroseconds}));
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
  Q_PROPERTY(bool CanGoNext READ CanControl)
  Q_PROPERTY(bool CanGoPrevious READ CanControl)
  Q_PROPERTY(bool CanPlay READ CanControl)
  Q_PROPERTY(bool CanPause READ CanControl)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  explicit PlayerAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}

  QString PlaybackStatus() const { return Name(PlaybackName(PlaybackNow())); }
  QString LoopStatus() const { return Name(LoopName(app::REPEATMODE)); }
  void SetLoopStatus(const QString& loop) { SetLoop(loop.toStdString()); }
  double Rate() const { return 1.0; }
  void SetRate(double /*rate*/) {}
  double Volume() const { return 1.0; }
  void SetVolume(double /*volume*/) {}
  QVariantMap Metadata() const { return MetadataOf(TrackNow()); }
  qlonglong Position() const { return PositionMicroseconds(); }
  bool CanSeek() const { return false; }
  bool CanControl() const { return HaveMainWindow(); }

 public Q_SLOTS:
  void Play() { Press(Command::Play); }
  void Pause() { Press(Command::Pause); }
  void PlayPause() { Press(Command::PlayPause); }
  void Stop() { Press(Command::Stop); }
  void Next() { Press(Command::Next); }
  void Previous() { Press(Command::Previous); }
  // The player has no seeking to offer (CanSeek is false), nor files to open.
  void Seek(qlonglong /*offset*/) {}
  void SetPosition(const QDBusObjectPath& /*track*/, qlonglong /*position*/) {}
  void OpenUri(const QString& /*uri*/) {}

 Q_SIGNALS:
  void Seeked(qlonglong position);

 private:
  static QString Name(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  }
};

}  // namespace

struct Mpris::Impl {
  QDBusConnection bus = QDBusConnection::sessionBus();
  QObject root;
  PlayerAdaptor* player = nullptr;
  QTimer watch;
  QVariantMap last;  // what the bus was last told, property by property

  // The player's properties that announce their changes; Position is read when asked.
  QVariantMap PlayerProperties() const {
    QVariantMap now;
    now.insert(QStringLiteral("PlaybackStatus"), player->PlaybackStatus());
    now.insert(QStringLiteral("LoopStatus"), player->LoopStatus());
    now.insert(QStringLiteral("Metadata"), player->Metadata());
    const bool control = player->CanControl();
    for (const char* name : {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanControl"}) {
      now.insert(QString::fromLatin1(name), control);
    }
    return now;
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
  impl->last = impl->PlayerProperties();
  Impl* raw = impl.get();
  QObject::connect(&impl->watch, &QTimer::timeout, &impl->root, [raw] { raw->Announce(); });
  impl->watch.start(kWatchPeriodMs);
  return std::unique_ptr<Mpris>(new Mpris(std::move(impl)));
}

Mpris::Mpris(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Mpris::~Mpris() {
  impl_->watch.stop();
  impl_->bus.unregisterObject(kObjectPath);
}

}  // namespace vantora::desktop

#include "mpris.moc"
