// SPDX-License-Identifier: GPL-3.0-or-later
// The player under a real window manager, as the screen shows it: the manager frames the
// player's window, and the server's own picture of the screen has the frame and the window on it.
#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;

TEST(WindowManager, FramesThePlayerAndTheScreenShowsBoth) {
  XSession session;
  ASSERT_NO_FATAL_FAILURE(session.Start(XSession::WindowManager::kOpenbox));
  const QImage background = session.Capture();
  ASSERT_EQ(background.size(), QSize(1024, 768));

  ASSERT_NO_FATAL_FAILURE(
      session.StartPlayer({.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\n",
                           .drive = session.dir() / "drive"}));
  const WindowId window = session.player_window();
  const QMargins frame = session.FrameExtents(window);
  EXPECT_GT(frame.top(), 0) << session.Property(window, "_NET_FRAME_EXTENTS");
  const QRect client = session.ClientGeometry(window);
  ASSERT_FALSE(client.isEmpty());
  const QRect title(client.left(), client.top() - frame.top(), client.width(), frame.top());

  // The window is mapped before it is drawn: wait until both have reached the screen.
  QImage screen;
  Poll(XSession::kStartLimit, [&] {
    screen = session.Capture();
    return screen.copy(client) != background.copy(client) &&
                   screen.copy(title) != background.copy(title)
               ? std::string("drawn")
               : std::string();
  });
  EXPECT_TRUE(SavePng(screen, ScreenshotPath("window_manager_player.png")));
  EXPECT_NE(screen.copy(client), background.copy(client)) << "the window is not on the screen";
  EXPECT_NE(screen.copy(title), background.copy(title)) << "the frame is not on the screen";
  EXPECT_EQ(session.Focus(), window);
}

}  // namespace
