// Disc descriptions for the virtual drive: our own text format, CUE sheets and the demo disc.
#pragma once

#include <filesystem>
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

// A CUE sheet with one FILE: INDEX 01 times place the tracks, "REM LENGTH mm:ss:ff" gives the
// length of the file's audio, PREGAP and POSTGAP add silence between them. Gaps that push the
// disc past 99:59:74 are refused at the line that does it.
DiscReading ParseCueSheet(std::string_view text);

// Reads a file: a CUE sheet when its name ends in ".cue" (any case), else a description.
DiscReading ReadDiscFile(const std::filesystem::path& path);

// The built-in demo disc: 12 tracks.
Disc DemoDisc();

// The demo disc's music behind a data track 1 of 8 minutes, as on a mixed-mode disc.
Disc MixedModeDemoDisc();

// The description text of a disc, which ParseDiscDescription reads back as the same disc.
std::string FormatDiscDescription(const Disc& disc);

}  // namespace vantora::platform::cdaudio
