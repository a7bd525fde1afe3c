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
  int64_t frames = 0;  // sample frames, stereo or mono
  std::string error;   // empty when the file can be played

  bool ok() const { return error.empty(); }
};

// Opens `file` to look at it: a format libsndfile reads, sampled at 44.1 kHz, one channel (heard
// on both sides) or two, and at least one sample.
SoundFileFacts ProbeSoundFile(const std::filesystem::path& file);

// One stretch of the file on the disc: the file's sample frames from `file` on lie at the disc's
// sample frames from `disc` on, up to where the next stretch begins in the file (or its end).
// Stretches come in the order of both numbers; what lies between them on the disc is silence.
struct Placement {
  int64_t disc = 0;
  int64_t file = 0;

  bool operator==(const Placement&) const = default;
};

// The disc's sound from `file` laid out by `placements`; nullptr, with the reason in `why`, when
// ProbeSoundFile would refuse the file. The file stays open while the object lives, so a file
// removed after this still plays; a file cut short reads as silence where it ends.
std::unique_ptr<DiscAudio> OpenSoundFile(const std::filesystem::path& file,
                                         std::vector<Placement> placements, std::string* why);

}  // namespace vantora::platform::audio
