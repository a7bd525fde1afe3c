// SPDX-License-Identifier: GPL-3.0-or-later
// The place pattern that test sound is written in: every stereo sample frame tells its own place,
// so a recording or a read can be checked sample by sample. No test framework needed, so
// benchmarks write it too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vantora::testing {

inline constexpr int64_t kSamplesPerFrame = 588;  // sample frames in 1/75 s

// A place in the file as the stereo sample frame that holds it: left the low 16 bits, right the
// bits above them plus a tag, so that silence (0, 0) never passes for a place.
struct Stereo {
  int16_t left = 0;
  int16_t right = 0;
  bool operator==(const Stereo&) const = default;
};
static_assert(sizeof(Stereo) == 2 * sizeof(int16_t), "read as interleaved samples");

inline Stereo PlaceSample(int64_t frame) {
  return Stereo{static_cast<int16_t>(static_cast<uint16_t>(frame & 0xffff)),
                static_cast<int16_t>(0x4000 | ((frame >> 16) & 0xff))};
}
inline constexpr Stereo kSilence{};

// The file's sample frames [from, to) of the place pattern, as a disc plays them.
inline std::vector<Stereo> Places(int64_t from, int64_t to) {
  std::vector<Stereo> frames;
  for (int64_t i = from; i < to; ++i) {
    frames.push_back(PlaceSample(i));
  }
  return frames;
}

// Where `got` first differs from `want`, for a message that says where a sample went wrong.
inline std::string FirstDifference(const std::vector<Stereo>& got,
                                   const std::vector<Stereo>& want) {
  for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    if (!(got[i] == want[i])) {
      return "sample frame " + std::to_string(i) + " of " + std::to_string(want.size()) +
             " differs (" + std::to_string(got[i].left) + "," + std::to_string(got[i].right) +
             " for " + std::to_string(want[i].left) + "," + std::to_string(want[i].right) + ")";
    }
  }
  return got.size() == want.size() ? ""
                                   : "holds " + std::to_string(got.size()) + " sample frames for " +
                                         std::to_string(want.size());
}

}  // namespace vantora::testing
