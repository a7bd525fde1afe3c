// SPDX-License-Identifier: GPL-3.0-or-later
// The demo disc: its sheet reads back as five tracks over a FLAC file with sound in every track.
#include "platform/audio/demo_music.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/cdaudio/virtual_drive.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::audio {
namespace {

using cdaudio::testing::TempDir;

TEST(DemoDiscTest, FiveTracksOfSoundBelowFullScale) {
  TempDir dir;
  std::string why;
  const std::filesystem::path sheet = WriteDemoDisc(dir.path() / "demo", &why);
  ASSERT_EQ(sheet, dir.path() / "demo" / "demo.cue") << why;
  const cdaudio::DiscReading reading = cdaudio::ReadDiscImage(sheet);
  ASSERT_TRUE(reading.disc) << reading.error;
  const cdaudio::Toc& toc = reading.disc->toc;
  ASSERT_EQ(toc.TrackCount(), 5);

  SF_INFO info{};
  SNDFILE* file = sf_open((dir.path() / "demo" / "demo.flac").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(info.channels, 2);
  std::vector<int16_t> samples(static_cast<size_t>(info.frames) * 2);
  EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
  sf_close(file);
  for (int32_t track = 1; track <= 5; ++track) {
    // Disc frames from 150 on are the file's, 588 sample frames each.
    const size_t from = static_cast<size_t>(toc.Start({track}).count - 150) * 588 * 2;
    const size_t to = static_cast<size_t>(toc.End({track}).count - 150) * 588 * 2;
    double sum = 0;
    int peak = 0;
    for (size_t i = from; i < std::min(to, samples.size()); ++i) {
      sum += static_cast<double>(samples[i]) * samples[i];
      peak = std::max(peak, std::abs(int{samples[i]}));
    }
    EXPECT_LT(peak, 32767) << "track " << track;
    EXPECT_GT(std::sqrt(sum / static_cast<double>(to - from)), 1000) << "track " << track;
  }
}

}  // namespace
}  // namespace vantora::platform::audio
