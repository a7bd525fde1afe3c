// SPDX-License-Identifier: GPL-3.0-or-later
// The player's place and settings across runs on a real X server: restarts that leave the window
// where it was, with a window manager and without; Stay On Top that keeps the window as it is;
// settings that are on the disk before the display goes away.
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <QRect>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;

constexpr auto kChangeLimit = 30s;

std::string Setting(const std::string& ini, const std::string& key) {
  std::smatch match;
  return std::regex_search(ini, match, std::regex("\n" + key + "=([^\r\n]*)")) ? match[1].str()
                                                                               : "";
}

struct Restarts {
  XSession::WindowManager manager;
  const char* place;  // "Window X=..\r\nWindow Y=..\r\n"
  const char* compact;
};

class RestartsKeepThePlace : public testing::TestWithParam<Restarts> {};

TEST_P(RestartsKeepThePlace, ClosingAndStartingAgainLeavesTheWindowWhereItWas) {
  XSession session;
  ASSERT_NO_FATAL_FAILURE(session.Start(GetParam().manager));
  const bool managed = GetParam().manager == XSession::WindowManager::kOpenbox;
  const std::string ini = std::string("[CD Player Settings]\r\nProduct=Vantora - Brennix\r\n") +
                          GetParam().place + "Control Panel=" + GetParam().compact + "\r\n";
  std::optional<QRect> first;
  for (int run = 0; run < 4; ++run) {
    ASSERT_NO_FATAL_FAILURE(session.StartPlayer(
        {.ini = run == 0 ? std::optional(ini) : std::nullopt, .drive = session.dir() / "drive"}));
    const WindowId window = session.player_window();
    // The place settles once the window manager has framed and placed the window: the same
    // frame read twice, 0.3 s apart, and on later runs the first run's.
    QRect frame;
    Poll(kChangeLimit, [&] {
      const QRect now = session.FrameGeometry(window);
      const bool framed = !managed || session.FrameExtents(window).top() > 0;
      const bool settled = framed && now == frame && (!first || now == *first);
      frame = now;
      std::this_thread::sleep_for(200ms);
      return settled ? "settled" : "";
    });
    EXPECT_GE(frame.top(), 0) << "run " << run << ": the title bar is above the screen";
    if (!first) {
      first = frame;
    }
    EXPECT_EQ(frame, *first) << "run " << run;
    if (managed) {
      session.CloseWindow(window);
      int code = -1;
      ASSERT_TRUE(session.player().WaitForExit(kChangeLimit, code)) << "run " << run;
    } else {
      EXPECT_EQ(session.StopPlayer(), 0);
    }
  }
  const std::string saved = Read(session.config_dir() / "ZQ_CD.INI");
  EXPECT_NE(saved.find(GetParam().place), std::string::npos) << saved;
}

INSTANTIATE_TEST_SUITE_P(
    Desktop, RestartsKeepThePlace,
    testing::Values(
        Restarts{XSession::WindowManager::kOpenbox, "Window X=60\r\nWindow Y=100\r\n", "0"},
        Restarts{XSession::WindowManager::kNone, "Window X=60\r\nWindow Y=100\r\n", "0"},
        // The compact form changes the window's height as it places it.
        Restarts{XSession::WindowManager::kOpenbox, "Window X=60\r\nWindow Y=100\r\n", "1"},
        // A title bar saved above the screen comes back onto it, and stays.
        Restarts{XSession::WindowManager::kOpenbox, "Window X=30\r\nWindow Y=0\r\n", "0"}));

}  // namespace

TEST(DesktopSession, StayOnTopKeepsTheWindowAndSettingsReachTheDiskBeforeTheDisplayGoes) {
  XSession session;
  ASSERT_NO_FATAL_FAILURE(session.Start(XSession::WindowManager::kOpenbox));
  ASSERT_NO_FATAL_FAILURE(session.StartPlayer(
      {.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nWindow X=40\r\nWindow "
              "Y=40\r\nStay On Top=0\r\n",
       .drive = session.dir() / "drive"}));
  const WindowId window = session.player_window();
  const auto ini = [&] { return Read(session.config_dir() / "ZQ_CD.INI"); };
  const auto await = [&](const std::function<bool()>& done) {
    return !Poll(kChangeLimit, [&] { return done() ? "yes" : ""; }).empty();
  };
  ASSERT_TRUE(await([&] { return session.ActiveWindow() == window; }));

  // Options, Stay On Top: the same X window, still active, now above the others.
  session.Xdotool("key --clearmodifiers alt+o");
  std::this_thread::sleep_for(300ms);
  session.Xdotool("key s");
  EXPECT_TRUE(await([&] {
    return session.Property(window, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE") !=
           std::string::npos;
  })) << session.Property(window, "_NET_WM_STATE");
  EXPECT_EQ(session.VisibleWindows(session.player().pid()), std::vector<WindowId>{window});
  EXPECT_EQ(session.ActiveWindow(), window);
  EXPECT_TRUE(SavePng(session.Capture(), ScreenshotPath("desktop_session_stay_on_top.png")));
  EXPECT_TRUE(await([&] { return Setting(ini(), "Stay On Top") == "1"; })) << ini();

  // A move by the user is on the disk soon after, without the window closing.
  session.Xdotool("windowmove " + std::to_string(window) + " 300 200");
  EXPECT_TRUE(await([&] { return Setting(ini(), "Window X") != "40"; })) << ini();
  const std::string saved = ini();

  // The display goes first: the player ends, and what it had saved stays.
  session.StopServer();
  int code = -1;
  EXPECT_TRUE(session.player().WaitForExit(kChangeLimit, code));
  EXPECT_EQ(Setting(ini(), "Stay On Top"), "1");
  EXPECT_EQ(ini(), saved);
}
