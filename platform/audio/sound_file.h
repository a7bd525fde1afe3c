// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files behind disc images (WAV, FLAC and whatever else libsndfile reads): checked when a
// disc goes in, read by place while it plays.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/disc_audio.h"

namespace vantora::platform::audio {

// What a sound file holds, or why a disc cannot play it.
struct SoundFileFacts {
  int64_t frames = 0;         // sample frames, stereo or mono
  std::string error;          // empty when the file can be played
  bool recognised = false;    // whether libsndfile knew the format, playable or not
  std::vector<int64_t> cues;  // sample frames the file's own cue points mark, in order
  std::string title;          // its album's name, else its own, when it is tagged

  bool ok() const { return error.empty(); }
};

// Opens `file` to look at it: a format libsndfile reads, sampled at 44.1 kHz, one channel (heard
// on both sides) or two, and at least one sample.
SoundFileFacts ProbeSoundFile(const std::filesystem::path& file);

// How a file holds its samples: in a format libsndfile recognises, or as the raw 16-bit stereo
// samples of a CD image, little- or big-endian.
enum class Samples { Detect, RawLittle, RawBig };
struct SoundFileSpec {
  std::filesystem::path path;
  Samples samples = Samples::Detect;
};

// One stretch of a file on the disc: the sample frames of file `source` from `file` on lie at the
// disc's sample frames from `disc` on, up to where that file's next stretch begins in it (or its
// end), and never past where the next stretch begins on the disc. Stretches come in disc order;
// what lies between them is silence.
struct Placement {
  int64_t disc = 0;
  int64_t file = 0;
  int32_t source = 0;

  bool operator==(const Placement&) const = default;
};

// The disc's sound from `files` laid out by `placements`; nullptr, with the reasons in `why`,
// when not one of the files can be opened (one that cannot is heard as silence, and named in
// `why`). The files stay open while the object lives, so a file removed after this still plays;
// a file cut short reads as silence where it ends.
std::unique_ptr<DiscAudio> OpenDiscSound(const std::vector<SoundFileSpec>& files,
                                         std::vector<Placement> placements, std::string* why);

// The same for one file in a recognised format.
std::unique_ptr<DiscAudio> OpenSoundFile(const std::filesystem::path& file,
                                         std::vector<Placement> placements, std::string* why);

}  // namespace vantora::platform::audio
