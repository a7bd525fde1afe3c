// SPDX-License-Identifier: GPL-3.0-or-later
// The demo disc: five short pieces of music made here, written as a FLAC file under a CUE sheet.
#pragma once

#include <filesystem>
#include <string>

namespace vantora::platform::audio {

// Writes the demo disc into `directory` (made if missing): "demo.flac" and the sheet "demo.cue"
// over it. Returns the sheet's path, or an empty path with the reason in *why.
std::filesystem::path WriteDemoDisc(const std::filesystem::path& directory, std::string* why);

}  // namespace vantora::platform::audio
