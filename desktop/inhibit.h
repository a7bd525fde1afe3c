// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the desktop from blanking the screen or going to sleep while a disc plays, through the
// session's screen saver service. Without that service nothing happens and nothing is said.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <optional>

namespace vantora::desktop {

class SleepInhibitor {
 public:
  explicit SleepInhibitor(const QDBusConnection& bus);
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;
  // An inhibitor still held goes with the player.
  ~SleepInhibitor();

  // Asks for the inhibitor while `playing`, lets it go otherwise. A service that refused, or is
  // not there, is asked again only at the next play.
  void Follow(bool playing);

 private:
  void Release();
  // Lets go of one inhibitor the service gave.
  void Send(uint32_t cookie);

  QDBusConnection bus_;
  QObject replies_;  // the pending answers go with it
  bool playing_ = false;
  bool asked_ = false;  // during this play
  std::optional<uint32_t> cookie_;
};

}  // namespace vantora::desktop
