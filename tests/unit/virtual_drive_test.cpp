// SPDX-License-Identifier: GPL-3.0-or-later
// The one clock, the virtual drive's state file and the drive as several processes share it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::cdaudio {
namespace {

using testing::TempDir;
using testing::ThreeTrackDisc;

TEST(Clock, ManualClockMovesOnlyForwardAndOnlyWhenTold) {
  ManualClock clock(ClockTime{100});
  EXPECT_EQ(clock.Now(), ClockTime{100});
  clock.Advance(ClockTime{-50});
  EXPECT_EQ(clock.Now(), ClockTime{100});
  clock.Advance(ClockTime{74 * 60 * 1000});
  EXPECT_EQ(clock.Now(), ClockTime{100 + 74 * 60 * 1000});
}

TEST(Clock, AScopedClockIsInstalledForItsScope) {
  const Clock& system = CurrentClock();
  EXPECT_EQ(system.Domain().substr(0, 10), "monotonic:");
  EXPECT_LE(system.Now(), system.Now());
  {
    ManualClock manual;
    ScopedClock scoped(manual);
    EXPECT_EQ(&CurrentClock(), &manual);
    ManualClock inner;
    {
      ScopedClock nested(inner);
      EXPECT_EQ(&CurrentClock(), &inner);
    }
    EXPECT_EQ(&CurrentClock(), &manual);
  }
  EXPECT_EQ(&CurrentClock(), &system);
}

DriveState PlayingState() {
  DriveState state;
  state.plugged = true;
  state.tray = Tray::Closed;
  state.disc = ThreeTrackDisc();
  state.head = Head::Playing;
  state.position = Frames{150};
  state.playEnd = Frames{13650};
  state.moment = ClockTime{-42};
  state.readyAt = ClockTime{1'000'000'000'000};
  state.clockDomain = "monotonic:abc-def";
  return state;
}

TEST(DriveState, ReadsBackWhatItWrites) {
  DriveState state = PlayingState();
  const StateReading reading = ParseDriveState(FormatDriveState(state));
  ASSERT_TRUE(reading.state) << reading.error;
  EXPECT_EQ(FormatDriveState(*reading.state), FormatDriveState(state));
  EXPECT_EQ(reading.state->disc, state.disc);

  DriveState empty;
  empty.plugged = false;
  empty.tray = Tray::Open;
  empty.clockDomain = "manual";
  const StateReading again = ParseDriveState(FormatDriveState(empty));
  ASSERT_TRUE(again.state) << again.error;
  EXPECT_FALSE(again.state->plugged);
  EXPECT_EQ(again.state->tray, Tray::Open);
  EXPECT_FALSE(again.state->disc);
}

TEST(DriveState, ReadsBackTheHandsSettings) {
  DriveState state = PlayingState();
  state.canEject = false;
  state.disc->toc.SetKind(TrackNumber{1}, TrackKind::Data);
  state.disc->toc.SetKind(TrackNumber{3}, TrackKind::Data);
  state.failures = {{"status cdaudio mode", 262}, {"play cdaudio from \"1\"", 4294967295u}};
  StateReading reading = ParseDriveState(FormatDriveState(state));
  ASSERT_TRUE(reading.state) << reading.error;
  EXPECT_FALSE(reading.state->canEject);
  EXPECT_EQ(reading.state->disc, state.disc);
  EXPECT_EQ(reading.state->failures, state.failures);

  DriveState blank;
  blank.clockDomain = "manual";
  blank.disc = Disc{"Blank", Toc()};
  reading = ParseDriveState(FormatDriveState(blank));
  ASSERT_TRUE(reading.state) << reading.error;
  EXPECT_EQ(reading.state->disc, blank.disc);
}

struct DamagedState {
  const char* name;
  std::string text;
  const char* error;
};

class DamagedStateTest : public ::testing::TestWithParam<DamagedState> {};

TEST_P(DamagedStateTest, IsRefusedWithAReason) {
  const StateReading reading = ParseDriveState(GetParam().text);
  EXPECT_FALSE(reading.state);
  EXPECT_NE(reading.error.find(GetParam().error), std::string::npos) << reading.error;
}

const std::string kGood = FormatDriveState(PlayingState());

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DamagedStateTest,
    ::testing::Values(
        DamagedState{"Empty", "", "empty"},
        DamagedState{"Foreign", "[CD Player Settings]\n", "line 1: not a drive state"},
        DamagedState{"Truncated", kGood.substr(0, kGood.find("head")), "incomplete"},
        DamagedState{"BadWord", Replaced(kGood, "plugged yes", "plugged maybe"),
                     "line 2: bad or repeated \"plugged\""},
        DamagedState{"Repeated", kGood + "tray open\n", "line 10: bad or repeated \"tray\""},
        DamagedState{"BadNumber", Replaced(kGood, "moment -42", "moment 12x"),
                     "line 5: bad or repeated \"moment\""},
        DamagedState{"HugeNumber", Replaced(kGood, "moment -42", "moment 99999999999999999999"),
                     "line 5"},
        DamagedState{"UnknownKey", kGood + "colour blue\n", "line 10: unknown key \"colour\""},
        DamagedState{"HeadPastTheDisc",
                     Replaced(kGood, "head playing 150 13650", "head playing 150 18931"),
                     "outside the disc"},
        DamagedState{"PlayEndingBeforeItStarts",
                     Replaced(kGood, "head playing 150 13650", "head playing 400 300"),
                     "outside the disc"},
        DamagedState{"HeadWithoutDisc",
                     Replaced(Replaced(kGood, "title Three Tracks\n", ""),
                              "disc 18930 150 13650 14400\n", ""),
                     "outside the disc"},
        DamagedState{"TitleWithoutDisc", Replaced(kGood, "disc 18930 150 13650 14400\n", ""),
                     "line 8: a title without a disc"},
        DamagedState{"TracksOutOfOrder", Replaced(kGood, "150 13650 14400", "150 14400 13650"),
                     "line 9: track 3 does not start after track 2"},
        DamagedState{"NegativeStart", Replaced(kGood, "150 13650 14400", "-150 13650 14400"),
                     "line 9: bad track start"},
        DamagedState{"ControlCharacter", Replaced(kGood, "Three", std::string("Th\0ee", 5)),
                     "line 8: holds a control character"},
        DamagedState{"DataTrackOffTheDisc", kGood + "data 1 4\n",
                     "line 10: a data track the disc does not have"},
        DamagedState{"FailWithoutCommand", kGood + "fail 262\n", "line 10: bad \"fail\""},
        DamagedState{"FailWithErrorZero", kGood + "fail 0 stop cdaudio\n", "line 10: bad \"fail\""},
        DamagedState{"ArtistWithoutDisc",
                     Replaced(Replaced(kGood, "title Three Tracks\n", "artist Someone\n"),
                              "disc 18930 150 13650 14400\n", ""),
                     "line 8: an artist without a disc"},
        DamagedState{"TrackTitleOffTheDisc", kGood + "track-title 4 Four\n",
                     "line 10: a track title for a track the disc does not have"}),
    [](const ::testing::TestParamInfo<DamagedState>& row) { return std::string(row.param.name); });

TEST(DriveState, AHundredTracksIsDamaged) {
  std::string text = Replaced(kGood, "disc 18930 150 13650 14400", "disc 18930");
  for (int i = 0; i < 100; ++i) {
    text.insert(text.size() - 1, " " + std::to_string(i));
  }
  const StateReading reading = ParseDriveState(text);
  EXPECT_FALSE(reading.state);
  EXPECT_NE(reading.error.find("at most 99 tracks"), std::string::npos) << reading.error;
}

TEST(DriveView, WorksOutThePlayHeadFromTheRecordedMoment) {
  const DriveState state = PlayingState();
  const std::string domain = state.clockDomain;
  // 13500 frames of play take 180 seconds.
  DriveView view = Observe(state, ClockTime{-42 + 179'999}, domain);
  EXPECT_TRUE(view.spinningUp);
  EXPECT_EQ(view.head, Head::Playing);
  EXPECT_EQ(view.position, Frames{150 + 13499});
  view = Observe(state, ClockTime{-42 + 180'000}, domain);
  EXPECT_EQ(view.head, Head::Stopped);
  EXPECT_EQ(view.position, Frames{13650});
  // Read before the recorded moment (it cannot happen on one clock): the head has not moved.
  EXPECT_EQ(Observe(state, ClockTime{-1000}, domain).position, Frames{150});
  // Years later, no overflow: the play is long over.
  view = Observe(state, ClockTime{INT64_MAX / 2}, domain);
  EXPECT_EQ(view.head, Head::Stopped);
  EXPECT_EQ(view.position, Frames{13650});
  EXPECT_FALSE(view.spinningUp);
  // A state file may hold any moment at all.
  DriveState odd = state;
  odd.moment = ClockTime{INT64_MIN};
  EXPECT_EQ(Observe(odd, ClockTime{INT64_MAX}, domain).position, Frames{13650});
  odd.moment = ClockTime{INT64_MAX};
  EXPECT_EQ(Observe(odd, ClockTime{INT64_MIN}, domain).position, Frames{150});
}

TEST(DriveView, AMomentFromAnotherClockCountsAsSettled) {
  const DriveState state = PlayingState();
  const DriveView view = Observe(state, ClockTime{0}, "monotonic:another-boot");
  EXPECT_EQ(view.head, Head::Stopped);
  EXPECT_EQ(view.position, Frames{150});
  EXPECT_FALSE(view.spinningUp);
  EXPECT_TRUE(view.Ready());
}

class VirtualDriveTest : public ::testing::Test {
 protected:
  void Advance(int64_t ms) { clock_.Advance(ClockTime{ms}); }
  DriveMode ModeNow() {
    const auto mode = drive_.Mode();
    EXPECT_TRUE(mode.ok()) << mode.detail;
    return mode.value;
  }

  TempDir dir_;
  ManualClock clock_{ClockTime{777}};
  ScopedClock scoped_{clock_};
  VirtualDrive drive_{dir_.path() / "drive"};
};

// A sheet's names as the drive gives them after the disc went in: through the state file, and on
// to the device.
struct SheetNames {
  const char* name;
  std::string sheet;  // the lines before the first FILE; each track's follow "TRACK n AUDIO"
  std::vector<std::string> trackLines;
  DiscNames names;
};

class SheetNamesTest : public VirtualDriveTest, public ::testing::WithParamInterface<SheetNames> {};

TEST_P(SheetNamesTest, ReachTheDeviceThroughTheStateFile) {
  EXPECT_EQ(CommandDevice(std::make_unique<VirtualDrive>(dir_.path() / "drive")).DiscNames(),
            DiscNames{});
  std::string sheet = GetParam().sheet + "REM LENGTH 00:09:00\nFILE \"a.wav\" WAVE\n";
  for (size_t t = 0; t < GetParam().trackLines.size(); ++t) {
    sheet += "TRACK 0" + std::to_string(t + 1) + " AUDIO\n" + GetParam().trackLines[t] +
             "INDEX 01 00:0" + std::to_string(3 * t) + ":00\n";
  }
  const DiscReading reading = ParseCueSheet(sheet);
  ASSERT_TRUE(reading.disc) << reading.error;
  ASSERT_TRUE(drive_.Insert(*reading.disc).ok());
  EXPECT_EQ(drive_.Names().error, DriveError::NotReady);  // spinning up
  Advance(kSpinUpTime.count());
  EXPECT_EQ(CommandDevice(std::make_unique<VirtualDrive>(dir_.path() / "drive")).DiscNames(),
            GetParam().names);
  ASSERT_TRUE(drive_.MoveTray(Tray::Open).ok());
  EXPECT_EQ(drive_.Names().value, DiscNames{});
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, SheetNamesTest,
    ::testing::Values(SheetNames{"Utf8",
                                 "PERFORMER \"Ren\xC3\xA9"
                                 "e Fleur\"\nTITLE \"\xC3\x89t\xC3\xA9\"\n",
                                 {"TITLE \"Pr\xC3\xA9lude\"\n", "", "TITLE Unquoted words\n"},
                                 {"\xC3\x89t\xC3\xA9",
                                  "Ren\xC3\xA9"
                                  "e Fleur",
                                  {"Pr\xC3\xA9lude", "", "Unquoted words"}}},
                      SheetNames{"OneTrackPerformerIsTheArtist",
                                 "",
                                 {"PERFORMER \"Band\"\n", "PERFORMER Band\n", ""},
                                 {"", "Band", {"", "", ""}}},
                      SheetNames{"LongNamesAreCutBetweenCharacters",
                                 "PERFORMER \"" + std::string(254, 'x') + "\xC3\xA9\"\n",
                                 {"TITLE \"  \"\n", "", ""},
                                 {"", std::string(254, 'x'), {"", "", ""}}}),
    [](const ::testing::TestParamInfo<SheetNames>& row) { return std::string(row.param.name); });

TEST_F(VirtualDriveTest, AFreshDirectoryIsAnEmptyConnectedDrive) {
  EXPECT_TRUE(drive_.Connected().ok());
  EXPECT_EQ(ModeNow(), DriveMode::NotReady);
  EXPECT_FALSE(drive_.MediaPresent().value);
  EXPECT_EQ(drive_.ReadToc().error, DriveError::NotReady);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "drive"));  // reading creates nothing
}

// The state file is read again only when it changed: a change by another drive object (another
// process) is seen at the next look, however long the file had stayed the same before.
TEST_F(VirtualDriveTest, AChangeMadeElsewhereIsSeenAtTheNextLook) {
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());
  Advance(kSpinUpTime.count());
  const std::filesystem::path state = dir_.path() / "drive" / "state";
  const auto age = [&state] {
    std::filesystem::last_write_time(
        state, std::filesystem::last_write_time(state) - std::chrono::hours(1));
  };
  age();
  EXPECT_EQ(ModeNow(), DriveMode::Stopped);
  EXPECT_EQ(ModeNow(), DriveMode::Stopped);
  VirtualDrive other(dir_.path() / "drive");
  ASSERT_TRUE(other.MoveTray(Tray::Open).ok());
  age();
  EXPECT_EQ(ModeNow(), DriveMode::Open);
}

TEST_F(VirtualDriveTest, InsertSpinsUpAndRemoveKeepsTheTray) {
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());
  EXPECT_EQ(ModeNow(), DriveMode::NotReady);
  EXPECT_TRUE(drive_.MediaPresent().value);
  Advance(kSpinUpTime.count());
  EXPECT_EQ(ModeNow(), DriveMode::Stopped);
  EXPECT_EQ(drive_.ReadToc().value, ThreeTrackDisc().toc);

  ASSERT_TRUE(drive_.Remove().ok());
  EXPECT_EQ(ModeNow(), DriveMode::NotReady);
  ASSERT_TRUE(drive_.MoveTray(Tray::Open).ok());
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());  // the hand closes the tray too
  ASSERT_TRUE(drive_.MoveTray(Tray::Open).ok());
  ASSERT_TRUE(drive_.Remove().ok());
  EXPECT_EQ(ModeNow(), DriveMode::Open);
}

TEST_F(VirtualDriveTest, OpeningTheTrayEndsPlayAndClosingStartsOver) {
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());
  Advance(kSpinUpTime.count());
  ASSERT_TRUE(drive_.Play(Frames{150}, Frames{18930}).ok());
  Advance(60'000);
  ASSERT_TRUE(drive_.MoveTray(Tray::Open).ok());
  EXPECT_EQ(ModeNow(), DriveMode::Open);
  ASSERT_TRUE(drive_.MoveTray(Tray::Closed).ok());
  Advance(kSpinUpTime.count());
  EXPECT_EQ(ModeNow(), DriveMode::Stopped);
  EXPECT_EQ(drive_.Position().value, Frames{150});
}

TEST_F(VirtualDriveTest, PlaysAWholeDiscOnTheManualClock) {
  ASSERT_TRUE(drive_.Insert(DemoDisc()).ok());
  Advance(kSpinUpTime.count());
  const Toc toc = DemoDisc().toc;
  ASSERT_TRUE(drive_.Play(toc.Start(TrackNumber{1}), toc.LeadOut()).ok());
  const int64_t frames = (toc.LeadOut() - toc.Start(TrackNumber{1})).count;
  // Minutes of play in steps of a poll; the head is exact at every step.
  for (int64_t ms = 750; ms * 75 / 1000 < frames; ms += 750) {
    Advance(750);
    ASSERT_EQ(drive_.Position().value.count, 150 + ms * 75 / 1000) << ms;
    ASSERT_EQ(ModeNow(), DriveMode::Playing) << ms;
  }
  Advance(750);
  EXPECT_EQ(ModeNow(), DriveMode::Stopped);
  EXPECT_EQ(drive_.Position().value, toc.LeadOut());
}

TEST_F(VirtualDriveTest, PauseHoldsTheHeadAndUnplugStopsIt) {
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());
  Advance(kSpinUpTime.count());
  ASSERT_TRUE(drive_.Play(Frames{150}, Frames{13650}).ok());
  Advance(1000);
  ASSERT_TRUE(drive_.Pause().ok());
  EXPECT_EQ(ModeNow(), DriveMode::Paused);
  Advance(1000);
  EXPECT_EQ(drive_.Position().value, Frames{225});
  ASSERT_TRUE(drive_.Play(Frames{225}, Frames{13650}).ok());
  Advance(1000);
  ASSERT_TRUE(drive_.SetPlugged(false).ok());
  EXPECT_EQ(drive_.Connected().error, DriveError::Unplugged);
  EXPECT_EQ(drive_.Play(Frames{150}, Frames{200}).error, DriveError::Unplugged);
  EXPECT_EQ(drive_.SetTray(Tray::Open).error, DriveError::Unplugged);
  // Plugged in again, the drive reads the disc afresh, like any drive that gets power.
  ASSERT_TRUE(drive_.SetPlugged(true).ok());
  EXPECT_EQ(ModeNow(), DriveMode::NotReady);
  Advance(kSpinUpTime.count());
  EXPECT_EQ(ModeNow(), DriveMode::Stopped);
  EXPECT_EQ(drive_.Position().value, Frames{150});
  EXPECT_EQ(drive_.Play(Frames{149}, Frames{200}).error, DriveError::OutOfRange);
  EXPECT_EQ(drive_.Seek(Frames{18931}).error, DriveError::OutOfRange);
}

TEST_F(VirtualDriveTest, ADamagedStateIsReportedAndResetKeepsItAside) {
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());
  const auto stateFile = dir_.path() / "drive" / "state";
  std::ofstream(stateFile) << "vantora-drive 1\nhead flying\n";
  EXPECT_EQ(drive_.Connected().error, DriveError::Damaged);
  EXPECT_NE(drive_.Connected().detail.find("line 2"), std::string::npos);
  const DriveStatus refused = drive_.Insert(ThreeTrackDisc());
  EXPECT_EQ(refused.error, DriveError::Damaged);
  EXPECT_EQ(EnsureDefaultDrive(dir_.path() / "drive").error, DriveError::Damaged);

  ASSERT_TRUE(drive_.Reset().ok());
  EXPECT_EQ(ModeNow(), DriveMode::NotReady);
  std::ifstream kept(dir_.path() / "drive" / "state.damaged");
  std::stringstream text;
  text << kept.rdbuf();
  EXPECT_EQ(text.str(), "vantora-drive 1\nhead flying\n");
}

TEST_F(VirtualDriveTest, TheDefaultDriveHoldsTheDemoDiscOnlyTheFirstTime) {
  const auto directory = dir_.path() / "data" / "vantora" / "drive";
  ASSERT_TRUE(EnsureDefaultDrive(directory).ok());
  VirtualDrive fresh(directory);
  EXPECT_EQ(fresh.Mode().value, DriveMode::Stopped);  // ready at once, no spin-up
  EXPECT_EQ(fresh.ReadToc().value, AudibleDemoDisc().toc);
  ASSERT_TRUE(fresh.Remove().ok());
  ASSERT_TRUE(EnsureDefaultDrive(directory).ok());
  EXPECT_FALSE(fresh.MediaPresent().value);  // the user's choice stays
}

TEST_F(VirtualDriveTest, APlaceThatIsNotADirectoryIsNoDrive) {
  std::ofstream(dir_.path() / "file") << "x";
  std::filesystem::create_directory(dir_.path() / "empty");
  std::filesystem::create_directory(dir_.path() / "slash");
  struct Case {
    const char* name;
    std::filesystem::path place;
    std::function<DriveStatus(const std::filesystem::path&)> ensure;
    const char* why;  // "" for a drive that works
  };
  const Case kCases[] = {
      {"DefaultOnAFile", dir_.path() / "file", EnsureDefaultDrive, "is not a directory"},
      {"NamedFile", dir_.path() / "file", EnsureNamedDrive, "is not a directory"},
      {"NamedInAMissingFolder", dir_.path() / "missing" / "drive", EnsureNamedDrive,
       "no such directory"},
      {"NamedMissing", dir_.path() / "new", EnsureNamedDrive, "no such directory"},
      {"NamedEmptyFolder", dir_.path() / "empty", EnsureNamedDrive, ""},
      {"NamedWithASlash", dir_.path() / "slash/", EnsureNamedDrive, ""},
  };
  for (const Case& c : kCases) {
    const DriveStatus status = c.ensure(c.place);
    VirtualDrive drive(c.place, MissingDrive::Absent);
    if (*c.why == '\0') {
      EXPECT_TRUE(status.ok()) << c.name << ": " << status.detail;
      EXPECT_EQ(drive.ReadToc().value, AudibleDemoDisc().toc) << c.name;
      continue;
    }
    EXPECT_EQ(status.error, DriveError::Unplugged) << c.name;
    EXPECT_NE(status.detail.find(c.why), std::string::npos) << c.name << ": " << status.detail;
    EXPECT_EQ(drive.Connected().error, DriveError::Unplugged) << c.name;
    EXPECT_EQ(drive.Insert(DemoDisc()).error, DriveError::Unplugged) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "missing"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "new"));
}

// Sets an environment variable for a scope; unset when `value` is null.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DefaultDriveDirectory, FollowsTheEnvironment) {
  ScopedEnv drive("VANTORA_DRIVE", "/somewhere/drive");
  ScopedEnv data("XDG_DATA_HOME", "/data");
  ScopedEnv home("HOME", "/home/me");
  EXPECT_EQ(DefaultDriveDirectory(), "/somewhere/drive");
  {
    ScopedEnv empty("VANTORA_DRIVE", "");
    EXPECT_EQ(DefaultDriveDirectory(), "/data/vantora/drive");
    ScopedEnv noData("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(DefaultDriveDirectory(), "/home/me/.local/share/vantora/drive");
  }
}

// Runs `work` in a child process and returns its exit status.
template <typename Work>
pid_t Spawn(Work work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(work());
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(VirtualDriveTest, ProcessesChangingTheDriveAtOnceNeverDamageIt) {
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());
  Advance(kSpinUpTime.count());
  const auto directory = dir_.path() / "drive";
  constexpr int kRounds = 150;
  // Two players and a hand, each changing the drive over and over, while this process reads.
  const pid_t player1 = Spawn([&] {
    VirtualDrive drive(directory);
    for (int i = 0; i < kRounds; ++i) {
      const DriveStatus status = drive.Play(Frames{150}, Frames{18930});
      if (status.error == DriveError::Damaged || status.error == DriveError::Hardware) {
        return 1;
      }
      drive.Pause();
    }
    return 0;
  });
  const pid_t player2 = Spawn([&] {
    VirtualDrive drive(directory);
    for (int i = 0; i < kRounds; ++i) {
      const DriveStatus status = drive.Seek(Frames{14400});
      if (status.error == DriveError::Damaged || status.error == DriveError::Hardware) {
        return 1;
      }
      drive.Stop();
    }
    return 0;
  });
  const pid_t hand = Spawn([&] {
    VirtualDrive drive(directory);
    for (int i = 0; i < kRounds; ++i) {
      if (!drive.MoveTray(i % 2 == 0 ? Tray::Open : Tray::Closed).ok() ||
          !drive.Insert(i % 3 == 0 ? DemoDisc() : ThreeTrackDisc()).ok()) {
        return 1;
      }
    }
    return 0;
  });
  int damagedReads = 0;
  for (int i = 0; i < 3 * kRounds; ++i) {
    damagedReads += drive_.Store().Read().state ? 0 : 1;
  }
  EXPECT_EQ(Wait(player1), 0);
  EXPECT_EQ(Wait(player2), 0);
  EXPECT_EQ(Wait(hand), 0);
  EXPECT_EQ(damagedReads, 0);
  const StateReading last = drive_.Store().Read();
  ASSERT_TRUE(last.state) << last.error;
  EXPECT_TRUE(last.state->disc);
  // No temporary file is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "state" || name == "lock") << name;
  }
}

TEST_F(VirtualDriveTest, ReadModifyWriteLosesNoChangeBetweenProcesses) {
  ASSERT_TRUE(drive_.Insert(ThreeTrackDisc()).ok());
  const auto directory = dir_.path() / "drive";
  // The disc's title serves as a counter that every process reads, raises and writes back.
  auto count = [&directory](int times) {
    DriveStore store(directory);
    for (int i = 0; i < times; ++i) {
      const DriveStatus status = store.Update([](DriveState& state) {
        const int value = state.disc->title == "Three Tracks" ? 0 : std::stoi(state.disc->title);
        state.disc->title = std::to_string(value + 1);
        return DriveStatus::Ok({});
      });
      if (!status.ok()) {
        return 1;
      }
    }
    return 0;
  };
  constexpr int kTimes = 200;
  const pid_t first = Spawn([&] { return count(kTimes); });
  const pid_t second = Spawn([&] { return count(kTimes); });
  EXPECT_EQ(count(kTimes), 0);
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(Wait(second), 0);
  const StateReading last = drive_.Store().Read();
  ASSERT_TRUE(last.state) << last.error;
  EXPECT_EQ(last.state->disc->title, std::to_string(3 * kTimes));
}

}  // namespace
}  // namespace vantora::platform::cdaudio
