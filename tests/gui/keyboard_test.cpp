// SPDX-License-Identifier: GPL-3.0-or-later
// The player worked from the keyboard alone under a window manager: Tab through the main window,
// mnemonics, Enter and Escape in the editor, its title dialog and About. What each key did is read
// from the window with the focus, the device log and the ZQ_CD.INI the player saved.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;

TEST(Keyboard, WorksTheMainWindowTheEditorItsTitleDialogAndAbout) {
  XSession x;
  ASSERT_NO_FATAL_FAILURE(x.Start(XSession::WindowManager::kOpenbox));
  const auto drive = x.dir() / "drive", trace = x.dir() / "trace.log";
  const auto ini = x.config_dir() / "ZQ_CD.INI";
  // The tab order is counted on a disc of twelve tracks.
  const auto disc = std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures" /
                    "discs" / "twelve_tracks.disc";
  ASSERT_NO_FATAL_FAILURE(x.DriveTool(drive, {"insert", disc.string()}));
  ASSERT_NO_FATAL_FAILURE(
      x.StartPlayer({.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\n",
                     .drive = drive,
                     .arguments = {"--trace", trace.string()}}));
  const WindowId main = x.player_window();
  using Probe = std::function<std::string()>;
  const auto yes = [](bool done) { return std::string(done ? "y" : ""); };
  const auto in = [&](const std::filesystem::path& file, const std::string& text) -> Probe {
    return [=] { return yes(Read(file).find(text) != std::string::npos); };
  };
  const auto focus = [&](const std::string& name) -> Probe {
    return [&, name] { return yes(x.Xdotool("getwindowfocus getwindowname") == name); };
  };
  // How many windows of the player are shown, and whether the main one has the focus.
  const auto shown = [&](size_t windows, bool onMain) -> Probe {
    return [&, windows, onMain] {
      return yes(x.VisibleWindows(x.player().pid()).size() == windows &&
                 (x.Focus() == main) == onMain);
    };
  };
  const std::string alt = "key --clearmodifiers alt+";
  struct Step {
    const char* what;
    std::vector<std::string> keys;  // xdotool's arguments, one run each, to the focused window
    Probe done;
  };
  const Step steps[] = {
      {"the disc is read", {}, in(trace, "length track 3\t0")},
      {"the main window has the focus", {}, shown(1, true)},
      {"two Tabs from the first control, the disc picture, reach Play",
       {"key Tab Tab"},
       [&] {
         std::this_thread::sleep_for(1s);
         return yes(SavePng(x.Capture(), ScreenshotPath("keyboard_play.png")));
       }},
      {"Space presses it", {"key space"}, in(trace, "play cdaudio from 1\t0")},
      {"21 Tabs pass every control but the two read-only boxes, back to Play",
       {"key Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab",
        "key space"},
       in(trace, "stop cdaudio\t0")},
      {"the lone \"&Edit Playlist\" is pressed", {alt + "e"}, focus("Edit an Album's Playlist")},
      {"typing goes to the first entry, \"&Title\" to the second, \"&New\" takes it",
       {"type Morgan", alt + "t", "type Sidewinder", alt + "n"},
       focus("New Playlist Title")},
      {"the title dialog's entry has the focus, Enter is OK",
       {"type Mix", "key Return"},
       shown(2, false)},
      {"the first Alt+A of \"&Artist\" and \"&Apply\" goes to Apply, pressing nothing; Space "
       "presses it",
       {alt + "a", "type Q", "key space"},
       in(ini, "Title=Sidewinder\r\nArtist=Morgan\r\n")},
      {"the second Alt+A goes to the artist, Alt+Z types nothing, Enter takes it and is OK",
       {alt + "a", "type Blakey", alt + "z", "key Return"},
       in(ini, "Title=Sidewinder\r\nArtist=Blakey\r\n")},
      {"the editor closed", {}, shown(1, true)},
      {"the editor again", {alt + "e"}, shown(2, false)},
      {"its title dialog again", {alt + "n"}, focus("New Playlist Title")},
      {"Escape is Cancel in the title dialog", {"type Other", "key Escape"}, shown(2, false)},
      {"and in the editor", {"key Escape"}, shown(1, true)},
      {"the About menu", {alt + "a"}, shown(2, true)},
      {"About opens", {"key a"}, shown(2, false)},
      {"Enter closes it", {"key Return"}, shown(1, true)},
      {"the About menu again", {alt + "a"}, shown(2, true)},
      {"About opens again", {"key a"}, shown(2, false)},
      {"Escape closes it", {"key Escape"}, shown(1, true)},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    for (const std::string& keys : step.keys)
      x.Xdotool(keys);
    ASSERT_FALSE(Poll(30s, step.done).empty()) << Read(ini);
  }
  EXPECT_NE(Read(ini).find("PlayList Count=1\r\nPlayList 1 Title=Mix\r\n"), std::string::npos);
}

}  // namespace
