// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's sound output straight on the PulseAudio protocol, which the desktop output prefers
// where it was built with it.
#pragma once

#include <memory>

#include "platform/audio/sound_output.h"

namespace vantora::platform::qt {

// Plays to the PulseAudio server the environment names (or the user's own), on a thread of its
// own, holding under 0.2 s of sound. It looks for a server twice a second while there is none,
// from the start on, and plays to it from the head once found; meanwhile the sound is let go as
// it comes and that is said once on standard error.
std::unique_ptr<audio::SoundOutput> OpenPulseOutput();

}  // namespace vantora::platform::qt
