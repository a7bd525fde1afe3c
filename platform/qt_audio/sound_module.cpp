// SPDX-License-Identifier: GPL-3.0-or-later
// The entry the player finds when the first sound comes (see platform/modules.h).
#include <string>

#include "platform/qt_audio/desktop_output.h"

extern "C" __attribute__((visibility("default"))) vantora::platform::audio::SoundOutput*
vantora_open_desktop_output(std::string* why) {
  return vantora::platform::qt::OpenDesktopOutput(why).release();
}
