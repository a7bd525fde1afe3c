// SPDX-License-Identifier: GPL-3.0-or-later
// A small BIN/CUE disc image that a test or benchmark writes itself: raw 2352-byte sectors in one
// file holding the place pattern, so a read can be checked sample by sample and byte by byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/cdaudio/cd_types.h"
#include "tests/support/place_sample.h"

namespace vantora::testing {

struct ImageTrack {
  int32_t frames = 0;  // length in frames of 1/75 s
  bool data = false;   // a MODE1/2352 data track
};

// The image file's first sector lies at absolute frame 150.
inline constexpr int64_t kImageFirstFrame = 150;

// The sound a written image holds at `sample`, the absolute sample frame counted from the very
// start of the disc: the place pattern of the image file. Its bytes differ, so a sample read with
// its bytes swapped never passes.
inline Stereo ImageSample(int64_t sample) {
  return PlaceSample(sample - kImageFirstFrame * kSamplesPerFrame);
}

// Writes `name`.bin and `name`.cue into `directory`; returns the CUE sheet's path. The first track
// is numbered `firstNumber` (odd discs do not start at 1). Data sectors hold the pattern too.
inline std::filesystem::path WriteCdImage(const std::filesystem::path& directory,
                                          const std::string& name,
                                          const std::vector<ImageTrack>& tracks,
                                          int firstNumber = 1) {
  const std::string bin = name + ".bin";
  std::ofstream sound(directory / bin, std::ios::binary);
  std::string cue = "FILE \"" + bin + "\" BINARY\n";
  int64_t place = 0;  // in the file, in sample frames
  std::vector<char> sector(4 * kSamplesPerFrame);
  for (size_t t = 0; t < tracks.size(); ++t) {
    const std::string number = std::to_string(firstNumber + static_cast<int>(t));
    cue += "  TRACK " + std::string(number.size() < 2 ? "0" : "") + number +
           (tracks[t].data ? " MODE1/2352\n" : " AUDIO\n");
    const platform::cdaudio::Frames start{static_cast<int32_t>(place / kSamplesPerFrame)};
    cue += "    INDEX 01 " + platform::cdaudio::FormatMsf(start) + "\n";
    for (int32_t f = 0; f < tracks[t].frames; ++f) {
      for (size_t s = 0; s < static_cast<size_t>(kSamplesPerFrame); ++s, ++place) {
        const Stereo sample = PlaceSample(place);
        // Little-endian, as ripped sound is stored.
        size_t at = 4 * s;
        for (const int16_t value : {sample.left, sample.right}) {
          sector[at++] = static_cast<char>(static_cast<uint16_t>(value) & 0xff);
          sector[at++] = static_cast<char>(static_cast<uint16_t>(value) >> 8);
        }
      }
      sound.write(sector.data(), static_cast<std::streamsize>(sector.size()));
    }
  }
  std::ofstream(directory / (name + ".cue")) << cue;
  return directory / (name + ".cue");
}

}  // namespace vantora::testing
