// SPDX-License-Identifier: GPL-3.0-or-later
// The MPRIS2 adapter: the player on the session bus as org.mpris.MediaPlayer2.vantora, so media
// keys and desktop widgets can see and drive it. Header free of Qt; QtDBus stays inside.
#pragma once

#include <memory>

namespace vantora::desktop {

class Mpris {
 public:
  // Puts the player on the session bus once a Qt application exists. Without a session bus it
  // says once on standard error that media keys are off and returns nullptr; the player runs on.
  static std::unique_ptr<Mpris> Start();
  // Asks the player already on the session bus to show its window; false when none answers.
  static bool RaiseRunning();

  Mpris(const Mpris&) = delete;
  Mpris& operator=(const Mpris&) = delete;
  ~Mpris();

  struct Impl;

 private:
  explicit Mpris(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantora::desktop
