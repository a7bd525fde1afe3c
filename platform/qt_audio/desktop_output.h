// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's sound output through Qt Multimedia; the header keeps Qt to itself.
#pragma once

#include <memory>
#include <string>

#include "platform/audio/sound_output.h"

namespace vantora::platform::qt {

// The desktop's default sound output, playing 16-bit stereo at 44.1 kHz on a thread of its own
// and holding under 0.2 s of sound, so what is heard keeps up with the play head. Without a sound
// server it says so once on standard error and lets the sound go; a server that comes back is
// played to again, from the head. nullptr, with the reason in `why`, when the output will not play
// that format. The application object must exist.
std::unique_ptr<audio::SoundOutput> OpenDesktopOutput(std::string* why);

}  // namespace vantora::platform::qt
