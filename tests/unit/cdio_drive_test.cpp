// SPDX-License-Identifier: GPL-3.0-or-later
// The libcdio drive on BIN/CUE images the tests write: the table of contents and the play head
// through command strings on the manual clock, the sound read sample by sample, and images that
// change, vanish or were never images.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audible_drive.h"
#include "platform/cdaudio/cdio_drive.h"
#include "platform/cdaudio/command_device.h"
#include "platform/clock.h"
#include "tests/support/cd_image.h"
#include "tests/support/place_sample.h"
#include "tests/support/sound_image.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::cdaudio {
namespace {

using vantora::testing::ImageSample;
using vantora::testing::ImageTrack;
using vantora::testing::kSamplesPerFrame;
using vantora::testing::Stereo;
using vantora::testing::WriteCdImage;

// Three audio tracks of 2, 3 and 4 seconds: tracks start at 00:02:00, 00:04:00 and 00:07:00, the
// lead-out at 00:11:00.
const std::vector<ImageTrack> kThreeTracks = {{150}, {225}, {300}};

// One step of a run: move the clock on, send a command, and what it must answer: the reply, or
// "#" and the error number.
struct Step {
  int64_t advanceMs;
  const char* command;
  const char* answer;
};

class CdioDriveTest : public ::testing::Test {
 protected:
  // Opens the device on the image, heard through the recorder when `heard`; the drive takes its
  // first look now.
  void Insert(const std::filesystem::path& image, bool heard = false) {
    auto drive = std::make_unique<CdioDrive>(image);
    drive_ = drive.get();
    std::unique_ptr<CdDrive> outer = std::move(drive);
    if (heard) {
      std::string why;
      auto recorder = audio::OpenRecorder(recording_, &why);
      ASSERT_TRUE(recorder) << why;
      auto audible = std::make_unique<audio::AudibleDrive>(std::move(outer), std::move(recorder));
      heard_ = audible.get();
      outer = std::move(audible);
    }
    device_ = std::make_unique<CommandDevice>(std::move(outer));
  }
  std::string Send(std::string_view command) {
    std::string reply;
    const uint32_t error = device_->Send(command, reply);
    return error == 0 ? reply : "#" + std::to_string(error);
  }
  // Moves the clock on in uneven steps, pumping the sound after each as the pump thread would.
  void Run(const std::vector<Step>& steps) {
    static constexpr int64_t kPumps[] = {20, 7, 33, 1, 19, 260};
    size_t pump = 0;
    for (const Step& step : steps) {
      for (int64_t left = step.advanceMs; left > 0; ++pump) {
        const int64_t now = heard_ == nullptr ? left : std::min(left, kPumps[pump % 6]);
        clock_.Advance(ClockTime{now});
        if (heard_ != nullptr) {
          heard_->Pump();
        }
        left -= now;
      }
      EXPECT_EQ(Send(step.command), step.answer) << step.command;
    }
  }
  // The recording so far against the image's sound over the disc frames [from, to) of each
  // stretch, played one after another.
  std::string HeardDifference(const std::vector<std::pair<int64_t, int64_t>>& stretches) const {
    std::vector<Stereo> want;
    for (const auto& [from, to] : stretches) {
      for (int64_t place = from * kSamplesPerFrame; place < to * kSamplesPerFrame; ++place) {
        want.push_back(ImageSample(place));
      }
    }
    return vantora::testing::FirstDifference(vantora::testing::ReadRecording(recording_), want);
  }
  // Where the sound read from sample frame `first` on first differs from what the image holds
  // there, silence where `silent` says; "" when it does not.
  static std::string ReadDifference(audio::DiscAudio& sound, int64_t first, size_t frames,
                                    const std::function<bool(int64_t)>& silent) {
    std::vector<Stereo> got(frames, Stereo{1, 1});
    EXPECT_TRUE(sound.Read(first, &got.data()->left, frames)) << first;
    std::vector<Stereo> want;
    for (int64_t place = first; place < first + static_cast<int64_t>(frames); ++place) {
      want.push_back(silent(place) ? vantora::testing::kSilence : ImageSample(place));
    }
    return vantora::testing::FirstDifference(got, want);
  }

  testing::TempDir dir_;
  ManualClock clock_{ClockTime{1'000'000}};
  ScopedClock scoped_{clock_};
  const std::filesystem::path recording_ = dir_.path() / "heard.wav";
  CdioDrive* drive_ = nullptr;
  audio::AudibleDrive* heard_ = nullptr;
  std::unique_ptr<CommandDevice> device_;
};

TEST_F(CdioDriveTest, TheTableOfContentsReadsAsTheImageDescribesIt) {
  Insert(WriteCdImage(dir_.path(), "three", kThreeTracks));
  Run({
      {0, "open cdaudio shareable", "1"},
      {0, "capability cdaudio can eject", "false"},
      {0, "set cdaudio door open", "#274"},
      {0, "status cdaudio media present", "true"},
      {0, "status cdaudio mode", "stopped"},
      {0, "status cdaudio number of tracks", "3"},
      {0, "status cdaudio length", "00:08:74"},  // one frame short, as the platform's drives
      {0, "status cdaudio length track 2", "00:03:00"},
      {0, "status cdaudio length track 3", "00:03:74"},
      {0, "status cdaudio position track 3", "00:07:00"},
      {0, "status cdaudio type track 2", "audio"},
      {0, "status cdaudio position", "00:02:00"},
      {0, "set cdaudio time format tmsf", ""},
      {0, "status cdaudio position track 2", "02:00:00:00"},
      {0, "status cdaudio length track 4", "#282"},
  });
}

TEST_F(CdioDriveTest, PlayPauseResumeAndSeekMoveTheHeadOnTheClock) {
  Insert(WriteCdImage(dir_.path(), "three", kThreeTracks));
  Run({
      {0, "open cdaudio shareable", "1"},
      {0, "set cdaudio time format tmsf", ""},
      {0, "play cdaudio from 2 to 3", ""},
      {0, "status cdaudio mode", "playing"},
      {1000, "status cdaudio position", "02:00:01:00"},
      {0, "pause cdaudio", ""},
      {0, "status cdaudio mode", "stopped"},  // a paused drive reads "stopped"
      {5000, "status cdaudio position", "02:00:01:00"},
      {0, "play cdaudio to 3", ""},  // resumes where the pause held the head
      {1000, "status cdaudio position", "02:00:02:00"},
      {1000, "status cdaudio mode", "stopped"},  // the play ran out at the start of track 3
      {0, "status cdaudio position", "03:00:00:00"},
      {0, "seek cdaudio to 1:0:1:0", ""},
      {0, "status cdaudio position", "01:00:01:00"},
      {0, "play cdaudio from 3", ""},
      {10000, "status cdaudio mode", "stopped"},
      {0, "status cdaudio position", "03:00:03:74"},
      {0, "play cdaudio from 4", "#282"},
      {0, "seek cdaudio to start", ""},
      {0, "status cdaudio current track", "1"},
  });
}

// Track numbers as the disc gives them (5 to 7 here) read as 1 to 3; the data track in the middle
// is never played.
TEST_F(CdioDriveTest, OddNumbersAreCountedFromOneAndDataTracksAreNeverPlayed) {
  Insert(WriteCdImage(dir_.path(), "mixed", {{150}, {150, true}, {150}}, 5));
  Run({
      {0, "open cdaudio shareable", "1"},
      {0, "set cdaudio time format tmsf", ""},
      {0, "status cdaudio number of tracks", "3"},
      {0, "status cdaudio type track 2", "other"},
      {0, "status cdaudio type track 3", "audio"},
      {0, "play cdaudio from 2", "#262"},
      {0, "play cdaudio from 1", ""},
      {2500, "status cdaudio mode", "stopped"},
      {0, "status cdaudio position", "02:00:00:00"},
      {0, "play cdaudio from 3", ""},
      {0, "status cdaudio mode", "playing"},
  });
  // The data track's sectors, and all before the first track and from the lead-out on, are
  // silent; the sound on both sides of it is the image's.
  const auto sound = drive_->Audio();
  ASSERT_NE(sound, nullptr);
  const auto silent = [](int64_t place) {
    const int64_t frame = place / kSamplesPerFrame;
    return place < 0 || frame < 150 || (frame >= 300 && frame < 450) || frame >= 600;
  };
  EXPECT_EQ(ReadDifference(*sound, 280 * kSamplesPerFrame + 7, 40 * kSamplesPerFrame, silent), "");
  EXPECT_EQ(ReadDifference(*sound, 440 * kSamplesPerFrame, 20 * kSamplesPerFrame, silent), "");
}

TEST_F(CdioDriveTest, TheSoundIsTheImagesSampleBySampleWhereverReadingStarts) {
  Insert(WriteCdImage(dir_.path(), "three", kThreeTracks));
  const auto sound = drive_->Audio();
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(drive_->Audio(), sound);  // the same disc, the same sound
  const auto silent = [](int64_t place) {
    return place < 150 * kSamplesPerFrame || place >= 825 * kSamplesPerFrame;
  };
  constexpr int64_t kFrame = kSamplesPerFrame;
  struct Read {
    const char* where;
    int64_t first;
    size_t frames;
  };
  for (const Read& read : std::vector<Read>{
           {"the first sample of track 1", 150 * kFrame, 1},
           {"over a frame's end", 151 * kFrame - 3, 7},
           {"over the start of track 2", 300 * kFrame - 1000, 2000},
           {"back to an earlier place", 200 * kFrame + 11, 3 * kFrame},
           {"the lead-in into track 1", 149 * kFrame - 5, 10},
           {"the last frame into the lead-out", 824 * kFrame, 2 * kFrame},
           {"far before the disc", -10 * kFrame - 1, 5},
           {"far beyond the disc", int64_t{1} << 50, 5},
       }) {
    EXPECT_EQ(ReadDifference(*sound, read.first, read.frames, silent), "") << read.where;
  }
  // The whole disc in pieces of odd sizes, as a player's pump reads it.
  for (int64_t place = 0; place < 830 * kFrame; place += 4410 - 17) {
    EXPECT_EQ(ReadDifference(*sound, place, 4410 - 17, silent), "") << place;
  }
}

// A read that fails gives up after a few tries, never retrying forever, and makes the drive look
// at its disc at once rather than at its next look.
TEST_F(CdioDriveTest, AnImageCutShortMidPlayFailsItsReadAndIsNoLongerPlayed) {
  Insert(WriteCdImage(dir_.path(), "three", kThreeTracks));
  Run({{0, "open cdaudio shareable", "1"}, {0, "play cdaudio", ""}});
  const auto sound = drive_->Audio();
  ASSERT_NE(sound, nullptr);
  std::vector<int16_t> samples(2 * kSamplesPerFrame, 1);
  ASSERT_TRUE(sound->Read(200 * kSamplesPerFrame, samples.data(), kSamplesPerFrame));
  std::filesystem::resize_file(dir_.path() / "three.bin", 2352 * 300);
  EXPECT_FALSE(sound->Read(600 * kSamplesPerFrame, samples.data(), kSamplesPerFrame));
  EXPECT_EQ(samples, std::vector<int16_t>(samples.size(), 0));
  // The sheet now names sound the file does not hold: no disc can be read from it.
  Run({{0, "status cdaudio mode", "not ready"}, {0, "play cdaudio from 00:03:00", "#276"}});
}

TEST_F(CdioDriveTest, AnotherImageInTheSamePlaceIsANewDisc) {
  const auto image = WriteCdImage(dir_.path(), "disc", kThreeTracks);
  Insert(image);
  Run({{0, "open cdaudio shareable", "1"}, {0, "play cdaudio", ""}});
  const auto first = drive_->Audio();
  WriteCdImage(dir_.path(), "disc", {{300}, {300}});
  Run({
      {kCdioLookInterval.count(), "status cdaudio mode", "stopped"},
      {0, "status cdaudio number of tracks", "2"},
      {0, "status cdaudio position", "00:02:00"},
  });
  const auto second = drive_->Audio();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  std::vector<int16_t> samples(2);
  EXPECT_FALSE(first->Read(200 * kSamplesPerFrame, samples.data(), 1));
  EXPECT_TRUE(second->Read(200 * kSamplesPerFrame, samples.data(), 1));
}

// Where kThreeTracks start in the image's file.
const Frames kThreeTracksStarts[] = {Frames{0}, Frames{150}, Frames{375}};

// An image's sheet with names in it, and the names the device gives for it: libcdio makes the
// sheet's TITLE and PERFORMER lines its CD-Text.
struct ImageNames {
  const char* name;
  std::string sheet;                    // lines before FILE
  std::vector<std::string> trackLines;  // after each of the three TRACK lines
  DiscNames names;
};

class CdioNamesTest : public CdioDriveTest, public ::testing::WithParamInterface<ImageNames> {};

TEST_P(CdioNamesTest, TheSheetsNamesAreTheDiscsCdText) {
  const auto image = WriteCdImage(dir_.path(), "named", kThreeTracks);
  std::string sheet = GetParam().sheet + "FILE \"named.bin\" BINARY\n";
  for (size_t t = 0; t < 3; ++t) {
    sheet += "TRACK 0" + std::to_string(t + 1) + " AUDIO\n" + GetParam().trackLines[t] +
             "INDEX 01 " + FormatMsf(kThreeTracksStarts[t]) + "\n";
  }
  std::ofstream(image, std::ios::trunc) << sheet;
  Insert(image);
  EXPECT_EQ(device_->DiscNames(), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, CdioNamesTest,
    ::testing::Values(ImageNames{
        "Utf8",
        "PERFORMER \"Ren\xC3\xA9\"\nTITLE \"\xC3\x89t\xC3\xA9 \xE2\x82\xAC\"\n",
        {"TITLE \"Pr\xC3\xA9lude\"\n", "", "TITLE \"Three\"\n"},
        {"\xC3\x89t\xC3\xA9 \xE2\x82\xAC", "Ren\xC3\xA9", {"Pr\xC3\xA9lude", "", "Three"}}}),
    [](const ::testing::TestParamInfo<ImageNames>& row) { return std::string(row.param.name); });

// What is not a drive libcdio opens leaves the device unavailable, with the path and the reason.
TEST_F(CdioDriveTest, WhatIsNoDriveOrImageIsUnplugged) {
  std::ofstream(dir_.path() / "notes.cue") << "hello\n";
  std::ofstream(dir_.path() / "lost.cue") << "FILE \"lost.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                          << "    INDEX 01 00:00:00\n";
  struct Source {
    std::filesystem::path path;
    const char* reason;
  };
  for (const Source& source : std::vector<Source>{
           {dir_.path() / "missing.cue", "No such file"},
           {dir_.path(), "not a CD drive or a CD image"},
           {dir_.path() / "notes.cue", "not a CD drive or an image libcdio reads"},
           {dir_.path() / "lost.cue", "lost.bin"},
           {"/dev/null", "not a CD drive"},
       }) {
    Insert(source.path);
    const DriveStatus connected = drive_->Connected();
    EXPECT_EQ(connected.error, DriveError::Unplugged) << source.path;
    EXPECT_NE(connected.detail.find(source.path.filename().string()), std::string::npos)
        << connected.detail;
    EXPECT_NE(connected.detail.find(source.reason), std::string::npos) << connected.detail;
    EXPECT_EQ(Send("open cdaudio shareable"), "#266") << source.path;
    EXPECT_EQ(Send("status cdaudio mode"), "#266") << source.path;
    EXPECT_EQ(drive_->Audio(), nullptr);
  }
}

// Damaged sheets and images: each reads as a blank disc, a disc that is not ready, no drive at all
// or the disc it does describe, and nothing worse. libcdio takes the sound from the file named like
// the sheet, whatever its FILE line says.
TEST_F(CdioDriveTest, DamagedImagesGiveAClearAnswer) {
  const std::string track = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  struct Damaged {
    const char* name;
    std::string sheet;
    int32_t binFrames;
    const char* tracks;  // the answer to "status cdaudio number of tracks"
    const char* play;    // and to "play cdaudio"
  };
  for (const Damaged& damaged : std::vector<Damaged>{
           {"no tracks", "", 300, "#262", "#262"},
           {"tracks out of order",
            "FILE \"d.bin\" BINARY\n" + track +
                "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n  TRACK 03 AUDIO\n    INDEX 01 "
                "00:01:00\n",
            300, "#276", "#276"},
           {"only data", "FILE \"d.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
            300, "1", "#262"},
           {"an empty sound file", "FILE \"d.bin\" BINARY\n" + track, 0, "#276", "#276"},
           {"frame 99", "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:99\n", 300,
            "#266", "#266"},
           {"not a sheet", std::string(5000, 'A'), 300, "#266", "#266"},
           {"another file named", "FILE \"/etc/passwd\" BINARY\n" + track, 300, "1", ""},
       }) {
    WriteCdImage(dir_.path(), "d", {{damaged.binFrames}});
    std::ofstream(dir_.path() / "d.cue") << damaged.sheet;
    Insert(dir_.path() / "d.cue");
    Run({{0, "status cdaudio number of tracks", damaged.tracks},
         {0, "play cdaudio", damaged.play}});
    if (const auto sound = drive_->Audio()) {
      const auto silent = [](int64_t place) { return place < 150 * kSamplesPerFrame; };
      EXPECT_EQ(ReadDifference(*sound, 100 * kSamplesPerFrame, 100 * kSamplesPerFrame, silent), "")
          << damaged.name;
    }
  }
}

// Heard through the recorder, as the player hears it: what a run plays, exactly, sample for sample.
struct HeardRun {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::pair<int64_t, int64_t>> heard;  // disc frames [from, to), one after another
};

TEST_F(CdioDriveTest, WhatPlaysIsRecordedSampleForSample) {
  for (const HeardRun& run : std::vector<HeardRun>{
           {"from 2 to 3: track 2 and nothing else",
            {{0, "play cdaudio from 2 to 3", ""}, {5000, "status cdaudio mode", "stopped"}},
            {{300, 525}}},
           {"pause and resume lose and repeat no sample",
            {{0, "play cdaudio from 1 to 2", ""},
             {1234, "pause cdaudio", ""},
             {3000, "play cdaudio to 2", ""},
             {444, "pause cdaudio", ""},
             {0, "play cdaudio to 2", ""},
             {10000, "status cdaudio position", "02:00:00:00"}},
            {{150, 300}}},
           {"a seek lands on its frame",
            {{0, "play cdaudio from 1", ""},
             {500, "seek cdaudio to 02:00:01:05", ""},  // the head was on frame 187
             {2000, "play cdaudio to 3", ""},
             {5000, "status cdaudio mode", "stopped"}},
            {{150, 187}, {380, 525}}},
       }) {
    Insert(WriteCdImage(dir_.path(), "three", kThreeTracks), true);
    Run({{0, "open cdaudio shareable", "1"}, {0, "set cdaudio time format tmsf", ""}});
    Run(run.steps);
    device_.reset();  // the drive sends what played last as it goes
    EXPECT_EQ(HeardDifference(run.heard), "") << run.name;
  }
}

// Heard mid-play when the image goes: what played is kept, the drive reads "not ready", the sound
// fails softly into silence, and nothing crashes. Back again, the image is a disc like any other.
TEST_F(CdioDriveTest, AnImageThatVanishesWhileHeardEndsTheSound) {
  Insert(WriteCdImage(dir_.path(), "three", kThreeTracks), true);
  Run({{0, "open cdaudio shareable", "1"}, {0, "play cdaudio", ""}});
  const auto sound = drive_->Audio();
  ASSERT_NE(sound, nullptr);
  Run({{1000, "status cdaudio mode", "playing"}});
  std::filesystem::remove(dir_.path() / "three.bin");
  Run({
      {1000, "status cdaudio mode", "not ready"},
      {0, "status cdaudio ready", "false"},
      {0, "status cdaudio media present", "false"},
      {0, "status cdaudio number of tracks", "#276"},
      {1000, "play cdaudio", "#276"},
  });
  std::vector<int16_t> samples(2 * kSamplesPerFrame, 1);
  EXPECT_FALSE(sound->Read(210 * kSamplesPerFrame, samples.data(), kSamplesPerFrame));
  EXPECT_EQ(samples, std::vector<int16_t>(samples.size(), 0));
  EXPECT_EQ(drive_->Audio(), nullptr);
  EXPECT_NE(drive_->Connected().detail.find("three.bin"), std::string::npos);

  WriteCdImage(dir_.path(), "three", kThreeTracks);
  Run({{1000, "status cdaudio mode", "stopped"}, {0, "status cdaudio number of tracks", "3"}});
  device_.reset();
  const auto heard = vantora::testing::ReadRecording(recording_);
  ASSERT_GE(heard.size(), static_cast<size_t>(75 * kSamplesPerFrame));
  EXPECT_LE(heard.size(), static_cast<size_t>(150 * kSamplesPerFrame));
  EXPECT_EQ(HeardDifference({{150, 150 + static_cast<int64_t>(heard.size()) / kSamplesPerFrame}}),
            "");
}

// The sound is read on the player's pump thread while the player's thread asks the drive.
TEST_F(CdioDriveTest, SoundReadsOnAThreadOfItsOwnWhileTheDriveIsAsked) {
  Insert(WriteCdImage(dir_.path(), "three", kThreeTracks));
  const auto sound = drive_->Audio();
  ASSERT_NE(sound, nullptr);
  std::string wrong;
  std::thread pump([&] {
    const auto silent = [](int64_t) { return false; };
    for (int64_t frame = 150; frame < 820 && wrong.empty(); frame += 5) {
      wrong = ReadDifference(*sound, frame * kSamplesPerFrame, 5 * kSamplesPerFrame, silent);
    }
  });
  for (int i = 0; i < 200; ++i) {
    Send(i % 2 == 0 ? "play cdaudio" : "status cdaudio position");
  }
  pump.join();
  EXPECT_EQ(wrong, "");
}

// On a machine with a CD drive, the drive found answers as a drive does, whatever is in it.
TEST_F(CdioDriveTest, TheMachinesOwnDriveAnswers) {
  const std::optional<std::filesystem::path> found = FindCdDrive();
  if (!found) {
    GTEST_SKIP() << "no CD drive in this machine";
  }
  Insert(*found);
  const DriveStatus connected = drive_->Connected();
  if (!connected.ok()) {  // no right to open it, most likely
    EXPECT_NE(connected.detail.find(found->string()), std::string::npos) << connected.detail;
    return;
  }
  EXPECT_EQ(Send("capability cdaudio can eject"), "true");
  const std::string mode = Send("status cdaudio mode");
  EXPECT_TRUE(mode == "open" || mode == "not ready" || mode == "stopped") << mode;
}

}  // namespace
}  // namespace vantora::platform::cdaudio
