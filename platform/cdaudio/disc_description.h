// SPDX-License-Identifier: GPL-3.0-or-later
// Disc descriptions for the virtual drive: our own text format, CUE sheets and the demo disc.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cdaudio/cd_types.h"

namespace vantora::platform::cdaudio {

// A disc, or why there is none: "line 4: ..." for a fault in the text.
struct DiscReading {
  std::optional<Disc> disc;
  std::string error;
};

// The description format (see docs/disc-format.md): a "vantora-disc 1" line, then "title",
// "start", "tracks" and one "track N mm:ss:ff [audio|data]" line per track.
DiscReading ParseDiscDescription(std::string_view text);

// What the sound reader finds in a CUE sheet's FILE: its length (a part of a frame counts as a
// frame), or why a disc cannot play it.
struct AudioFileFacts {
  Frames length;
  std::string error;
};
using AudioFileProbe = std::function<AudioFileFacts(const std::filesystem::path& file)>;

// A CUE sheet with one FILE: INDEX 01 times place the tracks, PREGAP and POSTGAP add silence
// between them. Gaps that push the disc past 99:59:74 are refused at the line that does it.
// With a `probe`, the FILE (relative to `directory`) is the disc's sound: the probe gives its
// length, a file it refuses refuses the sheet, and the disc carries the file's absolute path and
// its stretches. Without one, "REM LENGTH mm:ss:ff" gives the length and the disc is silent.
DiscReading ParseCueSheet(std::string_view text, const std::filesystem::path& directory = {},
                          const AudioFileProbe& probe = {});

// Reads a file: a CUE sheet when its name ends in ".cue" (any case), else a description. A CUE
// sheet's FILE is looked for beside it and checked with `probe`, as ParseCueSheet says.
DiscReading ReadDiscFile(const std::filesystem::path& path, const AudioFileProbe& probe = {});

// The built-in demo disc: 12 tracks.
Disc DemoDisc();

// The demo disc's music behind a data track 1 of 8 minutes, as on a mixed-mode disc.
Disc MixedModeDemoDisc();

// The description text of a disc, which ParseDiscDescription reads back as the same disc.
std::string FormatDiscDescription(const Disc& disc);

}  // namespace vantora::platform::cdaudio
