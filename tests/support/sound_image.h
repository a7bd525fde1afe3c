// SPDX-License-Identifier: GPL-3.0-or-later
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

#include "tests/support/place_sample.h"

namespace vantora::testing {

// Stereo frames as the interleaved samples the sound interfaces take.
inline int16_t* Interleaved(std::vector<Stereo>& frames) {
  return reinterpret_cast<int16_t*>(frames.data());
}

// Writes `frames` sample frames of the place pattern in the format libsndfile's `format` names
// (SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ...). A mono file holds
// the left channel only. The pattern starts at place `first`, so that files tell one another apart.
inline void WriteSoundFile(const std::filesystem::path& path, int64_t frames,
                           int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = 44100,
                           int channels = 2, int64_t first = 0) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<int16_t> samples(static_cast<size_t>(frames * channels));
  for (int64_t i = 0; i < frames; ++i) {
    const Stereo s = PlaceSample(first + i);
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
  if (!frames.empty()) {
    EXPECT_EQ(sf_readf_short(file, Interleaved(frames), info.frames), info.frames);
  }
  sf_close(file);
  return frames;
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace vantora::testing
