// SPDX-License-Identifier: GPL-3.0-or-later
// vantora-drive: the hand on the drive, run in a second process while a player's device is live,
// and its command line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/drive_tool.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"
#include "tests/support/sound_image.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::cdaudio {
namespace {

using testing::DiscFixture;
using testing::TempDir;

// Runs vantora-drive in a child process, as a user would from another terminal, and returns its
// exit code. The child shares the test's manual clock as it stood at the fork.
int RunInSecondProcess(std::vector<std::string> args) {
  std::cout.flush();
  std::cerr.flush();
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    static char name[] = "vantora-drive";
    argv.push_back(name);
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int code = DriveToolMain(static_cast<int>(argv.size() - 1), argv.data());
    std::cout.flush();
    std::cerr.flush();
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DriveToolTest : public ::testing::Test {
 protected:
  std::string Reply(std::string_view command) {
    std::string reply;
    EXPECT_EQ(device_.Send(command, reply), 0u) << command;
    return reply;
  }
  uint32_t Error(std::string_view command) {
    std::string reply;
    return device_.Send(command, reply);
  }
  int Tool(std::initializer_list<std::string> args) {
    std::vector<std::string> all = {"--drive", dir_.path().string()};
    all.insert(all.end(), args);
    return RunInSecondProcess(all);
  }

  TempDir dir_;
  ManualClock clock_{ClockTime{123'456}};
  ScopedClock scoped_{clock_};
  CommandDevice device_{std::make_unique<VirtualDrive>(dir_.path())};
};

TEST_F(DriveToolTest, ALivePlayerSeesTheHandOnItsNextCommand) {
  ASSERT_EQ(Tool({"insert", "--demo"}), 0);
  clock_.Advance(kSpinUpTime);
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  EXPECT_EQ(Reply("status cdaudio number of tracks"), "5");
  ASSERT_EQ(Reply("play cdaudio"), "");

  ASSERT_EQ(Tool({"open"}), 0);
  EXPECT_EQ(Reply("status cdaudio mode"), "open");
  ASSERT_EQ(Tool({"close"}), 0);
  EXPECT_EQ(Reply("status cdaudio mode"), "not ready");

  ASSERT_EQ(Tool({"insert", DiscFixture("three_tracks.disc").string()}), 0);
  EXPECT_EQ(Reply("status cdaudio mode"), "not ready");
  clock_.Advance(kSpinUpTime);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Reply("status cdaudio number of tracks"), "3");
  EXPECT_EQ(Reply("status cdaudio length"), "04:10:29");

  // A CUE sheet over a sound file: its length comes from the file, three seconds.
  vantora::testing::WriteSoundFile(dir_.path() / "two.flac", 3 * 44100,
                                   SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  vantora::testing::WriteText(dir_.path() / "two.cue",
                              "FILE \"two.flac\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                              " TRACK 02 AUDIO\n  INDEX 01 00:01:50\n");
  ASSERT_EQ(Tool({"insert", (dir_.path() / "two.cue").string()}), 0);
  clock_.Advance(kSpinUpTime);
  EXPECT_EQ(Reply("status cdaudio position track 2"), "00:03:50");
  EXPECT_EQ(Reply("status cdaudio length"), "00:02:74");

  ASSERT_EQ(Tool({"eject"}), 0);
  EXPECT_EQ(Reply("status cdaudio media present"), "false");
  EXPECT_EQ(Reply("status cdaudio mode"), "not ready");

  ASSERT_EQ(Tool({"unplug"}), 0);
  EXPECT_EQ(Error("open cdaudio alias second shareable"), kMciErrCannotLoadDriver);
  EXPECT_EQ(Reply("status cdaudio mode"), "not ready");
  ASSERT_EQ(Tool({"plug"}), 0);
  EXPECT_EQ(Reply("open cdaudio alias second shareable"), "2");
}

TEST_F(DriveToolTest, FailuresTraysAndDiscKindsOfTheHandReachALivePlayer) {
  ASSERT_EQ(Tool({"insert", "--demo"}), 0);
  clock_.Advance(kSpinUpTime);
  ASSERT_EQ(Reply("open cdaudio shareable"), "1");
  ASSERT_EQ(Tool({"fail", "status cdaudio mode", "262"}), 0);
  ASSERT_EQ(Tool({"fail", "play", "cdaudio", "from", "2", "276"}), 0);
  EXPECT_EQ(Error("Status CDAudio Mode"), 262u);
  EXPECT_EQ(Error("play cdaudio from 2"), 276u);
  EXPECT_EQ(Reply("status cdaudio ready"), "true");
  ASSERT_EQ(Tool({"fail", "status cdaudio mode", "277"}), 0);  // replaces the 262
  EXPECT_EQ(Error("status cdaudio mode"), 277u);
  ASSERT_EQ(Tool({"fail", "--clear", "STATUS cdaudio  mode"}), 0);
  EXPECT_EQ(Reply("status cdaudio mode"), "stopped");
  EXPECT_EQ(Error("play cdaudio from 2"), 276u);
  ASSERT_EQ(Tool({"fail", "--clear"}), 0);
  EXPECT_EQ(Reply("play cdaudio from 2"), "");

  ASSERT_EQ(Tool({"can-eject", "no"}), 0);
  EXPECT_EQ(Reply("capability cdaudio can eject"), "false");
  ASSERT_EQ(Tool({"can-eject", "yes"}), 0);
  EXPECT_EQ(Reply("capability cdaudio can eject"), "true");

  ASSERT_EQ(Tool({"insert", "--blank"}), 0);
  clock_.Advance(kSpinUpTime);
  EXPECT_EQ(Reply("status cdaudio media present"), "true");
  EXPECT_EQ(Error("status cdaudio number of tracks"), kMciErrHardware);
  ASSERT_EQ(Tool({"insert", "--mixed"}), 0);
  clock_.Advance(kSpinUpTime);
  EXPECT_EQ(Reply("status cdaudio type track 1"), "other");
  ASSERT_EQ(Tool({"insert", DiscFixture("enhanced.disc").string()}), 0);
  clock_.Advance(kSpinUpTime);
  EXPECT_EQ(Reply("status cdaudio type track 3"), "other");

  ASSERT_EQ(Tool({"fail", "seek cdaudio to start", "262"}), 0);
  ASSERT_EQ(Tool({"can-eject", "no"}), 0);
  std::ostringstream out, err;
  ASSERT_EQ(RunDriveTool({"--drive", dir_.path().string(), "status"}, out, err), 0);
  EXPECT_NE(out.str().find("tray: closed (commands cannot move it)"), std::string::npos);
  EXPECT_NE(out.str().find("fails: \"seek cdaudio to start\" with 262"), std::string::npos);
  EXPECT_NE(out.str().find("3 tracks (data: 3)"), std::string::npos) << out.str();
}

TEST(DriveToolDrive, RefusesAPlaceThatHoldsNoDrive) {
  TempDir dir;
  std::ofstream(dir.path() / "file") << "x";
  for (const char* place : {"file", "missing"}) {
    for (const std::vector<std::string>& verb :
         {std::vector<std::string>{"status"}, {"insert", "--demo"}, {"reset"}}) {
      std::vector<std::string> args = {"--drive", (dir.path() / place).string()};
      args.insert(args.end(), verb.begin(), verb.end());
      std::ostringstream out, err;
      EXPECT_EQ(RunDriveTool(args, out, err), 1) << place << " " << verb[0];
      EXPECT_NE(err.str().find("no drive there"), std::string::npos) << err.str();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
  // The default place is another matter: it is made on first use.
  const char* old = std::getenv("VANTORA_DRIVE");
  const std::string saved = old ? old : "";
  ::setenv("VANTORA_DRIVE", (dir.path() / "default").c_str(), 1);
  std::ostringstream out, err;
  EXPECT_EQ(RunDriveTool({"insert", "--demo"}, out, err), 0) << err.str();
  old ? ::setenv("VANTORA_DRIVE", saved.c_str(), 1) : ::unsetenv("VANTORA_DRIVE");
}

TEST_F(DriveToolTest, ABadDiscFileLeavesTheDriveAsItWas) {
  ASSERT_EQ(Tool({"insert", "--demo"}), 0);
  ASSERT_EQ(Tool({"insert", DiscFixture("bad_msf.disc").string()}), 1);
  clock_.Advance(kSpinUpTime);
  EXPECT_EQ(Reply("status cdaudio number of tracks"), "5");
}

struct ToolRun {
  const char* name;
  std::vector<std::string> args;
  int code;
  const char* err;  // what standard error must say ("" for nothing)
};

class DriveToolCommandLineTest : public ::testing::TestWithParam<ToolRun> {};

TEST_P(DriveToolCommandLineTest, NamesTheBadArgument) {
  TempDir dir;
  std::vector<std::string> args = {"--drive", dir.path().string()};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  std::ostringstream out, err;
  EXPECT_EQ(RunDriveTool(args, out, err), GetParam().code);
  if (*GetParam().err == '\0') {
    EXPECT_EQ(err.str(), "");
  } else {
    EXPECT_NE(err.str().find(GetParam().err), std::string::npos) << err.str();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DriveToolCommandLineTest,
    ::testing::Values(
        ToolRun{"NoCommand", {}, 2, "no command given"},
        ToolRun{"UnknownCommand", {"spin"}, 2, "unknown command 'spin'"},
        ToolRun{"UnknownOption", {"--fast", "status"}, 2, "unknown option '--fast'"},
        ToolRun{"DriveWithoutDirectory", {"status", "--drive"}, 2, "--drive needs a directory"},
        ToolRun{"InsertWithoutDisc", {"insert"}, 2, "insert needs a disc description"},
        ToolRun{"ExtraArgument", {"open", "wide"}, 2, "unexpected argument 'wide'"},
        ToolRun{"DemoWithoutInsert", {"--demo"}, 2, "unknown command '--demo'"},
        ToolRun{"MissingDiscFile", {"insert", "no-such.disc"}, 1, "no-such.disc: no such file"},
        ToolRun{"BadDiscFile",
                {"insert", DiscFixture("bad_order.disc").string()},
                1,
                "line 3: expected track 1"},
        ToolRun{"FailWithoutError", {"fail", "stop cdaudio"}, 2, "fail needs a command string"},
        ToolRun{"FailWithErrorZero", {"fail", "stop cdaudio", "0"}, 2, "'0' is not a number"},
        ToolRun{"FailUnknownVerb", {"fail", "spin cdaudio", "262"}, 2, "unknown verb"},
        ToolRun{"FailUnknownKeyword", {"fail", "status cdaudio colour", "262"}, 2, "error 259"},
        ToolRun{"CanEjectMaybe", {"can-eject", "maybe"}, 2, "can-eject needs yes or no"},
        ToolRun{"Status", {"status"}, 0, ""}, ToolRun{"Help", {"status", "--help"}, 0, ""}),
    [](const ::testing::TestParamInfo<ToolRun>& row) { return std::string(row.param.name); });

TEST(DriveToolStatus, DescribesTheDriveForPeople) {
  TempDir dir;
  ManualClock clock;
  ScopedClock scoped(clock);
  const std::vector<std::string> drive = {"--drive=" + dir.path().string()};
  auto run = [&drive](std::vector<std::string> args, std::string& text) {
    args.insert(args.begin(), drive.begin(), drive.end());
    std::ostringstream out, err;
    const int code = RunDriveTool(args, out, err);
    text = out.str() + err.str();
    return code;
  };
  std::string text;
  ASSERT_EQ(run({"insert", DiscFixture("three_tracks.disc").string()}, text), 0);
  ASSERT_EQ(run({"status"}, text), 0);
  EXPECT_NE(text.find("disc: Three Tracks, 3 tracks, ends at 04:12:30"), std::string::npos) << text;
  EXPECT_NE(text.find("head: spinning up"), std::string::npos) << text;

  clock.Advance(kSpinUpTime);
  VirtualDrive(dir.path()).Play(Frames{13650}, Frames{14400});
  clock.Advance(ClockTime{2000});
  ASSERT_EQ(run({"status"}, text), 0);
  EXPECT_NE(text.find("head: playing, track 2 at 00:02:00 (03:04:00) until 03:12:00"),
            std::string::npos)
      << text;

  std::ofstream(dir.path() / "state") << "garbage";
  EXPECT_EQ(run({"status"}, text), 1);
  EXPECT_NE(text.find("damaged"), std::string::npos) << text;
  EXPECT_EQ(run({"open"}, text), 1);
  EXPECT_EQ(run({"reset"}, text), 0);
  ASSERT_EQ(run({"status"}, text), 0);
  EXPECT_NE(text.find("disc: none"), std::string::npos) << text;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "state.damaged"));
}

TEST(DriveToolStatus, FindsTheDriveThroughTheEnvironment) {
  TempDir dir;
  const char* old = std::getenv("VANTORA_DRIVE");
  const std::string saved = old ? old : "";
  ::setenv("VANTORA_DRIVE", dir.path().c_str(), 1);
  std::ostringstream out, err;
  EXPECT_EQ(RunDriveTool({"unplug"}, out, err), 0);
  old ? ::setenv("VANTORA_DRIVE", saved.c_str(), 1) : ::unsetenv("VANTORA_DRIVE");
  EXPECT_EQ(VirtualDrive(dir.path()).Connected().error, DriveError::Unplugged);
}

// The installed program itself, when the build has made it beside this test.
TEST(DriveToolProgram, RunsAsItsOwnProgram) {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const auto program = self.parent_path().parent_path() / "tools" / "drive" / "vantora-drive";
  if (ec || !std::filesystem::exists(program)) {
    GTEST_SKIP() << "vantora-drive is not built";
  }
  TempDir dir;
  const std::string command = "'" + program.string() + "' --drive '" + dir.path().string() +
                              "' insert --demo && '" + program.string() + "' --drive '" +
                              dir.path().string() + "' status";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    text += buffer;
  }
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_NE(text.find("disc: Vantora Demo Disc, 5 tracks"), std::string::npos) << text;
}

}  // namespace
}  // namespace vantora::platform::cdaudio
