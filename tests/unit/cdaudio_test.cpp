// SPDX-License-Identifier: GPL-3.0-or-later
// The command-string device for cdaudio: replies, error numbers and the play head, driven against
// the virtual drive on the manual clock.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"
#include "tests/support/scripted_drive.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform {
namespace {

using cdaudio::kSpinUpTime;
using cdaudio::VirtualDrive;
using cdaudio::testing::ScriptedDrive;
using cdaudio::testing::TempDir;
using cdaudio::testing::ThreeTrackDisc;

struct Answer {
  uint32_t error = 0;
  std::string reply;
};

class CommandDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hand_.Insert(ThreeTrackDisc()).ok());
    Advance(kSpinUpTime.count());
  }

  Answer Send(std::string_view command) {
    Answer answer;
    answer.error = device_.Send(command, answer.reply);
    return answer;
  }
  // The reply of a command that must succeed.
  std::string Reply(std::string_view command) {
    const Answer answer = Send(command);
    EXPECT_EQ(answer.error, 0u) << command;
    return answer.reply;
  }
  // The error of a command that must fail; a failed command never leaves a reply.
  uint32_t Error(std::string_view command) {
    const Answer answer = Send(command);
    EXPECT_EQ(answer.reply, "") << command;
    return answer.error;
  }
  void Advance(int64_t ms) { clock_.Advance(ClockTime{ms}); }

  TempDir dir_;
  ManualClock clock_{ClockTime{5'000'000}};
  ScopedClock scoped_{clock_};
  // The user's hand: another view of the same drive directory, as vantora-drive would have.
  VirtualDrive hand_{dir_.path()};
  CommandDevice device_{std::make_unique<VirtualDrive>(dir_.path())};
};

TEST_F(CommandDeviceTest, OpenGivesTheDeviceIdAndASecondOpenIsDeviceOpen) {
  EXPECT_EQ(Reply("open cdaudio shareable"), "1");
  EXPECT_EQ(Error("open cdaudio shareable"), kMciErrDeviceOpen);
  EXPECT_EQ(Reply("capability cdaudio can eject"), "true");
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio time format"), "msf");
  EXPECT_EQ(Reply("close cdaudio"), "");
  EXPECT_EQ(Error("close cdaudio"), kMciErrInvalidDeviceName);
  EXPECT_EQ(Reply("open cdaudio shareable"), "1");
}

TEST_F(CommandDeviceTest, AliasesShareTheDriveAndReuseFreedIds) {
  EXPECT_EQ(Reply("open cdaudio alias One shareable"), "1");
  EXPECT_EQ(Reply("open cdaudio shareable alias two"), "2");
  EXPECT_EQ(Error("open cdaudio alias TWO shareable"), kMciErrDuplicateAlias);
  EXPECT_EQ(Reply("status one mode"), "stopped");
  EXPECT_EQ(Reply("set two time format tmsf"), "");
  EXPECT_EQ(Reply("status TWO time format"), "tmsf");
  EXPECT_EQ(Reply("status one time format"), "msf");  // each open has its own format
  EXPECT_EQ(Error("status three mode"), kMciErrInvalidDeviceName);
  EXPECT_EQ(Reply("close one"), "");
  EXPECT_EQ(Reply("open cdaudio alias three shareable"), "1");
  EXPECT_EQ(Reply("close all"), "");
  EXPECT_EQ(Error("status two mode"), kMciErrInvalidDeviceName);
}

TEST_F(CommandDeviceTest, AnOpenThatIsNotShareableKeepsOthersOut) {
  EXPECT_EQ(Reply("open cdaudio alias mine"), "1");
  EXPECT_EQ(Error("open cdaudio alias other shareable"), kMciErrMustUseShareable);
  EXPECT_EQ(Reply("close mine"), "");
  EXPECT_EQ(Reply("open cdaudio alias mine shareable"), "1");
  EXPECT_EQ(Error("open cdaudio alias other"), kMciErrMustUseShareable);
}

TEST_F(CommandDeviceTest, ACommandForAnUnopenedDeviceRunsOnAPassingOpen) {
  EXPECT_EQ(Reply("status cdaudio number of tracks"), "3");
  EXPECT_EQ(Reply("set cdaudio time format tmsf"), "");
  // The passing open is gone, and its time format with it.
  EXPECT_EQ(Reply("status cdaudio position"), "00:02:00");
  EXPECT_EQ(Reply("open cdaudio shareable"), "1");
}

struct Malformed {
  const char* name;
  const char* command;
  uint32_t error;
};

class MalformedCommandTest : public CommandDeviceTest,
                             public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedCommandTest, FailsWithThePlatformsNumber) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  EXPECT_EQ(Error(GetParam().command), GetParam().error) << GetParam().command;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, MalformedCommandTest,
    ::testing::Values(
        Malformed{"Empty", "", kMciErrMissingCommandString},
        Malformed{"Blanks", " \t ", kMciErrMissingCommandString},
        Malformed{"UnknownVerb", "spin cdaudio", kMciErrUnrecognizedCommand},
        Malformed{"NoDeviceName", "status", kMciErrMissingDeviceName},
        Malformed{"UnknownDevice", "status waveaudio mode", kMciErrInvalidDeviceName},
        Malformed{"OpenOfAnotherDeviceType", "open sequencer", kMciErrInvalidDeviceName},
        Malformed{"StatusWithNothing", "status cdaudio", kMciErrMissingParameter},
        Malformed{"SeekWithNothing", "seek cdaudio", kMciErrMissingParameter},
        Malformed{"CapabilityWithNothing", "capability cdaudio", kMciErrMissingParameter},
        Malformed{"SetWithNothing", "set cdaudio", kMciErrMissingParameter},
        Malformed{"UnknownKeyword", "status cdaudio colour", kMciErrUnrecognizedKeyword},
        Malformed{"KeywordOfAnotherVerb", "pause cdaudio from 1", kMciErrUnrecognizedKeyword},
        Malformed{"HalfAKeyword", "status cdaudio media", kMciErrUnrecognizedKeyword},
        Malformed{"UnknownDoorState", "set cdaudio door ajar", kMciErrUnrecognizedKeyword},
        Malformed{"TwoSeekTargets", "seek cdaudio to start to end", kMciErrFlagsNotCompatible},
        Malformed{"TwoStatusItems", "status cdaudio mode ready", kMciErrFlagsNotCompatible},
        Malformed{"TrackOnMode", "status cdaudio mode track 1", kMciErrFlagsNotCompatible},
        Malformed{"BothDoors", "set cdaudio door open door closed", kMciErrFlagsNotCompatible},
        Malformed{"TwoCapabilities", "capability cdaudio can eject can play",
                  kMciErrFlagsNotCompatible},
        Malformed{"TypeWithoutTrack", "status cdaudio type", kMciErrMissingParameter},
        Malformed{"FormatWithoutName", "set cdaudio time format", kMciErrMissingParameter},
        Malformed{"FromWithoutPlace", "play cdaudio from", kMciErrMissingParameter},
        Malformed{"UnknownFormat", "set cdaudio time format frames", kMciErrBadTimeFormat},
        Malformed{"RepeatedFrom", "play cdaudio from 1 from 2", kMciErrDuplicateFlags},
        Malformed{"UnclosedQuote", "open \"cdaudio shareable", kMciErrNoClosingQuote},
        Malformed{"TrackNotANumber", "status cdaudio length track x", kMciErrBadInteger},
        Malformed{"NegativeTrack", "status cdaudio length track -1", kMciErrBadInteger},
        Malformed{"Field256", "play cdaudio from 256", kMciErrBadInteger},
        Malformed{"FourFieldsInMsf", "play cdaudio from 0:2:0:0", kMciErrBadInteger},
        Malformed{"EmptyField", "play cdaudio from 0::5", kMciErrBadInteger},
        Malformed{"TrailingColon", "seek cdaudio to 3:", kMciErrBadInteger},
        Malformed{"TrackZero", "status cdaudio length track 0", kMciErrOutOfRange},
        Malformed{"TrackPastTheLast", "status cdaudio position track 4", kMciErrOutOfRange},
        Malformed{"PlayBeforeTheFirstTrack", "play cdaudio from 0:1:74", kMciErrOutOfRange},
        Malformed{"PlayPastTheLeadOut", "play cdaudio from 4:12:31", kMciErrOutOfRange},
        Malformed{"ToBeforeFrom", "play cdaudio from 2 to 1", kMciErrOutOfRange},
        Malformed{"SeekPastTheLeadOut", "seek cdaudio to 5", kMciErrOutOfRange}),
    [](const ::testing::TestParamInfo<Malformed>& row) { return std::string(row.param.name); });

TEST_F(CommandDeviceTest, KeywordsIgnoreCaseAndOrder) {
  ASSERT_EQ(Reply("Open CDAudio Shareable"), "1");
  EXPECT_EQ(Reply("STATUS CDAUDIO MODE"), "stopped");
  EXPECT_EQ(Reply("status cdaudio position start"), "00:02:00");
  EXPECT_EQ(Reply("status cdaudio tracks number of"), "3");
  EXPECT_EQ(Reply("status cdaudio track 3 length"), "01:00:29");
  EXPECT_EQ(Reply("status cdaudio present media wait"), "true");
  EXPECT_EQ(Reply("seek cdaudio notify start to"), "");
  EXPECT_EQ(Reply("set cdaudio format time TMSF"), "");
  EXPECT_EQ(Reply("status cdaudio time format"), "tmsf");
}

TEST_F(CommandDeviceTest, AnswersTheDiscInMsf) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  EXPECT_EQ(Reply("status cdaudio ready"), "true");
  EXPECT_EQ(Reply("status cdaudio media present"), "true");
  EXPECT_EQ(Reply("status cdaudio number of tracks"), "3");
  // Lead-out 04:12:30 minus the start 00:02:00, one frame short.
  EXPECT_EQ(Reply("status cdaudio length"), "04:10:29");
  EXPECT_EQ(Reply("status cdaudio length track 1"), "03:00:00");
  EXPECT_EQ(Reply("status cdaudio length track 2"), "00:10:00");
  EXPECT_EQ(Reply("status cdaudio length track 3"), "01:00:29");  // the last is a frame short too
  EXPECT_EQ(Reply("status cdaudio start position"), "00:02:00");
  EXPECT_EQ(Reply("status cdaudio position track 1"), "00:02:00");
  EXPECT_EQ(Reply("status cdaudio position track 3"), "03:12:00");
  EXPECT_EQ(Reply("status cdaudio position"), "00:02:00");
  EXPECT_EQ(Reply("status cdaudio current track"), "1");
  EXPECT_EQ(Reply("status cdaudio type track 2"), "audio");
  EXPECT_EQ(Reply("capability cdaudio can play"), "true");
  EXPECT_EQ(Reply("capability cdaudio can record"), "false");
  EXPECT_EQ(Reply("capability cdaudio device type"), "cdaudio");
}

TEST_F(CommandDeviceTest, AnswersPositionsInTmsfAndLengthsStillInMsf) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("set cdaudio time format tmsf"), "");
  EXPECT_EQ(Reply("status cdaudio start position"), "01:00:00:00");
  EXPECT_EQ(Reply("status cdaudio position track 3"), "03:00:00:00");
  EXPECT_EQ(Reply("status cdaudio position"), "01:00:00:00");
  EXPECT_EQ(Reply("status cdaudio length"), "04:10:29");
  EXPECT_EQ(Reply("status cdaudio length track 1"), "03:00:00");
  // tmsf "to 3:0:5" reaches into track 3; the head reads relative to its track.
  ASSERT_EQ(Reply("seek cdaudio to 3:0:5"), "");
  EXPECT_EQ(Reply("status cdaudio position"), "03:00:05:00");
  ASSERT_EQ(Reply("seek cdaudio to 2:0:3:7"), "");
  EXPECT_EQ(Reply("status cdaudio position"), "02:00:03:07");
  ASSERT_EQ(Reply("set cdaudio time format msf"), "");
  EXPECT_EQ(Reply("status cdaudio position"), "03:05:07");
}

TEST_F(CommandDeviceTest, AnswersInMilliseconds) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("set cdaudio time format ms"), "");
  EXPECT_EQ(Reply("status cdaudio time format"), "milliseconds");
  EXPECT_EQ(Reply("status cdaudio start position"), "2000");
  EXPECT_EQ(Reply("status cdaudio length track 2"), "10000");
  EXPECT_EQ(Reply("play cdaudio from 182000 to 184000"), "");  // inside track 2
  Advance(1999);
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  Advance(1);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio position"), "184000");
}

TEST_F(CommandDeviceTest, PlayFromTrackToTrackEndsOnTime) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("set cdaudio time format tmsf"), "");
  ASSERT_EQ(Reply("play cdaudio from 2 to 3"), "");
  ASSERT_EQ(Reply("set cdaudio time format msf"), "");
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  EXPECT_EQ(Reply("status cdaudio current track"), "2");
  // Track 2 is 750 frames, exactly 10 seconds: still playing a millisecond before, not after.
  Advance(9999);
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  EXPECT_EQ(Reply("status cdaudio position"), "03:11:74");
  Advance(1);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio position"), "03:12:00");
  EXPECT_EQ(Reply("status cdaudio current track"), "3");
  Advance(60'000);
  EXPECT_EQ(Reply("status cdaudio position"), "03:12:00");
}

TEST_F(CommandDeviceTest, PlayFromATrackRunsToTheEndOfTheDiscWithTheTrackFollowing) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("set cdaudio time format tmsf"), "");
  ASSERT_EQ(Reply("play cdaudio from 1"), "");
  Advance(3 * 60'000 - 1);
  EXPECT_EQ(Reply("status cdaudio current track"), "1");
  EXPECT_EQ(Reply("status cdaudio position"), "01:02:59:74");
  Advance(1);
  EXPECT_EQ(Reply("status cdaudio current track"), "2");
  EXPECT_EQ(Reply("status cdaudio position"), "02:00:00:00");
  Advance(10'000);
  EXPECT_EQ(Reply("status cdaudio current track"), "3");
  // Track 3 holds 4530 frames: 60.4 seconds.
  Advance(60'399);
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  Advance(1);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio current track"), "3");
  // The end that "length track 3" (01:00:29) implies, not the lead-out a frame later.
  EXPECT_EQ(Reply("status cdaudio position"), "03:01:00:29");
}

TEST_F(CommandDeviceTest, PlayRangesAtTheEdgesOfTheDisc) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("set cdaudio time format tmsf"), "");
  EXPECT_EQ(Error("play cdaudio from 1 to 4"), kMciErrOutOfRange);  // one past the last track
  EXPECT_EQ(Error("play cdaudio from 4"), kMciErrOutOfRange);
  EXPECT_EQ(Error("play cdaudio from 0"), kMciErrOutOfRange);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");  // failed plays leave the drive alone
  EXPECT_EQ(Reply("play cdaudio from 3 to 3"), "");    // nothing to play
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("play cdaudio from 3"), "");  // the last track to the end
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  ASSERT_EQ(Reply("set cdaudio time format msf"), "");
  EXPECT_EQ(Reply("play cdaudio from 3 to 4:12:30"), "");  // msf: minute 3, to the lead-out
  EXPECT_EQ(Reply("status cdaudio current track"), "1");
  EXPECT_EQ(Reply("play cdaudio from 0:2:0 to 0:2:1"), "");
  Advance(13);
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  Advance(1);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
}

TEST_F(CommandDeviceTest, PauseReadsStoppedAndPlayResumesToTheEndOfTheDisc) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("set cdaudio time format tmsf"), "");
  ASSERT_EQ(Reply("play cdaudio from 2 to 3"), "");
  ASSERT_EQ(Reply("set cdaudio time format msf"), "");
  Advance(5000);
  EXPECT_EQ(Reply("pause cdaudio"), "");
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  Advance(10 * 60'000);
  EXPECT_EQ(Reply("status cdaudio position"), "03:07:00");
  EXPECT_EQ(Reply("pause cdaudio"), "");  // pausing again changes nothing
  EXPECT_EQ(Reply("play cdaudio"), "");
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  EXPECT_EQ(Reply("status cdaudio position"), "03:07:00");
  // Resumed, the play no longer stops at track 3 but runs to the end of the disc.
  Advance(5000);
  EXPECT_EQ(Reply("status cdaudio current track"), "3");
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  // "play" while playing just goes on.
  EXPECT_EQ(Reply("play cdaudio"), "");
  Advance(1000);
  EXPECT_EQ(Reply("status cdaudio position"), "03:13:00");
}

TEST_F(CommandDeviceTest, StopKeepsThePlaceAndSeekToStartRewinds) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("play cdaudio from 1:0:0"), "");
  Advance(2000);
  EXPECT_EQ(Reply("stop cdaudio"), "");
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio position"), "01:02:00");
  EXPECT_EQ(Reply("play cdaudio"), "");
  Advance(1000);
  EXPECT_EQ(Reply("seek cdaudio to start"), "");  // also ends play
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio position"), "00:02:00");
  EXPECT_EQ(Reply("seek cdaudio to end"), "");
  EXPECT_EQ(Reply("status cdaudio position"), "04:12:29");  // start 00:02:00 + length 04:10:29
  EXPECT_EQ(Reply("status cdaudio current track"), "3");
  EXPECT_EQ(Reply("play cdaudio"), "");  // nothing left to play
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
}

TEST_F(CommandDeviceTest, TheDoorOpensAndClosesWithASpinUp) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Reply("play cdaudio"), "");
  EXPECT_EQ(Reply("set cdaudio door open"), "");
  EXPECT_EQ(Reply("status cdaudio mode"), "open");
  EXPECT_EQ(Reply("status cdaudio ready"), "false");
  EXPECT_EQ(Reply("status cdaudio media present"), "false");
  EXPECT_EQ(Error("status cdaudio number of tracks"), kMciErrDeviceNotReady);
  EXPECT_EQ(Error("play cdaudio from 1"), kMciErrDeviceNotReady);
  EXPECT_EQ(Reply("set cdaudio door open"), "");  // already open

  EXPECT_EQ(Reply("set cdaudio door closed"), "");
  EXPECT_EQ(Reply("status cdaudio mode"), "not ready");
  EXPECT_EQ(Reply("status cdaudio media present"), "true");
  EXPECT_EQ(Error("status cdaudio length"), kMciErrDeviceNotReady);
  Advance(kSpinUpTime.count() - 1);
  EXPECT_EQ(Reply("status cdaudio ready"), "false");
  Advance(1);
  EXPECT_EQ(Reply("status cdaudio ready"), "true");
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio position"), "00:02:00");
}

TEST_F(CommandDeviceTest, WithoutADiscTheDriveStaysNotReady) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_TRUE(hand_.Remove().ok());
  Advance(60'000);
  EXPECT_EQ(Reply("status cdaudio mode"), "not ready");
  EXPECT_EQ(Reply("status cdaudio ready"), "false");
  EXPECT_EQ(Reply("status cdaudio media present"), "false");
  EXPECT_EQ(Reply("capability cdaudio can eject"), "true");
  for (const char* command :
       {"status cdaudio number of tracks", "status cdaudio length", "status cdaudio position",
        "status cdaudio current track", "status cdaudio length track 1",
        "status cdaudio start position", "play cdaudio", "seek cdaudio to start", "pause cdaudio",
        "stop cdaudio"}) {
    EXPECT_EQ(Error(command), kMciErrDeviceNotReady) << command;
  }
  EXPECT_EQ(Reply("set cdaudio door open"), "");
  EXPECT_EQ(Reply("status cdaudio mode"), "open");
  EXPECT_EQ(Reply("set cdaudio door closed"), "");
  Advance(60'000);
  EXPECT_EQ(Reply("status cdaudio mode"), "not ready");
}

TEST_F(CommandDeviceTest, AnUnpluggedDriveCannotBeOpenedAndReadsNotReady) {
  ASSERT_EQ(Reply("open cdaudio alias player shareable"), "1");
  ASSERT_EQ(Reply("play player"), "");
  ASSERT_TRUE(hand_.SetPlugged(false).ok());
  EXPECT_EQ(Error("open cdaudio shareable"), kMciErrCannotLoadDriver);
  EXPECT_EQ(Error("status cdaudio mode"), kMciErrCannotLoadDriver);  // no passing open either
  EXPECT_EQ(Reply("status player mode"), "not ready");
  EXPECT_EQ(Reply("status player ready"), "false");
  EXPECT_EQ(Reply("status player media present"), "false");
  EXPECT_EQ(Error("play player"), kMciErrDeviceNotReady);
  EXPECT_EQ(Error("set player door open"), kMciErrDeviceNotReady);

  ASSERT_TRUE(hand_.SetPlugged(true).ok());
  EXPECT_EQ(Reply("status player mode"), "not ready");  // spinning up again
  Advance(kSpinUpTime.count());
  EXPECT_EQ(Reply("status player mode"), "stopped");
  EXPECT_EQ(Reply("open cdaudio shareable"), "2");
}

TEST(CommandDeviceOnNoDrive, APathThatHoldsNoDriveCannotBeOpened) {
  TempDir dir;
  std::ofstream(dir.path() / "file") << "not a drive";
  using cdaudio::MissingDrive;
  const std::pair<std::filesystem::path, MissingDrive> kPlaces[] = {
      {dir.path() / "file", MissingDrive::Fresh},
      {dir.path() / "file" / "drive", MissingDrive::Fresh},
      {dir.path() / "missing", MissingDrive::Absent},
  };
  for (const auto& [place, missing] : kPlaces) {
    CommandDevice device(std::make_unique<VirtualDrive>(place, missing));
    std::string reply;
    EXPECT_EQ(device.Send("open cdaudio shareable", reply), kMciErrCannotLoadDriver) << place;
    EXPECT_EQ(device.Send("set cdaudio door open", reply), kMciErrCannotLoadDriver) << place;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST_F(CommandDeviceTest, ADamagedDriveStateIsADriverError) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  std::ofstream(dir_.path() / "state") << "vantora-drive 1\nplugged maybe\n";
  EXPECT_EQ(Error("status cdaudio mode"), kMciErrDriverInternal);
  EXPECT_EQ(Error("play cdaudio"), kMciErrDriverInternal);
  EXPECT_EQ(Reply("close cdaudio"), "");
  EXPECT_EQ(Error("open cdaudio shareable"), kMciErrDriverInternal);
}

TEST_F(CommandDeviceTest, TwoPlayersOnOneDriveSeeEachOthersCommands) {
  CommandDevice other(std::make_unique<VirtualDrive>(dir_.path()));
  std::string reply;
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(other.Send("open cdaudio shareable", reply), 0u);
  EXPECT_EQ(reply, "1");  // ids count per program
  ASSERT_EQ(other.Send("play cdaudio from 0:3:0", reply), 0u);
  Advance(1000);
  EXPECT_EQ(Reply("status cdaudio mode"), "playing");
  EXPECT_EQ(Reply("status cdaudio position"), "00:04:00");
  EXPECT_EQ(Reply("set cdaudio door open"), "");
  ASSERT_EQ(other.Send("status cdaudio mode", reply), 0u);
  EXPECT_EQ(reply, "open");
}

TEST(CommandDeviceOnAnyDrive, NamesEveryModeAsThePlatformDoes) {
  auto owned = std::make_unique<ScriptedDrive>();
  ScriptedDrive& drive = *owned;
  CommandDevice device(std::move(owned));
  std::string reply;
  using cdaudio::DriveMode;
  const std::pair<DriveMode, const char*> kModes[] = {
      {DriveMode::NotReady, "not ready"}, {DriveMode::Open, "open"},
      {DriveMode::Stopped, "stopped"},    {DriveMode::Paused, "stopped"},
      {DriveMode::Playing, "playing"},    {DriveMode::Seeking, "seeking"},
  };
  for (const auto& [mode, word] : kModes) {
    drive.mode = mode;
    EXPECT_EQ(device.Send("status cdaudio mode", reply), 0u);
    EXPECT_EQ(reply, word);
  }
  drive.mode = DriveMode::Seeking;
  EXPECT_EQ(device.Send("status cdaudio ready", reply), 0u);
  EXPECT_EQ(reply, "true");
  drive.canEject = false;
  EXPECT_EQ(device.Send("capability cdaudio can eject", reply), 0u);
  EXPECT_EQ(reply, "false");
}

TEST(CommandDeviceOnAnyDrive, TurnsDriveRefusalsIntoErrorNumbers) {
  auto owned = std::make_unique<ScriptedDrive>();
  ScriptedDrive& drive = *owned;
  CommandDevice device(std::move(owned));
  std::string reply;
  using cdaudio::DriveError;
  using Operation = ScriptedDrive::Operation;
  const std::pair<DriveError, uint32_t> kErrors[] = {
      {DriveError::Unsupported, kMciErrUnsupportedFunction},
      {DriveError::Hardware, kMciErrHardware},
      {DriveError::NotReady, kMciErrDeviceNotReady},
      {DriveError::OutOfRange, kMciErrOutOfRange},
      {DriveError::Damaged, kMciErrDriverInternal},
  };
  for (const auto& [error, number] : kErrors) {
    for (const auto& [operation, command] : {std::pair{Operation::Pause, "pause cdaudio"},
                                             {Operation::Stop, "stop cdaudio"},
                                             {Operation::Play, "play cdaudio"},
                                             {Operation::Seek, "seek cdaudio to end"},
                                             {Operation::SetTray, "set cdaudio door open"},
                                             {Operation::Mode, "status cdaudio mode"},
                                             {Operation::ReadToc, "status cdaudio length"}}) {
      drive.Fail(operation, error);
      EXPECT_EQ(device.Send(command, reply), number) << command;
      drive.Succeed(operation);
    }
  }
}

TEST(CommandDeviceOnAnyDrive, ADiscWithoutTracksIsAHardwareFault) {
  auto owned = std::make_unique<ScriptedDrive>();
  owned->toc = cdaudio::Toc();
  CommandDevice device(std::move(owned));
  std::string reply;
  for (const char* command :
       {"status cdaudio number of tracks", "status cdaudio length", "status cdaudio position",
        "status cdaudio start position", "play cdaudio", "seek cdaudio to start"}) {
    EXPECT_EQ(device.Send(command, reply), kMciErrHardware) << command;
  }
}

TEST(CommandDeviceOnAnyDrive, AnInjectedFailureMeetsTheSameRequestHoweverItIsWritten) {
  auto owned = std::make_unique<ScriptedDrive>();
  owned->injected = {{"status cdaudio length track 2", 262}, {"open cdaudio shareable", 266}};
  CommandDevice device(std::move(owned));
  std::string reply;
  const std::pair<const char*, uint32_t> kCommands[] = {
      {"open cdaudio shareable", 266},
      {"OPEN cdaudio shareable wait", 266},
      {"open cdaudio alias disc shareable", 0},  // another request
      {"status cdaudio length track 2", 262},
      {"Status CDAudio track 2 LENGTH notify", 262},
      {"status disc length track 2", 262},  // an alias of the device
      {"status other length track 2", kMciErrInvalidDeviceName},
      {"status cdaudio length track 3", 0},
      {"status cdaudio length", 0},
  };
  for (const auto& [command, error] : kCommands) {
    EXPECT_EQ(device.Send(command, reply), error) << command;
  }
  EXPECT_EQ(device.Log().Entries().front().error, 266u);
}

TEST_F(CommandDeviceTest, BlankDataAndTraylessDrivesFromTheHand) {
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_TRUE(hand_.Insert(cdaudio::Disc{}).ok());
  Advance(kSpinUpTime.count());
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio media present"), "true");
  EXPECT_EQ(Error("status cdaudio number of tracks"), kMciErrHardware);
  EXPECT_EQ(Error("play cdaudio"), kMciErrHardware);

  // Mixed mode: data, then music. Play of the data fails; "to start" means the music.
  ASSERT_TRUE(hand_.Insert(cdaudio::MixedModeDemoDisc()).ok());
  Advance(kSpinUpTime.count());
  EXPECT_EQ(Reply("status cdaudio type track 1"), "other");
  EXPECT_EQ(Reply("status cdaudio type track 2"), "audio");
  ASSERT_EQ(Reply("set cdaudio time format tmsf"), "");
  EXPECT_EQ(Error("play cdaudio from 1"), kMciErrHardware);
  EXPECT_EQ(Reply("seek cdaudio to start"), "");
  EXPECT_EQ(Reply("status cdaudio position"), "02:00:00:00");

  // Music, then data: a play stops where the data begins.
  cdaudio::Disc enhanced = ThreeTrackDisc();
  enhanced.toc.SetKind(cdaudio::TrackNumber{3}, cdaudio::TrackKind::Data);
  ASSERT_TRUE(hand_.Insert(enhanced).ok());
  Advance(kSpinUpTime.count());
  ASSERT_EQ(Reply("play cdaudio from 2"), "");
  Advance(10'000);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio position"), "03:00:00:00");

  ASSERT_TRUE(hand_.SetCanEject(false).ok());
  EXPECT_EQ(Reply("capability cdaudio can eject"), "false");
  EXPECT_EQ(Error("set cdaudio door open"), kMciErrUnsupportedFunction);
  ASSERT_TRUE(hand_.MoveTray(cdaudio::Tray::Open).ok());  // the hand still can
  EXPECT_EQ(Reply("status cdaudio mode"), "open");
}

TEST_F(CommandDeviceTest, TheReplyBufferIsEmptiedCutAndAlwaysTerminated) {
  char reply[16];
  std::memset(reply, 'x', sizeof reply);
  EXPECT_EQ(device_.SendString("status cdaudio length", reply, sizeof reply, nullptr), 0u);
  EXPECT_STREQ(reply, "04:10:29");

  std::memset(reply, 'x', sizeof reply);
  EXPECT_EQ(device_.SendString("status cdaudio length", reply, 4, nullptr), kMciErrParamOverflow);
  EXPECT_STREQ(reply, "04:");
  EXPECT_EQ(reply[4], 'x');  // nothing written past the given size

  std::memset(reply, 'x', sizeof reply);
  EXPECT_EQ(device_.SendString("status cdaudio colour", reply, sizeof reply, nullptr),
            kMciErrUnrecognizedKeyword);
  EXPECT_STREQ(reply, "");

  std::memset(reply, 'x', sizeof reply);
  EXPECT_EQ(device_.SendString("seek cdaudio to start", reply, sizeof reply, nullptr), 0u);
  EXPECT_STREQ(reply, "");

  reply[0] = 'x';
  EXPECT_EQ(device_.SendString("status cdaudio mode", reply, 0, nullptr), 0u);
  EXPECT_EQ(reply[0], 'x');  // size 0: the buffer is not touched
  EXPECT_EQ(device_.SendString("status cdaudio mode", nullptr, 100, nullptr), 0u);
  EXPECT_EQ(device_.SendString(nullptr, reply, sizeof reply, nullptr), kMciErrMissingCommandString);
}

TEST_F(CommandDeviceTest, TheLogHoldsEveryCommandWithItsErrorAndReply) {
  const std::filesystem::path trace = dir_.path() / "trace.txt";
  std::string error;
  ASSERT_TRUE(device_.Log().AppendTo(trace, &error)) << error;
  char reply[100];
  device_.SendString("open cdaudio shareable", reply, sizeof reply, nullptr);
  device_.SendString("status cdaudio mode", reply, sizeof reply, nullptr);
  device_.SendString("play cdaudio from 9", reply, sizeof reply, nullptr);
  std::string ignored;
  device_.Send("status\tcdaudio ready", ignored);

  const std::vector<DeviceLogEntry> expected = {
      {"open cdaudio shareable", 0, "1"},
      {"status cdaudio mode", 0, "stopped"},
      {"play cdaudio from 9", kMciErrOutOfRange, ""},
      {"status\tcdaudio ready", 0, "true"},
  };
  EXPECT_EQ(
      std::vector<DeviceLogEntry>(device_.Log().Entries().begin(), device_.Log().Entries().end()),
      expected);
  std::ifstream in(trace);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "open cdaudio shareable\t0\t1\n"
            "status cdaudio mode\t0\tstopped\n"
            "play cdaudio from 9\t282\t\n"
            "status\\tcdaudio ready\t0\ttrue\n");

  // A second log appends to what is there.
  device_.Log().StopAppending();
  DeviceLog second;
  ASSERT_TRUE(second.AppendTo(trace));
  second.Record("stop cdaudio", 0, "");
  std::ifstream again(trace);
  std::string line, last;
  while (std::getline(again, line)) {
    last = line;
  }
  EXPECT_EQ(last, "stop cdaudio\t0\t");
}

TEST(DeviceLog, EscapesSoThatEveryEntryIsOneLine) {
  EXPECT_EQ(DeviceLog::FormatLine({"a\\b\nc\rd", 7, "x\ty"}), "a\\\\b\\nc\\rd\t7\tx\\ty");
}

TEST(DeviceLog, KeepsTheLatestEntriesInMemory) {
  DeviceLog log;
  for (size_t i = 0; i <= DeviceLog::kKeptEntries; ++i) {
    log.Record(std::to_string(i), 0, "");
  }
  EXPECT_EQ(log.Entries().size(), DeviceLog::kKeptEntries);
  EXPECT_EQ(log.Dropped(), 1u);
  EXPECT_EQ(log.Entries().front().command, "1");
  std::string error;
  EXPECT_FALSE(log.AppendTo("/nonexistent-dir/trace", &error));
  EXPECT_NE(error.find("/nonexistent-dir/trace"), std::string::npos);
}

TEST(MciSendString, TalksToTheInstalledDevice) {
  TempDir dir;
  ManualClock clock;
  ScopedClock scoped(clock);
  cdaudio::VirtualDrive hand(dir.path());
  ASSERT_TRUE(hand.Insert(ThreeTrackDisc()).ok());
  auto previous = InstallCommandDevice(
      std::make_unique<CommandDevice>(std::make_unique<VirtualDrive>(dir.path())));
  char reply[100];
  EXPECT_EQ(mciSendStringA("open cdaudio shareable", reply, sizeof reply, nullptr), 0u);
  EXPECT_STREQ(reply, "1");
  EXPECT_EQ(mciSendStringA("status cdaudio mode", reply, sizeof reply, nullptr), 0u);
  EXPECT_STREQ(reply, "not ready");
  ASSERT_EQ(InstalledCommandDevice().Log().Entries().size(), 2u);
  InstallCommandDevice(std::move(previous));
}

}  // namespace
}  // namespace vantora::platform
