// A small BIN/CUE disc image that a test or benchmark writes itself: raw 2352-byte sectors in
// one file, each audio sample telling its own place on the disc, so a read can be checked sample
// by sample and byte by byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/cdaudio/cd_types.h"

namespace vantora::testing {

struct ImageTrack {
  int32_t frames = 0;  // length in frames of 1/75 s
  bool data = false;   // a MODE1/2352 data track
};

inline constexpr int64_t kImageSamplesPerFrame = 588;
// The image's first sector lies at absolute frame 150.
inline constexpr int64_t kImageFirstFrame = 150;

// The sample a written image holds for channel 0 (left) or 1 (right) at `sample`, the absolute
// sample frame counted from the very start of the disc. Left holds the low 16 bits of the place,
// right the bits above them beside a constant tag: no two places of a short disc sound alike, and
// no sample reads the same with its bytes swapped unless both bytes are equal.
inline int16_t ImageSample(int64_t sample, int channel) {
  const auto bits = channel == 0 ? static_cast<uint16_t>(sample & 0xffff)
                                 : static_cast<uint16_t>(0x5a00 | ((sample >> 16) & 0xff));
  return static_cast<int16_t>(bits);
}

// Writes `name`.bin and `name`.cue into `directory`; returns the CUE sheet's path. The first
// track is numbered `firstNumber` (odd discs do not start at 1).
inline std::filesystem::path WriteCdImage(const std::filesystem::path& directory,
                                          const std::string& name,
                                          const std::vector<ImageTrack>& tracks,
                                          int firstNumber = 1) {
  const std::string bin = name + ".bin";
  std::ofstream sound(directory / bin, std::ios::binary);
  std::string cue = "FILE \"" + bin + "\" BINARY\n";
  int64_t frame = kImageFirstFrame;
  std::vector<char> sector(2352);
  for (size_t t = 0; t < tracks.size(); ++t) {
    const int32_t offset = static_cast<int32_t>(frame - kImageFirstFrame);
    const std::string number = std::to_string(firstNumber + static_cast<int>(t));
    cue += "  TRACK " + std::string(number.size() < 2 ? "0" : "") + number +
           (tracks[t].data ? " MODE1/2352\n" : " AUDIO\n");
    cue += "    INDEX 01 " + platform::cdaudio::FormatMsf(platform::cdaudio::Frames{offset}) + "\n";
    for (int32_t f = 0; f < tracks[t].frames; ++f, ++frame) {
      for (int64_t s = 0; s < kImageSamplesPerFrame; ++s) {
        const int64_t place = frame * kImageSamplesPerFrame + s;
        for (int channel = 0; channel < 2; ++channel) {
          // Little-endian, as ripped sound is stored; data sectors get the same bytes.
          const auto value = static_cast<uint16_t>(ImageSample(place, channel));
          sector[static_cast<size_t>(s * 4 + channel * 2)] = static_cast<char>(value & 0xff);
          sector[static_cast<size_t>(s * 4 + channel * 2 + 1)] = static_cast<char>(value >> 8);
        }
      }
      sound.write(sector.data(), static_cast<std::streamsize>(sector.size()));
    }
  }
  std::ofstream(directory / (name + ".cue")) << cue;
  return directory / (name + ".cue");
}

}  // namespace vantora::testing
