// SPDX-License-Identifier: GPL-3.0-or-later
// The player's modal windows under a window manager, as the X server shows them: the editor, the
// playlist title dialog and About belong to the window that opened them, sit centred over it and
// stay above it, and that window takes no input while they are open.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;

TEST(ModalWindows, StayCentredAboveTheirOwnerWhichTakesNoInputMeanwhile) {
  XSession x;
  ASSERT_NO_FATAL_FAILURE(x.Start(XSession::WindowManager::kOpenbox));
  ASSERT_NO_FATAL_FAILURE(x.DriveTool(x.dir() / "drive", {"insert", "--demo"}));
  // Compact, where ClickToolbarButton finds the toolbar.
  ASSERT_NO_FATAL_FAILURE(x.StartPlayer(
      {.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nControl Panel=1\r\n",
       .drive = x.dir() / "drive",
       .arguments = {"--trace", (x.dir() / "trace.log").string()}}));
  const auto trace = [&] { return Read(x.dir() / "trace.log"); };
  ASSERT_FALSE(Poll(XSession::kStartLimit, [&] {
                 return trace().find("status cdaudio position\t") != std::string::npos ? "y" : "";
               }).empty());
  const auto id = [](WindowId w) { return std::to_string(w); };
  const auto stacking = [&] {
    return Numbers(x.Property(kRootWindow, "_NET_CLIENT_LIST_STACKING"));
  };
  const auto above = [&](WindowId upper, WindowId lower) {
    const auto stack = stacking();
    const auto u = std::find(stack.begin(), stack.end(), upper);
    const auto l = std::find(stack.begin(), stack.end(), lower);
    return u != stack.end() && l != stack.end() && u > l;
  };
  // Types `keys` (xdotool commands) into `owner` and returns the window the manager then manages
  // beside the others.
  const auto open = [&](WindowId owner, const std::string& keys) -> WindowId {
    const auto known = stacking();
    x.Xdotool("windowactivate --sync " + id(owner) + " " + keys);
    const std::string found = Poll(30s, [&] {
      for (const auto w : stacking())
        if (std::find(known.begin(), known.end(), w) == known.end())
          return id(w);
      return std::string();
    });
    return found.empty() ? 0 : std::stoul(found);
  };
  const auto settle = [] { std::this_thread::sleep_for(1500ms); };
  // Modal to `owner` on the server: its dialog, transient for it, centred over it, and offering
  // neither minimise (Motif 0x08, 0x20) nor maximise (0x10, 0x40).
  const auto expectModal = [&](WindowId w, WindowId owner) {
    ASSERT_NE(w, 0u);
    EXPECT_EQ(Numbers(x.Property(w, "WM_TRANSIENT_FOR")), std::vector<unsigned long>{owner});
    EXPECT_NE(x.Property(w, "_NET_WM_WINDOW_TYPE").find("_DIALOG"), std::string::npos);
    EXPECT_NE(x.Property(w, "_NET_WM_STATE").find("_MODAL"), std::string::npos);
    EXPECT_LE((x.FrameGeometry(w).center() - x.FrameGeometry(owner).center()).manhattanLength(), 2);
    const auto motif = Numbers(x.Property(w, "_MOTIF_WM_HINTS"));
    ASSERT_EQ(motif.size(), 5u);
    EXPECT_EQ(motif[1] & 0x18, 0u);
    EXPECT_EQ(motif[2] & 0x60, 0u);
  };
  const WindowId main = x.player_window();
  const QRect mainPlace = x.ClientGeometry(main);
  WindowId editor = 0, title = 0, about = 0;

  const std::vector<std::pair<const char*, std::function<void()>>> steps = {
      {"the fixed-size main window offers no maximise",
       [&] { EXPECT_EQ(Numbers(x.Property(main, "_MOTIF_WM_HINTS")).at(1) & 0x10, 0u); }},
      {"Edit Playlist opens the editor over the main window",
       [&] {
         ASSERT_NO_FATAL_FAILURE(
             expectModal(editor = open(main, "key --clearmodifiers alt+e"), main));
       }},
      {"the main window takes no clicks or keys while the editor is open, nor gets above it",
       [&] {
         // Moved aside, as a user would, to reach the main window.
         x.Xdotool("windowmove --sync " + id(editor) + " 600 20");
         const std::string before = trace();
         ASSERT_NO_FATAL_FAILURE(x.ClickToolbarButton(12));  // play
         x.Xdotool("windowfocus " + id(main) + " key --clearmodifiers space alt+o c");
         x.Xdotool("windowraise " + id(main) + " windowactivate " + id(main));
         settle();
         EXPECT_EQ(trace(), before);
         EXPECT_EQ(x.ClientGeometry(main), mainPlace) << "Options, Control Panel ran";
         EXPECT_TRUE(above(editor, main));
         EXPECT_EQ(x.ActiveWindow(), editor) << "the main window kept the focus";
       }},
      {"New opens the title dialog over the editor",
       [&] {
         ASSERT_NO_FATAL_FAILURE(
             expectModal(title = open(editor, "key --clearmodifiers alt+n"), editor));
       }},
      {"the editor shows no typing and takes no OK while the title dialog is open",
       [&] {
         // A click in the artist entry, typing there, and OK, at their places in the definition.
         const QRect client = x.ClientGeometry(editor);
         const double unit = client.width() / 332.0;
         const auto click = [&](double ux, double uy) {
           x.Xdotool("mousemove --window " + id(editor) + " " + std::to_string(int(ux * unit)) +
                     " " + std::to_string(int(uy * unit)) + " click 1");
         };
         // Columns with dark pixels inside the entry, where text shows.
         const auto columns = [&] {
           const QImage shot = x.Capture();
           int count = 0;
           for (int px = client.x() + int(23 * unit); px < client.x() + int(156 * unit); ++px) {
             for (int py = client.y() + int(34 * unit); py < client.y() + int(42 * unit); ++py) {
               if (qGray(shot.pixel(px, py)) < 100) {
                 ++count;
                 break;
               }
             }
           }
           return count;
         };
         click(89, 38);
         settle();
         const int before = columns();
         x.Xdotool("type --delay 20 zz");
         click(219, 217);
         settle();
         EXPECT_LE(columns(), before + 2) << "the typing shows in the editor";  // a text cursor
         EXPECT_TRUE(above(title, editor)) << "closed, or below";
         EXPECT_EQ(x.ActiveWindow(), title) << "the editor kept the focus";
         EXPECT_TRUE(SavePng(x.Capture(), ScreenshotPath("modal_windows_title.png")));
         x.Xdotool("windowraise " + id(editor));
         settle();
         EXPECT_TRUE(above(title, editor) && above(editor, main));
       }},
      {"Cancel closes the dialog, then the editor; the main window ran none of its input",
       [&] {
         x.Xdotool("windowactivate --sync " + id(title) + " key --clearmodifiers alt+c");
         x.Xdotool("sleep 1 windowactivate --sync " + id(editor) + " key --clearmodifiers alt+c");
         const std::size_t before = trace().size();
         EXPECT_FALSE(Poll(30s, [&] { return trace().size() > before ? "polled" : ""; }).empty());
         EXPECT_EQ(trace().find("play cdaudio"), std::string::npos);
         EXPECT_EQ(stacking(), std::vector<unsigned long>{main});
       }},
      {"About opens over the main window without a caption, and shows its first letter whole",
       [&] {
         ASSERT_NO_FATAL_FAILURE(
             expectModal(about = open(main, "key --clearmodifiers alt+a sleep 0.5 key a"), main));
         EXPECT_EQ(x.Property(about, "_NET_WM_NAME"), "");
         EXPECT_EQ(x.Property(about, "_NET_WM_ALLOWED_ACTIONS").find("MAXIMIZE"),
                   std::string::npos);
         // The blue invitation line starts with a V, whose slanted strokes reach their leftmost
         // column only at the top; one cut at the window's edge fills that column.
         settle();
         const QImage shot = x.Capture();
         EXPECT_TRUE(SavePng(shot, ScreenshotPath("modal_windows_about.png")));
         const QRect client = x.ClientGeometry(about);
         const auto blue = [&](int px, int py) {
           const QRgb c = shot.pixel(px, py);
           return qBlue(c) > 200 && qRed(c) < 80 && qGreen(c) < 80;
         };
         for (int px = client.left(); px <= client.right(); ++px) {
           int rows = 0;
           for (int py = client.top(); py <= client.bottom(); ++py)
             rows += blue(px, py);
           if (rows > 0) {
             EXPECT_LE(rows, 3) << "the V is cut at column " << px - client.left();
             break;
           }
         }
       }},
  };
  for (const auto& [what, run] : steps) {
    SCOPED_TRACE(what);
    run();
    if (HasFatalFailure())
      return;
  }
}

}  // namespace
