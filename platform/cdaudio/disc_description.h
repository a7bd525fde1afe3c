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

// A FILE of a CUE sheet as the sound reader gets it: where it is, whether the sheet calls it raw
// sectors (BINARY, MOTOROLA for big-endian) and how many bytes a frame of its tracks takes there.
struct CueFile {
  std::filesystem::path path;
  bool raw = false;
  bool bigEndian = false;
  int32_t sectorBytes = 2352;
  std::string sheetStem;  // the sheet's own name without its extension, when it has one FILE
};

// What the sound reader finds in a FILE: its length (a part of a frame counts as a frame) and how
// it holds its sound, or why a disc cannot play it.
struct AudioFileFacts {
  Frames length;
  std::string error;
  SoundFormat format = SoundFormat::Detect;
  std::filesystem::path found = {};  // the file read in its place, when that was another
};
using AudioFileProbe = std::function<AudioFileFacts(const CueFile& file)>;

// A CUE sheet as rippers write them: a byte-order mark, text in UTF-8 or else Windows-1252, one
// FILE for the disc or one per track, sound files or raw BIN images with data tracks. Each FILE
// follows the one before on the disc; INDEX 01 times place the tracks, PREGAP and POSTGAP add
// silence between them. Gaps that push the disc past 99:59:74 are refused at the line that does
// it. With a `probe`, each FILE (relative to `directory`) is part of the disc's sound: the probe
// gives its length (and the file it read instead, see FindCueFile), a file it refuses refuses the
// sheet, and the disc carries the files' absolute paths and their stretches. Without one, a sheet
// of one FILE takes its length from "REM LENGTH mm:ss:ff" and the disc is silent. TITLE and
// PERFORMER before the first track name the album and its artist, TITLE in a track that track.
DiscReading ParseCueSheet(std::string_view text, const std::filesystem::path& directory = {},
                          const AudioFileProbe& probe = {}, std::string_view sheetStem = {});

// The file a sheet means by `file.path` when that is not there: one beside it whose name differs
// only in case or extension (an album converted to FLAC after ripping), else, for a sheet of one
// FILE, one named like the sheet (an image renamed as a whole). `file.path` when none is there.
std::filesystem::path FindCueFile(const CueFile& file);

// Reads a file: a CUE sheet when its name ends in ".cue" (any case), else a description. A CUE
// sheet's FILE is looked for beside it and checked with `probe`, as ParseCueSheet says.
DiscReading ReadDiscFile(const std::filesystem::path& path, const AudioFileProbe& probe = {});

// The built-in demo disc's layout: 12 tracks, silent (the drive's demo disc has its music, see
// AudibleDemoDisc).
Disc DemoDisc();

// A disc's music behind a data track 1 of 8 minutes, as on a mixed-mode disc.
Disc BehindDataTrack(const Disc& disc);

// The demo disc's music behind a data track 1 of 8 minutes.
Disc MixedModeDemoDisc();

// The description text of a disc, which ParseDiscDescription reads back as the same disc.
std::string FormatDiscDescription(const Disc& disc);

}  // namespace vantora::platform::cdaudio
