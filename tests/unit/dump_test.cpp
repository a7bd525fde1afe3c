// SPDX-License-Identifier: GPL-3.0-or-later
// The dump of the player's windows: what a person reads to check a definition.
#include <gtest/gtest.h>

#include "windows/definition.h"
#include "windows/description.h"

namespace vantora::windows {
namespace {

// clang-format off
const char* const kMainWindow = R"(window P2$CDPLAYWIN flags 0x800 0x3022 at default default 172 202 title "Vantora     Brennix" icon "Cd.ico" wallpaper "~Silvback.bmp" font "MS Sans Serif" 8 regular
  0 menubar
    1 menu text "&File"
      2 item text "E&xit" action 15
    3 menu text "&Options"
      4 item text "&Playlist"
      5 item text "&Stay On Top" var long check
      6 item text "&Control Panel" var long check
      7 item text "&AutoPlay" var byte check
      39 item text "&Look Up Titles Online" var byte check
    8 menu text "&About"
      9 item text "&About"
  0 toolbar at 0 0 135 23 wallpaper "~Silvback.bmp"
    10 button at 148 2 21 18 text " " icon "cd.gif"
    11 button at 4 2 18 18 icon "QPX_PREV.ICO" tip "Select the previous track"
    12 button at 25 2 18 18 icon "QPX_PLAY.ICO" tip "Play the current selections"
    13 button at 47 2 18 18 icon "QPX_PAUS.ICO" tip "Pause the CD player"
    14 button at 69 2 18 18 icon "QPX_NEXT.ICO" tip "Select the next track"
    15 button at 91 2 18 18 icon "QPX_CLOS.ICO" tip "Open the CD door"
  16 list at 42 161 125 10 format "160L@S40@" rows 4 font window window regular rgb 0 255 0 colours default default default tip "The track currently being played" var text 60
  17 button at 39 42 64 19 text "&Repeat: None" icon "Greenb.ico" font "Arial" 8 regular rgb 128 0 128 tip "Toggle the player's repeat mode"
  18 button at 107 42 64 19 text "&Edit Playlist" icon "Greenb.ico" font "Arial" 8 regular rgb 128 0 128 tip "Edit the album's playlist"
  19 button at 1 6 33 10 text "1" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  20 button at 1 17 33 10 text "2" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  21 button at 1 28 33 10 text "3" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  22 button at 1 39 33 10 text "4" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  23 button at 1 50 33 10 text "5" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  24 button at 1 61 33 10 text "6" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  25 button at 1 72 33 10 text "7" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  26 button at 1 83 33 10 text "8" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  27 button at 1 94 33 10 text "9" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  28 button at 1 105 33 10 text "10" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Play a track from the ablum"
  29 button at 1 116 33 28 text "+10" icon "Blueb.ico" font "Arial" 8 bold rgb 0 0 255 tip "Get next set of play buttons"
  0 group at 38 95 133 32 text "Artist" font "Arial" 8 bold
    30 textbox at 40 103 127 19 font window window bold rgb 0 255 0 colours default default default tip "The artist who produced the album" var text 60
  31 group at 38 127 133 23 text "Playlist" font "Arial" 8 bold
    32 list at 42 137 125 10 format "160L@S40@" rows 4 font window window regular rgb 0 255 0 colours default default default tip "The current playlist for this album" var text 60
  0 group at 38 151 133 23 text "Current Track" font "Arial" 8 bold
  0 group at 38 60 133 32 text "Current Album" font "Arial" 8 bold
    33 textbox at 40 71 127 19 font window window bold rgb 0 255 0 colours default default default tip "The album currently in the CD player" var text 60
  34 region at 38 7 131 33
  35 group at 38 1 133 39 text "Player Status" font "Arial" 8 bold
    36 varstring at 52 9 103 10 picture "S40" font "MS Sans Serif" 8 bold var text 40
    37 varstring at 87 18 34 12 picture "S5" font "MS Sans Serif" 10 bold rgb 0 0 128 var text 5
    38 varstring at 47 28 113 10 picture "S26" var text 26
)";

const char* const kEditorWindow = R"(window P22$EDITWINDOW flags 0 0x2000 at default default 332 230 title "Edit an Album's Playlist" wallpaper "~Silvback.bmp" font "MS Sans Serif" 8 regular
  1 sheet at 6 5 319 201
    2 tab text "Album Properties"
      0 group at 15 22 148 24 text "&Artist" font "Arial" 8 bold
        3 entry at 21 32 137 12 picture "S60" status "Enter the name of the album's artist here." tip "The name of the artist" var text 60 dropids "Move Track"
      4 group at 15 48 148 24 text "&Title" font "Arial" 8 bold
        5 entry at 21 58 default default picture "s60" status "Enter the title of the album here" tip "The title of the album" var text 60 dropids "Move Track"
      6 list at 15 74 148 108 format "240L@S60@" colours default default default tip "The music selections on the album" dropids "Move Track" dragids "Add Track"
      7 entry at 15 186 148 12 picture "s60" status "Enter the title of the track.  Use the cursor keys to select new tracks to edit." tip "Edit a track's title" var text 60 dropids "Move Track" alertkeys 0x222 0x221 0x22 0x21 0x28 0x26
      8 group at 171 22 149 47 text "&Playlist" font "Arial" 8 bold
        9 list at 177 32 137 12 format "240L@s60@" rows 5 colours default default default status "Select a new playlist to edit" tip "Edit the name of a customized playlist" var text 60 dropids "Move Track"
      10 list at 171 74 149 124 format "240L@S60@" colours default default default status "Drag tracks to the playlist to add them.  Drag tracks from the playlist to remove them." tip "The music selections of a playlist" dropids "Add Track" "Move Track" dragids "Move Track"
      11 button at 177 49 39 12 text "&New" status "Add a new playlist" tip "Add a customized playlist" dropids "Move Track"
      12 button at 226 49 39 12 text "&Edit" status "Edit the current playlist's name" tip "Edit the name of a customized playlist" dropids "Move Track"
      13 button at 275 49 39 12 text "&Remove" status "Remove a playlist" tip "Remove a customized playlist" dropids "Move Track"
  14 button at 199 210 40 14 text "OK" status "Accept changes and exit" tip "Accept your changes and return to the player" dropids "Move Track"
  15 button at 243 210 40 14 text "&Cancel" status "Cancel changes and exit" tip "Cancel your changes and return to the player" dropids "Move Track"
  16 button at 287 210 40 14 text "&Apply" status "Apply changes and keep editing" tip "Apply your changes and keep editing" dropids "Move Track"
  18 textbox at 6 212 128 11 tip "The disc's MusicBrainz ID" var text 60
  19 button at 136 210 60 14 text "&MusicBrainz..." status "Open the page that adds this disc to MusicBrainz" tip "MusicBrainz does not know this disc: add it there" dropids "Move Track"
  17 region at 0 0 333 230 dropids "Move Track"
)";

const char* const kTitleDialog = R"(window P26$EDITWINDOW flags 0 0x2000 at default default 188 45 title "Edit Playlist Title" font "MS Sans Serif" 8 regular
  0 prompt at 6 9 default default text "Title:"
  1 entry at 39 6 default default picture "s60" tip "The name of the playlist" var text 60
  2 button at 95 22 40 14 text "OK" tip "Accept this playlist name"
  3 button at 139 22 40 14 text "&Cancel" tip "Cancel changes to the playlist name"
)";

const char* const kAboutWindow = R"(window P27$ABOUTWINDOW flags 0x10 0x3040 at default default 257 97 wallpaper "~Silvback.bmp"
  0 string at 5 7 248 16 text "Vantora CD Player, made by Brennix" font "Arial" 14 regular rgb 128 0 0
  0 string at -1 31 259 10 text "Visit Brennix for more free software!" font "Arial" 12 bold rgb 0 0 255
  0 string at 70 43 120 10 text "www.brennix.example.com" font "Arial" 10 bold rgb 128 0 128
  0 string at 5 55 247 10 text "E-mail: vantora@brennix.example.org" font "Arial" 10 bold rgb 128 0 128
  1 button at 12 73 238 14 text "OK" action 15
)";

// clang-format on

struct Case {
  const char* window;
  const char* expected;
};

TEST(Dump, EachPlayerWindowReadsRight) {
  const Case cases[] = {
      {"P2$CDPLAYWIN", kMainWindow},
      {"P22$EDITWINDOW", kEditorWindow},
      {"P26$EDITWINDOW", kTitleDialog},
      {"P27$ABOUTWINDOW", kAboutWindow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    std::optional<WindowDefinition> window = FindWindowDefinition("cdplayer$CDPLAYER", c.window);
    ASSERT_TRUE(window);
    EXPECT_EQ(DumpWindow(*window), c.expected);
  }
}

TEST(Dump, OddValuesStayReadable) {
  WindowDefinition window;
  window.name = "odd name";
  Control control;
  control.type = RecordType::MenuItem;
  control.number = 65535;
  control.flags = 0x81;
  control.text = "tab\there \"quoted\" \x01";
  control.variable = Variable{7, 3, 0};
  Control list;
  list.type = RecordType::List;
  list.position = Position{format::kDefaultPosition, -2, 0, 0};
  list.font = Font{std::nullopt, 0, 0x01000000, 550};
  list.colours = ColourBlock{0, format::kDefaultColour, 0x00010203};
  window.controls = {control, list};
  EXPECT_EQ(DumpWindow(window),
            "window \"odd name\" flags 0 0 at 0 0 0 0\n"
            "  65535 item text \"tab\\there \\\"quoted\\\" \\x01\" var 7 3 check flags 0x80\n"
            "  0 list at default -2 0 0 font window window 550 0x1000000 colours rgb 0 0 0 default "
            "rgb 3 2 1\n");
}

TEST(Dump, SetListsEveryWindowAfterItsTag) {
  DefinitionSet set{"a$B", {}};
  set.windows.resize(2);
  set.windows[0].name = "ONE";
  set.windows[1].name = "TWO";
  EXPECT_EQ(DumpDefinitionSet(set),
            "set a$B\n\nwindow ONE flags 0 0 at 0 0 0 0\n\nwindow TWO flags 0 0 at 0 0 0 0\n");
}

}  // namespace
}  // namespace vantora::windows
