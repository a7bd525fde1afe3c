// SPDX-License-Identifier: GPL-3.0-or-later
// The vantora program on a real X server (Xvfb), as a person uses it: the window's title read
// from the server, its toolbar buttons clicked and its menu worked with the keyboard (xdotool),
// and the settings it saved when it closed.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;

// Generous: a loaded machine with two cores may take seconds to start a program.
constexpr auto kStartLimit = 60s;
constexpr auto kChangeLimit = 30s;

class XDisplay : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(session_.Start(XSession::WindowManager::kNone)); }

  std::string X(const std::string& arguments) const { return session_.Xdotool(arguments); }
  std::string Title() const { return X("getwindowname " + window_); }
  // Waits until the window's title matches `pattern`; returns the title then, or "" after the
  // limit.
  std::string AwaitTitle(const std::string& pattern, std::chrono::milliseconds limit) const {
    const std::regex wanted(pattern);
    return Poll(limit, [&] {
      const std::string title = Title();
      return std::regex_match(title, wanted) ? title : std::string();
    });
  }

  // Starts the player in its compact form with AutoPlay on, on the drive in the session's
  // folder, and finds its window.
  void StartCompactPlayer() {
    ASSERT_NO_FATAL_FAILURE(session_.StartPlayer(
        {.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nControl Panel=1\r\n"
                "Auto Play=1\r\n",
         .drive = session_.dir() / "drive",
         .arguments = {"--trace", (session_.dir() / "trace.log").string()}}));
    window_ = std::to_string(session_.player_window());
  }

  XSession session_;
  std::string window_;
};

TEST_F(XDisplay, CompactPlayerWithAutoPlayIsPausedOpenedAndClosedByHand) {
  const auto config = session_.config_dir();
  const auto trace = session_.dir() / "trace.log";
  ASSERT_NO_FATAL_FAILURE(StartCompactPlayer());
  // The compact form shows the status in the title, with the track's running time.
  const std::string playing = AwaitTitle("CD Playing 1  \\(00:0\\d\\)", kStartLimit);
  ASSERT_FALSE(playing.empty()) << Title();
  const std::string later = Poll(kChangeLimit, [&] {
    const std::string title = Title();
    return title.rfind("CD Playing 1  (", 0) == 0 && title > playing ? title : std::string();
  });
  EXPECT_FALSE(later.empty()) << "the time stood still at " << playing;

  session_.ClickToolbarButton(13);
  EXPECT_FALSE(AwaitTitle("CD Paused  \\(\\d\\d:\\d\\d\\)", kChangeLimit).empty()) << Title();
  session_.ClickToolbarButton(15);
  EXPECT_FALSE(AwaitTitle("CD Door Open", kChangeLimit).empty()) << Title();

  // File, Exit from the keyboard: Alt+F opens the menu, "x" is Exit's mnemonic.
  X("windowfocus --sync " + window_);
  X("key --clearmodifiers alt+f");
  Poll(kChangeLimit,
       [&] { return session_.VisibleWindows(session_.player().pid()).size() > 1 ? "menu" : ""; });
  X("key x");
  int code = -1;
  ASSERT_TRUE(session_.player().WaitForExit(kChangeLimit, code)) << "the player did not close";
  EXPECT_EQ(code, 0) << Read(session_.player_log());

  const std::string ini = Read(config / "ZQ_CD.INI");
  for (const char* saved :
       {"Control Panel=1\r\n", "Auto Play=1\r\n", "Stay On Top=0\r\n", "Display Mode=1\r\n"}) {
    EXPECT_NE(ini.find(saved), std::string::npos) << saved << ini;
  }
  const std::string log = Read(trace);
  EXPECT_NE(log.find("play cdaudio from 1\t0\t\n"), std::string::npos) << log;
  EXPECT_NE(log.find("pause cdaudio\t0\t\n"), std::string::npos) << log;
  EXPECT_NE(log.find("set cdaudio door open\t0\t\n"), std::string::npos) << log;
}

// The drive tool puts in a disc whose track 1 holds data; the player, compact and with AutoPlay,
// is worked from its toolbar and read from its caption.
TEST_F(XDisplay, APlayTheDriveRefusesAndAStopWhilePausedShowWhatTheDriveDoes) {
  ASSERT_NO_FATAL_FAILURE(session_.DriveTool(session_.dir() / "drive", {"insert", "--mixed"}));
  ASSERT_NO_FATAL_FAILURE(StartCompactPlayer());
  const auto trace = session_.dir() / "trace.log";
  // AutoPlay's play of the data track is refused: the player stands stopped.
  const auto refused = [&]() -> std::string {
    return Read(trace).find("play cdaudio from 1\t262\t") != std::string::npos ? "yes" : "";
  };
  ASSERT_FALSE(Poll(kStartLimit, refused).empty()) << Read(trace);
  ASSERT_FALSE(AwaitTitle("CD Stopped.*", kChangeLimit).empty()) << Title();

  // Play plays the first music track, which the track list shows; play again, while paused,
  // stops.
  session_.ClickToolbarButton(12);
  EXPECT_FALSE(AwaitTitle("CD Playing 2  \\(\\d\\d:\\d\\d\\)", kChangeLimit).empty()) << Title();
  session_.ClickToolbarButton(13);
  EXPECT_FALSE(AwaitTitle("CD Paused  \\(\\d\\d:\\d\\d\\)", kChangeLimit).empty()) << Title();
  EXPECT_EQ(Read(trace).find("stop cdaudio"), std::string::npos) << Read(trace);
  session_.ClickToolbarButton(12);
  EXPECT_FALSE(AwaitTitle("CD Stopped.*", kChangeLimit).empty()) << Title();
  EXPECT_NE(Read(trace).find("stop cdaudio\t0\t\n"), std::string::npos) << Read(trace);
}

}  // namespace
