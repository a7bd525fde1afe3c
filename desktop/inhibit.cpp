// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the desktop from blanking the screen or going to sleep while a disc plays.
#include "desktop/inhibit.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QString>

namespace vantora::desktop {
namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
// A release must reach the service before the player is gone, but never holds it up for long.
constexpr int kReleaseTimeoutMs = 1000;

QDBusMessage Call(const QString& method) {
  return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

}  // namespace

SleepInhibitor::SleepInhibitor(const QDBusConnection& bus) : bus_(bus) {}

SleepInhibitor::~SleepInhibitor() {
  if (cookie_) {
    QDBusMessage release = Call(QStringLiteral("UnInhibit"));
    release << *cookie_;
    bus_.call(release, QDBus::Block, kReleaseTimeoutMs);
  }
}

void SleepInhibitor::Follow(bool playing) {
  playing_ = playing;
  if (!playing) {
    asked_ = false;
    Release();
    return;
  }
  if (asked_) {
    return;
  }
  asked_ = true;
  QDBusMessage inhibit = Call(QStringLiteral("Inhibit"));
  inhibit << QStringLiteral("vantora") << QStringLiteral("Playing an audio CD");
  // Asked without waiting: a slow or missing service never holds up the player's window.
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(inhibit), &replies_);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &replies_,
                   [this](QDBusPendingCallWatcher* answered) {
                     const QDBusPendingReply<uint32_t> reply = *answered;
                     answered->deleteLater();
                     if (reply.isError()) {
                       return;  // no such service: the player plays on as before
                     }
                     // The play may have ended while the service answered, or a later one
                     // hold it already.
                     if (playing_ && !cookie_) {
                       cookie_ = reply.value();
                     } else {
                       Send(reply.value());
                     }
                   });
}

void SleepInhibitor::Release() {
  if (cookie_) {
    Send(*cookie_);
    cookie_.reset();
  }
}

void SleepInhibitor::Send(uint32_t cookie) {
  QDBusMessage release = Call(QStringLiteral("UnInhibit"));
  release << cookie;
  bus_.send(release);
}

}  // namespace vantora::desktop
