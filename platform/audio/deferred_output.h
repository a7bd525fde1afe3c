// SPDX-License-Identifier: GPL-3.0-or-later
// A sound output opened when the first sound comes, not when the player starts: the desktop's
// output connects to the sound server and loads its libraries, which a stopped player never needs.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/audio/sound_output.h"

namespace vantora::platform::audio {

// `open` runs once, on the thread of the first Write, under the output's lock; until then, and for
// good when it gives nullptr, nothing is pending and samples are let go. `failed` hears the reason
// once, on the same thread. The volume set before the output opens is the one it opens at.
std::unique_ptr<SoundOutput> OpenDeferredOutput(
    std::function<std::unique_ptr<SoundOutput>(std::string* why)> open,
    std::function<void(const std::string& why)> failed);

}  // namespace vantora::platform::audio
