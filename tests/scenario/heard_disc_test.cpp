// SPDX-License-Identifier: GPL-3.0-or-later
// A disc image heard through the recorder: command strings as the player sends them, the manual
// clock, and the recording checked sample by sample against the sound file.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audible_drive.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"
#include "tests/support/sound_image.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::audio {
namespace {

using cdaudio::VirtualDrive;
using vantora::testing::FirstDifference;
using vantora::testing::kSamplesPerFrame;
using vantora::testing::Places;
using vantora::testing::Stereo;

// The disc, in frames of the file: track 1 from 0, a second of silence, track 2 from 160, track 3
// from 340 to the file's end half-way through frame 487. On the disc: track 1 at 150, the silence
// from 310, track 2 at 385, track 3 at 565, the lead-out at 713.
constexpr int64_t kFileFrames = 286'650;
constexpr const char* kSheet =
    "TITLE \"Counted\"\n"
    "FILE \"counted.flac\" WAVE\n"
    "  TRACK 01 AUDIO\n"
    "    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n"
    "    PREGAP 00:01:00\n"
    "    INDEX 01 00:02:10\n"
    "  TRACK 03 AUDIO\n"
    "    INDEX 01 00:04:40\n";

// The file's sound from file frame `from` to `to` (frames of 1/75 s).
std::vector<Stereo> FileFrames(int64_t from, int64_t to) {
  return Places(from * kSamplesPerFrame, std::min(to * kSamplesPerFrame, kFileFrames));
}

std::vector<Stereo> Silence(int64_t samples) {
  return std::vector<Stereo>(static_cast<size_t>(samples));
}

std::vector<Stereo> Joined(std::initializer_list<std::vector<Stereo>> parts) {
  std::vector<Stereo> all;
  for (const std::vector<Stereo>& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

const std::vector<Stereo> kGap = Silence(75 * kSamplesPerFrame);
// The rest of the disc's last frame, after the file's end.
const std::vector<Stereo> kTail = Silence(488 * kSamplesPerFrame - kFileFrames);

// Puts the disc of kSheet, its sound file written in `dir`, into the drive at `drive`.
void InsertCountedDisc(const std::filesystem::path& dir, const std::filesystem::path& drive) {
  vantora::testing::WriteSoundFile(dir / "counted.flac", kFileFrames,
                                   SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  vantora::testing::WriteText(dir / "counted.cue", kSheet);
  const cdaudio::DiscReading image = cdaudio::ReadDiscImage(dir / "counted.cue");
  ASSERT_TRUE(image.disc) << image.error;
  VirtualDrive hand(drive);
  ASSERT_TRUE(hand.Insert(*image.disc).ok());
}

class HeardDisc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(InsertCountedDisc(dir_.path(), drive_));
    clock_.Advance(cdaudio::kSpinUpTime);
    std::string why;
    auto recorder = OpenRecorder(recording_, &why);
    ASSERT_TRUE(recorder) << why;
    auto heard =
        std::make_unique<AudibleDrive>(std::make_unique<VirtualDrive>(drive_), std::move(recorder));
    heard_ = heard.get();
    device_ = std::make_unique<CommandDevice>(std::move(heard));
    Send("open cdaudio shareable");
    Send("set cdaudio time format tmsf");
  }

  std::string Send(const std::string& command) {
    std::string reply;
    EXPECT_EQ(device_->Send(command, reply), 0u) << command;
    return reply;
  }
  // Lets `ms` pass in uneven steps, pumping after each as the pump thread would.
  void Play(int64_t ms) {
    static constexpr int64_t kSteps[] = {20, 7, 33, 1, 19, 260};
    for (size_t i = 0; ms > 0; ++i) {
      const int64_t step = std::min(ms, kSteps[i % std::size(kSteps)]);
      clock_.Advance(ClockTime{step});
      heard_->Pump();
      ms -= step;
    }
  }
  std::vector<Stereo> Heard() const { return vantora::testing::ReadRecording(recording_); }

  cdaudio::testing::TempDir dir_;
  const std::filesystem::path drive_ = dir_.path() / "drive";
  const std::filesystem::path recording_ = dir_.path() / "heard.wav";
  ManualClock clock_{ClockTime{5'000}};
  ScopedClock scoped_{clock_};
  AudibleDrive* heard_ = nullptr;
  std::unique_ptr<CommandDevice> device_;
};

TEST_F(HeardDisc, PlayFromTwoToThreeRecordsTrackTwoAndNothingElse) {
  Send("play cdaudio from 2 to 3");
  Play(5'000);
  EXPECT_EQ(Send("status cdaudio mode"), "stopped");
  EXPECT_EQ(FirstDifference(Heard(), FileFrames(160, 340)), "");
}

// The player pauses, and resumes with a play from where the head rests, to the disc's end or to
// the end of the track.
TEST_F(HeardDisc, PauseAndResumeLoseAndRepeatNoSample) {
  for (const char* resume : {"play cdaudio", "play cdaudio to 2"}) {
    Send("play cdaudio from 1 to 2");
    Play(1'234);
    Send("pause cdaudio");
    Play(3'000);  // nothing is heard while paused
    Send(resume);
    Play(444);
    Send("pause cdaudio");
    Send(resume);
    Play(10'000);
  }
  EXPECT_EQ(FirstDifference(Heard(), Joined({FileFrames(0, 160), kGap, FileFrames(160, 488),
                                             kTail,  // to the end
                                             FileFrames(0, 160), kGap})),
            "");  // to track 2
}

TEST_F(HeardDisc, ASeekLandsOnItsFrame) {
  Send("play cdaudio from 1");
  Play(500);
  Send("seek cdaudio to 02:00:01:05");
  Play(2'000);  // a seek leaves the head resting
  Send("play cdaudio to 3");
  Play(5'000);
  EXPECT_EQ(FirstDifference(Heard(), Joined({FileFrames(0, 37), FileFrames(160 + 80, 340)})), "");
}

TEST_F(HeardDisc, APlayAcrossAGapHearsItsSilenceThenStopsAtItsEnd) {
  Send("play cdaudio from 01:00:02:00 to 02:00:00:10");
  Play(3'000);
  EXPECT_EQ(FirstDifference(Heard(), Joined({FileFrames(150, 160), kGap, FileFrames(160, 170)})),
            "");
}

TEST_F(HeardDisc, TheDiscEndsWithTheFileAndItsLastPartFrame) {
  Send("play cdaudio from 3");
  Play(4'000);
  EXPECT_EQ(Send("status cdaudio mode"), "stopped");
  // The file ends half-way through the disc's last frame, which is silent after it.
  EXPECT_EQ(FirstDifference(Heard(), Joined({FileFrames(340, 488), kTail})), "");
}

TEST_F(HeardDisc, StopAndAnOpenedTrayEndTheSoundWhereTheHeadIs) {
  Send("play cdaudio from 1");
  Play(700);  // 52.5 frames: the head is on frame 52
  Send("stop cdaudio");
  Play(1'000);
  Send("play cdaudio from 2");
  Play(100);
  Send("set cdaudio door open");
  Play(1'000);
  EXPECT_EQ(FirstDifference(Heard(), Joined({FileFrames(0, 52), FileFrames(160, 167)})), "");
}

// Another process moves the head: the pump that finds it moved sends nothing, and play is heard
// again from there.
TEST_F(HeardDisc, AHeadMovedByAnotherPlayerIsFollowedNotFilledIn) {
  Send("play cdaudio from 1");
  Play(1'000);
  VirtualDrive other(drive_);
  ASSERT_TRUE(other.Play(cdaudio::Frames{565}, cdaudio::Frames{713}).ok());
  Play(400);  // the first pump, 20 ms on, finds the head on frame 566
  EXPECT_EQ(FirstDifference(Heard(), Joined({FileFrames(0, 75), FileFrames(341, 370)})), "");
}

// The program's pump thread sleeps while the drive is silent: each play, a second one after a
// stop too, must wake it, or the sound stops at the play's first moment.
TEST(HeardDiscPumping, EveryPlayWakesThePump) {
  cdaudio::testing::TempDir dir;
  const std::filesystem::path drive = dir.path() / "drive";
  {
    // Put in on another clock, the disc has spun up for the system's.
    ManualClock clock;
    ScopedClock scoped(clock);
    ASSERT_NO_FATAL_FAILURE(InsertCountedDisc(dir.path(), drive));
  }
  std::string why;
  auto recorder = OpenRecorder(dir.path() / "heard.wav", &why);
  ASSERT_TRUE(recorder) << why;
  AudibleDrive heard(std::make_unique<VirtualDrive>(drive), std::move(recorder));
  heard.StartPumping(std::chrono::milliseconds(5));
  const auto heardSize = [&] {
    return vantora::testing::ReadRecording(dir.path() / "heard.wav").size();
  };
  for (int play = 1; play <= 2; ++play) {
    const size_t before = heardSize();
    ASSERT_TRUE(heard.Play(cdaudio::Frames{150}, cdaudio::Frames{713}).ok());
    // A tenth of a second of sound, sent by the pump alone, within a generous while.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (heardSize() < before + 7 * kSamplesPerFrame &&
           std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(heardSize(), before + 7 * kSamplesPerFrame) << "play " << play;
    ASSERT_TRUE(heard.Stop().ok());
  }
}

TEST_F(HeardDisc, ADiscWhoseFileHasGonePlaysSilently) {
  std::filesystem::remove(dir_.path() / "counted.flac");
  Send("play cdaudio from 1");
  Play(1'000);
  EXPECT_EQ(Send("status cdaudio mode"), "playing");
  EXPECT_TRUE(Heard().empty());
}

TEST_F(HeardDisc, AFileRemovedWhilePlayingIsStillHeardToTheEnd) {
  Send("play cdaudio from 2 to 3");
  Play(100);
  std::filesystem::remove(dir_.path() / "counted.flac");
  Play(3'000);
  EXPECT_EQ(FirstDifference(Heard(), FileFrames(160, 340)), "");
}

}  // namespace
}  // namespace vantora::platform::audio
