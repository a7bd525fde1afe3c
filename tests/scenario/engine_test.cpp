// SPDX-License-Identifier: GPL-3.0-or-later
// The player following the virtual drive on the manual clock: status line, buttons, times, album
// and the commands sent, step by step.
#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/album.h"
#include "app/device.h"
#include "app/status.h"
#include "app/times.h"
#include "runtime/queue.h"
#include "tests/scenario/player_fixture.h"

namespace vantora::app {
namespace {

using platform::cdaudio::Tray;
using runtime::QueueGet;

// Three tracks of ten seconds: key " 3290110011001901".
constexpr const char* kShortDisc =
    "vantora-disc 1\ntracks 3\ntrack 1 00:10:00\ntrack 2 00:10:00\ntrack 3 00:10:00\n";
constexpr const char* kShortAlbum =
    "[ 3290110011001901]\r\nTitle=Short Disc\r\nArtist=Us\r\nTrack 1=One\r\nTrack 2=Two\r\n"
    "Track 3=Three\r\nPlayList Count=1\r\nPlayList 1 Title=Backwards\r\nPlayList 1=3 3 1 2\r\n";
constexpr const char* kOtherDisc = "vantora-disc 1\ntracks 2\ntrack 1 01:00:00\ntrack 2 00:30:00\n";

class Engine : public testing::PlayerTest {
 protected:
  struct Step {
    const char* what;
    std::function<void()> act;  // may be empty: time passes
    // "status | play pause door icons | current title"; a disabled button's icon ends in "-".
    const char* shown;
    const char* sent = "";  // a command the step sends; "!" before it: one it must not send
  };

  void SetUp() override {
    PlayerTest::SetUp();
    OpenMainWindow();
  }
  // One tick of the main window's timer.
  void Tick() {
    clock_.Advance(platform::ClockTime{750});
    if (DEVICEOPEN == 0) {
      OPENCDDEVICE();
    } else {
      POLLSTATUS();
    }
    runtime::REFRESHCONTROLS();
  }
  // The button's icon, "'" after PLAY when its tip reads "selections" rather than
  // "selection(s)", and "-" when it is disabled. Every other icon has one tip.
  std::string Icon(int32_t number) {
    static const std::map<std::string, std::string> kTips = {
        {"STOP", "Stop the CD Player"},
        {"PAU2", "Restart the CD player"},
        {"PAUS", "Pause the CD player"},
        {"OPEN", "Close the CD door"},
        {"CLOS", "Open the CD door"},
        {"PLAY", "Play the current selection(s)"},
        {"PLAY'", "Play the current selections"}};
    const auto& control = Control(number);
    std::string icon = control.icon.empty() ? control.spec.icon : control.icon;
    const std::string tip = control.tip.empty() ? control.spec.tip : control.tip;
    icon = icon.substr(icon.find("QPX_") + 4, 4);
    if (icon == "PLAY" && tip == kTips.at("PLAY'")) {
      icon += "'";
    }
    EXPECT_EQ(tip, kTips.at(icon)) << icon;
    return control.enabled ? icon : icon + "-";
  }
  std::string Shown() {
    return Control(kStatusString).text + " | " + Icon(kPlayButton) + " " + Icon(kPauseButton) +
           " " + Icon(kDoorButton) + " | " + CURRENTTITLE.str();
  }
  bool Sent(const std::string& command, size_t from) {
    const auto commands = Commands();
    return std::find(commands.begin() + static_cast<ptrdiff_t>(std::min(from, commands.size())),
                     commands.end(), command) != commands.end();
  }
  // Runs each step's act, then lets the timer tick (at most a minute) until the window shows
  // what the step expects and it has sent its command.
  void Run(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      const size_t from = Commands().size();
      const std::string sent = step.sent;
      const bool forbidden = !sent.empty() && sent[0] == '!';
      const std::string command = forbidden ? sent.substr(1) : sent;
      if (step.act) {
        step.act();
        runtime::REFRESHCONTROLS();
      }
      auto done = [&] {
        return Shown() == step.shown && (command.empty() || forbidden || Sent(command, from));
      };
      for (int tick = 0; tick < 80 && !done(); ++tick) {
        Tick();
      }
      EXPECT_EQ(Shown(), step.shown) << step.what;
      if (!command.empty()) {
        EXPECT_EQ(Sent(command, from), !forbidden) << step.what << ": " << sent;
      }
    }
  }
  void ChoosePlaylist(int32_t row) {
    QueueGet(&PLAYLISTQUEUE, row);
    LOADPLAYLIST();
  }
};

TEST_F(Engine, AutoPlayFindsAnInsertedDiscAndPlaysItToTheEnd) {
  AUTOPLAY = 1;
  ASSERT_TRUE(Drive().Remove().ok());
  Run({
      // The time display stepped before there is a disc reads meaningless times...
      {"open with no disc", [] { OPENCDDEVICE(), SHOWTIMES(); },
       "Not Ready | PLAY'- PAUS- CLOS | "},
      {"insert", [&] { Insert(kShortDisc); }, "Playing Track 1 | STOP PAUS CLOS | Track 1",
       "play cdaudio from 1"},
      {"album order follows the disc", {}, "Playing Track 3 | STOP PAUS CLOS | Track 3"},
      {"the end of the disc stops",
       {},
       "Stopped | PLAY PAUS CLOS | Track 1",
       "seek cdaudio to start"},
      {"and stays stopped", [&] { Tick(); }, "Stopped | PLAY PAUS CLOS | Track 1",
       "!play cdaudio from 1"},
  });
  EXPECT_EQ(ALBUMTITLE, "New Album");
  EXPECT_EQ(PLAYING, 0);
  EXPECT_EQ(ALBUMLENGTH, MSFTOTIME("00:29:74"));  // ...which the disc's own replace
}

TEST_F(Engine, ACustomPlaylistPlaysByTheRepeatMode) {
  WriteIni(kShortAlbum);
  Insert(kShortDisc);
  clock_.Advance(platform::ClockTime{2000});
  Run({
      {"a stored disc at start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | One"},
      {"play the playlist", [&] { ChoosePlaylist(2), PLAYENTRY(1, 1); },
       "Playing Track 3 | STOP PAUS CLOS | Three", "play cdaudio from 3"},
      {"the next entry", {}, "Playing Track 1 | STOP PAUS CLOS | One", "play cdaudio from 1 to 2"},
      {"pause", [] { PAUSEPLAYER(); }, "Paused on track 1 | STOP PAU2 CLOS | One", "pause cdaudio"},
      {"stay paused", [&] { clock_.Advance(platform::ClockTime{60000}); },
       "Paused on track 1 | STOP PAU2 CLOS | One"},
      {"resume to the entry's end", [] { PAUSEPLAYER(); }, "Playing Track 1 | STOP PAUS CLOS | One",
       "play cdaudio to 2"},
      {"repeat all", [] { REPEATMODE = 2; }, "Playing Track 2 | STOP PAUS CLOS | Two",
       "play cdaudio from 2 to 3"},
      {"then entry 1 again", {}, "Playing Track 3 | STOP PAUS CLOS | Three", "play cdaudio from 3"},
      {"repeat track", [] { REPEATMODE = 1; }, "Playing Track 3 | STOP PAUS CLOS | Three",
       "play cdaudio from 3"},
      {"repeat none", [] { REPEATMODE = 0; }, "Playing Track 1 | STOP PAUS CLOS | One"},
      {"to the last entry", {}, "Playing Track 2 | STOP PAUS CLOS | Two"},
      {"and stop", {}, "Stopped | PLAY PAUS CLOS | Three", "seek cdaudio to start"},
      {"repeat all, door open",
       [] { REPEATMODE = 2, SHOWREPEATMODE(), MciCommand("set cdaudio door open"); },
       "Door Open | PLAY- PAUS- OPEN | Three"},
      {"closed on the same disc", [] { MciCommand("set cdaudio door closed"); },
       "Stopped | PLAY PAUS CLOS | Three", "status cdaudio number of tracks"},
      {"the album loaded again", [] { LOADALBUM(); }, "Stopped | PLAY PAUS CLOS | Three"},
  });
  // No album load threw away what the user chose.
  EXPECT_EQ(SELECTEDPLAYLIST, "Backwards");
  EXPECT_EQ(REPEATMODE, 2);
  EXPECT_EQ(Control(kRepeatButton).text, "Repeat: All");
}

TEST_F(Engine, RepeatTrackRepeatsTheTrackHeardInAlbumOrder) {
  Insert(kShortDisc);
  Run({
      {"start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | Track 1"},
      {"play album order", [] { PLAYENTRY(1, 1); }, "Playing Track 2 | STOP PAUS CLOS | Track 2",
       "play cdaudio from 1"},
      {"repeat track while track 2 plays", [] { REPEATMODE = 1; },
       "Playing Track 2 | STOP PAUS CLOS | Track 2", "play cdaudio from 2 to 3"},
      {"track 2 again, on its own",
       {},
       "Playing Track 2 | STOP PAUS CLOS | Track 2",
       "play cdaudio from 2 to 3"},
      {"next steps from the track heard", [] { PLAYENTRY(QueuePosition(&PLAYQUEUE) + 1, 1); },
       "Playing Track 3 | STOP PAUS CLOS | Track 3", "play cdaudio from 3"},
  });
}

TEST_F(Engine, TheDoorDuringAPlay) {
  Run({
      {"start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | Track 1"},
      {"play", [] { PLAYENTRY(2, 1); }, "Playing Track 2 | STOP PAUS CLOS | Track 2"},
      {"open the door", [] { MciCommand("set cdaudio door open"); },
       "Door Open | PLAY'- PAUS- OPEN | Track 2"},
      {"close it on the same disc", [&] { ASSERT_TRUE(Drive().MoveTray(Tray::Closed).ok()); },
       "Stopped | PLAY PAUS CLOS | Track 1", "!play cdaudio from 1"},
      {"the play button plays",
       [] { PLAYING == 0 ? static_cast<void>(PLAYENTRY(1, 1)) : STOPPLAYER(); },
       "Playing Track 1 | STOP PAUS CLOS | Track 1"},
      {"open, and close on another disc", [&] { Insert(kOtherDisc); },
       "Stopped | PLAY PAUS CLOS | Track 1", "status cdaudio length track 2"},
  });
  EXPECT_EQ(TRACKCOUNT, 2);
  EXPECT_EQ(ALBUMLENGTH, MSFTOTIME("01:29:74"));  // the second disc's own times
  DISPLAYMODE = 3;
  SHOWTIMES();
  EXPECT_EQ(TIMETEXT, "01:29");
  Run({
      {"open, and close with no disc",
       [&] {
         ASSERT_TRUE(Drive().Remove().ok());
         ASSERT_TRUE(Drive().MoveTray(Tray::Closed).ok());
       },
       "Not Ready | PLAY- PAUS- CLOS | Track 1"},
  });
  EXPECT_FALSE(Control(kTrackList).enabled);
}

TEST_F(Engine, AFailingModeQueryAndADriveThatCannotEject) {
  ASSERT_TRUE(Drive().SetCanEject(false).ok());
  Run({
      {"start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS- | Track 1"},
      {"play", [] { PLAYENTRY(1, 1); }, "Playing Track 1 | STOP PAUS CLOS- | Track 1"},
      // The error number is a mode of its own: the play button and pause show it, no more.
      {"the mode query fails",
       [&] { ASSERT_TRUE(Drive().InjectFailure("status cdaudio mode", 262).ok()); },
       "Playing Track 1 | PLAY' PAUS- CLOS- | Track 1"},
      {"and works again",
       [&] { ASSERT_TRUE(Drive().ClearFailures([](const auto&) { return true; }).ok()); },
       "Playing Track 1 | STOP PAUS CLOS- | Track 1"},
      {"the door stays shut", [] { MciCommand("set cdaudio door open"); },
       "Playing Track 1 | STOP PAUS CLOS- | Track 1", "!seek cdaudio to start"},
  });
  EXPECT_EQ(PLAYING, 1);
  EXPECT_EQ(CANEJECT, 0);
}

TEST_F(Engine, ABlankDiscHasNoTracksToPlay) {
  AUTOPLAY = 1;
  Run({
      {"start", [] { OPENCDDEVICE(); }, "Playing Track 1 | STOP PAUS CLOS | Track 1"},
      {"a blank disc", [&] { ASSERT_TRUE(Drive().Insert(platform::cdaudio::Disc{}).ok()); },
       "Stopped | PLAY PAUS CLOS | ", "!play cdaudio from 1"},
  });
  EXPECT_EQ(TRACKCOUNT, 0);
  EXPECT_EQ(PLAYING, 0);
  EXPECT_TRUE(Control(kFirstTrackButton).hidden);
}

TEST_F(Engine, AnEntryTheDriveRefusesEndsThePlay) {
  // Repeat: All on a disc that opens with a data track: past the disc's end comes track 1 again,
  // which no drive plays.
  Insert("vantora-disc 1\ntracks 2\ntrack 1 00:10:00 data\ntrack 2 00:10:00\n");
  Run({
      {"start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | Track 2"},
      {"repeat all, track 2", [] { REPEATMODE = 2, PLAYENTRY(2, 1); },
       "Playing Track 2 | STOP PAUS CLOS | Track 2"},
      {"the end of the disc", {}, "Stopped | PLAY PAUS CLOS | Track 1", "play cdaudio from 1"},
  });
  EXPECT_EQ(PLAYING, 0);
}

TEST_F(Engine, AStopJustAfterTheEntryStartsAgainIsSeen) {
  Insert(kShortDisc);
  Run({
      {"start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | Track 1"},
      {"repeat track 1", [] { REPEATMODE = 1, PLAYENTRY(1, 1); },
       "Playing Track 1 | STOP PAUS CLOS | Track 1"},
      {"its end starts it again",
       {},
       "Playing Track 1 | STOP PAUS CLOS | Track 1",
       "play cdaudio from 1 to 2"},
      {"stopped before the next tick", [] { STOPPLAYER(); }, "Stopped | PLAY PAUS CLOS | Track 1"},
  });
}

TEST_F(Engine, APlayTheDriveRefusesIsNoPlay) {
  AUTOPLAY = 1;
  ASSERT_TRUE(Drive().Insert(platform::cdaudio::MixedModeDemoDisc()).ok());
  const auto playButton = [&] {
    PLAYING == 0 ? static_cast<void>(PLAYENTRY(Control(kTrackList).selectedRow, 1)) : STOPPLAYER();
  };
  Run({
      {"AutoPlay on a data track", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | Track 2",
       "play cdaudio from 1"},
      {"play plays", playButton, "Playing Track 2 | STOP PAUS CLOS | Track 2",
       "play cdaudio from 2"},
  });
  EXPECT_FALSE(Sent("stop cdaudio", 0));
}

TEST_F(Engine, AStopWhilePausedShowsTheStop) {
  WriteIni(kShortAlbum);
  Insert(kShortDisc);
  Run({{"start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | One"}});
  // What the play button, the playlist list and a save in the editor do while paused.
  const std::pair<const char*, std::function<void()>> stops[] = {
      {"play button", [] { STOPPLAYER(); }},
      {"another playlist", [&] { STOPPLAYER(), ChoosePlaylist(2); }},
      {"editor save", [] { STOPPLAYER(), POLLSTATUS(), LOADALBUM(); }},
  };
  for (const auto& [how, stop] : stops) {
    Run({
        {"play track 2", [&] { ChoosePlaylist(1), PLAYENTRY(2, 1); },
         "Playing Track 2 | STOP PAUS CLOS | Two"},
        {"pause", [] { PAUSEPLAYER(); }, "Paused on track 2 | STOP PAU2 CLOS | Two"},
    });
    stop();
    Tick();
    EXPECT_EQ(Control(kStatusString).text + " " + Icon(kPlayButton) + " " + Icon(kPauseButton),
              "Stopped PLAY PAUS")
        << how;
    EXPECT_EQ(SHORTSTATUS, "Stopped") << how;
  }
}

// A pause just after an entry ended holds the next entry; once the playlist has played to its
// end, the play button (the track list's selected row) starts it again at its first entry.
TEST_F(Engine, APauseAfterAnEntryEndedHoldsTheNextAndPlayAfterTheEndStartsAgain) {
  WriteIni(kShortAlbum);
  Insert(kShortDisc);
  clock_.Advance(platform::ClockTime{2000});
  Run({
      {"a stored disc at start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | One"},
      {"the playlist's second entry", [&] { ChoosePlaylist(2), PLAYENTRY(2, 1); },
       "Playing Track 1 | STOP PAUS CLOS | One", "play cdaudio from 1 to 2"},
      // Track 1 lasts ten seconds: it has ended, and no tick has seen it yet.
      {"pause", [&] { clock_.Advance(platform::ClockTime{10500}), PAUSEPLAYER(); },
       "Paused on track 2 | STOP PAU2 CLOS | Two", "play cdaudio from 2 to 3"},
      {"resume", [] { PAUSEPLAYER(); }, "Playing Track 2 | STOP PAUS CLOS | Two",
       "play cdaudio to 3"},
      {"the last entry ends", {}, "Stopped | PLAY PAUS CLOS | Three", "seek cdaudio to start"},
      {"play", [&] { PLAYENTRY(Control(kTrackList).selectedRow, 1); },
       "Playing Track 3 | STOP PAUS CLOS | Three", "play cdaudio from 3"},
  });
}

TEST_F(Engine, APlayAfterAMissedDoorCloseBringsTheControlsBack) {
  const auto noFailures = [](const platform::cdaudio::InjectedFailure&) { return true; };
  Run({
      {"start", [] { OPENCDDEVICE(); }, "Stopped | PLAY PAUS CLOS | Track 1"},
      {"open the door", [] { MciCommand("set cdaudio door open"); },
       "Door Open | PLAY- PAUS- OPEN | Track 1"},
      {"the mode query fails",
       [&] { ASSERT_TRUE(Drive().InjectFailure("status cdaudio mode", 262).ok()); },
       "Not Ready | PLAY- PAUS- CLOS | Track 1"},
      {"shut by hand, then a track button",
       [&] {
         ASSERT_TRUE(Drive().MoveTray(Tray::Closed).ok());
         clock_.Advance(platform::ClockTime{2000});
         PLAYENTRY(3, 1);
       },
       "Not Ready | PLAY- PAUS- CLOS | Track 3", "play cdaudio from 3"},
      {"the mode query works again", [&] { ASSERT_TRUE(Drive().ClearFailures(noFailures).ok()); },
       "Playing Track 3 | STOP PAUS CLOS | Track 3"},
  });
}

TEST_F(Engine, TheWorkedTimeExampleInEveryMode) {
  // Track 3 starts at 08:10:20 and lasts 05:00:10; the disc reads 45:12:40.
  Insert(
      "vantora-disc 1\ntracks 4\ntrack 1 04:05:00\ntrack 2 04:03:20\ntrack 3 05:00:10\n"
      "track 4 32:04:11\n");
  clock_.Advance(platform::ClockTime{2000});
  OPENCDDEVICE();
  MciCommand("seek cdaudio to 12:34:56");
  const char* expected[][2] = {
      {"12:31", "Album Elapsed"}, {"32:40", "Album Remaining"}, {"45:12", "Album Total"},
      {"04:23", "Track Elapsed"}, {"00:36", "Track Remaining"}, {"05:00", "Track Total"},
  };
  for (uint8_t mode = 1; mode <= 6; ++mode) {
    DISPLAYMODE = mode;
    SHOWTIMES();
    EXPECT_EQ(TIMETEXT, expected[mode - 1][0]) << int{mode};
    EXPECT_EQ(TIMELABEL, expected[mode - 1][1]) << int{mode};
  }
  EXPECT_EQ(ALBUMELAPSED, 75200);
  DISPLAYMODE = 9;  // from a hand-edited file: the display stays as it was
  SHOWTIMES();
  EXPECT_EQ(TIMETEXT, "05:00");
}

TEST_F(Engine, AnUnknownDiscIsSavedAndKnownAtTheNextStart) {
  OPENCDDEVICE();
  EXPECT_EQ(ALBUMTITLE, "New Album");
  ALBUMTITLE = "Demo";
  QueueGet(&TRACKQUEUE, 1);
  TRACKRECORD.TRACKTITLE = "Opener";
  runtime::QueuePut(&TRACKQUEUE);
  SAVEALBUM();
  ResetState();
  OPENCDDEVICE();
  EXPECT_EQ(ALBUMTITLE, "Demo");
  EXPECT_EQ(CURRENTTITLE, "Opener");
  EXPECT_EQ(Control(kStatusString).text, "Stopped");
}

}  // namespace
}  // namespace vantora::app
