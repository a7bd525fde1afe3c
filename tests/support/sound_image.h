// Disc images with sound that a test writes itself: a WAV or FLAC file whose every sample frame
// tells its own place in the file, a CUE sheet over it, and the recorder's WAV read back.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
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

// Writes `frames` sample frames of the place pattern in the format libsndfile's `format` names
// (SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ...). A mono file holds
// the left channel only.
inline void WriteSoundFile(const std::filesystem::path& path, int64_t frames,
                           int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = 44100,
                           int channels = 2) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<int16_t> samples(static_cast<size_t>(frames * channels));
  for (int64_t i = 0; i < frames; ++i) {
    const Stereo s = PlaceSample(i);
    for (int c = 0; c < channels; ++c) {
      samples[static_cast<size_t>(i * channels + c)] = c == 1 ? s.right : s.left;
    }
  }
  EXPECT_EQ(sf_writef_short(file, samples.data(), frames), frames);
  sf_close(file);
}

// The sample frames of a 16-bit stereo WAV file, read with libsndfile; fails the test when the
// file is not one.
inline std::vector<Stereo> ReadRecording(const std::filesystem::path& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
    return {};
  }
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  std::vector<Stereo> frames(static_cast<size_t>(info.frames));
  EXPECT_EQ(sf_readf_short(file, &frames.data()->left, info.frames), info.frames);
  sf_close(file);
  return frames;
}

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

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace vantora::testing
