// SPDX-License-Identifier: GPL-3.0-or-later
// The player's device commands against the virtual drive on the manual clock, asserted on the
// device log and the main window's controls.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/device.h"
#include "platform/cdaudio/drive_tool.h"
#include "runtime/queue.h"
#include "runtime/value_stack.h"
#include "tests/scenario/player_fixture.h"

namespace vantora::app {
namespace {

using Strings = std::vector<std::string>;

class DeviceCommands : public testing::PlayerTest {
 protected:
  // An album of `tracks` tracks with its play order: Album Order, or a custom playlist of the
  // tracks given.
  static void LoadAlbum(int32_t tracks, const std::vector<int32_t>& custom = {}) {
    for (int32_t n = 1; n <= tracks; ++n) {
      TRACKRECORD.TRACKTITLE = "Track " + std::to_string(n);
      runtime::QueueAppend(&TRACKQUEUE);
    }
    PLAYLISTRECORD.PLAYLISTNAME = "Album Order";
    runtime::QueueAppend(&PLAYLISTQUEUE);
    PLAYLISTRECORD.PLAYLISTNAME = "Favourites";
    runtime::QueueAppend(&PLAYLISTQUEUE);
    runtime::QueueGet(&PLAYLISTQUEUE, custom.empty() ? 1 : 2);
    std::vector<int32_t> order = custom;
    if (order.empty()) {
      for (int32_t n = 1; n <= tracks; ++n) {
        order.push_back(n);
      }
    }
    for (int32_t track : order) {
      PLAYRECORD.PLTRACKTITLE = "Track " + std::to_string(track);
      PLAYRECORD.PLTRACKNUMBER = track;
      runtime::QueueAppend(&PLAYQUEUE);
    }
  }
  std::string Mode() { return MciCommand("", true); }
};

TEST_F(DeviceCommands, RepliesAreMappedForThePlayer) {
  EXPECT_EQ(MciCommand("open cdaudio shareable"), "1");
  EXPECT_EQ(MciCommand("open cdaudio shareable"), "1");  // already open (265) counts as opened
  EXPECT_EQ(MciCommand("capability cdaudio can eject"), "1");
  EXPECT_EQ(MciCommand("status cdaudio number of tracks"), "12");
  EXPECT_EQ(MciCommand("status cdaudio length track 1").size(), 8u);  // mm:ss:ff
  ASSERT_TRUE(Drive().Remove().ok());
  EXPECT_EQ(MciCommand("status cdaudio media present"), "");  // "false"
  EXPECT_EQ(MciCommand("status cdaudio number of tracks"), "276");
  EXPECT_EQ(MciCommand("frobnicate cdaudio"), "261");
  // The mode query ignores the text it is given.
  EXPECT_EQ(MciCommand("stop cdaudio", true), "not ready");
  EXPECT_EQ(Commands().back(), "status cdaudio mode");
  EXPECT_EQ(runtime::ValueStackDepth(), 0u);
}

TEST_F(DeviceCommands, CommandsAreCutTo99Characters) {
  const std::string longCommand = "status cdaudio mode" + std::string(120, ' ') + "x";
  MciCommand(longCommand);
  EXPECT_EQ(Commands().back(), longCommand.substr(0, 99));
}

TEST_F(DeviceCommands, OpeningEnablesThePlayerAndPollsOnTheFastTimer) {
  OpenMainWindow();
  runtime::DISABLECONTROLS(0, 0);
  OPENCDDEVICE();
  EXPECT_EQ(DEVICEOPEN, 1);
  EXPECT_EQ(CANEJECT, 1);
  EXPECT_EQ(runtime::GetProperty(runtime::PROP_TIMER), "75");
  for (int32_t number : {11, 12, 13, 14, 15, 16, 17, 18, 19}) {
    EXPECT_TRUE(Control(number).enabled) << number;
  }
  for (int32_t number : {20, 28, 29}) {
    EXPECT_FALSE(Control(number).enabled) << number;  // not the player's to switch
  }
  // The open ends with a status poll.
  const Strings commands = Commands();
  ASSERT_GE(commands.size(), 4u);
  EXPECT_EQ(Strings(commands.begin(), commands.begin() + 4),
            (Strings{"open cdaudio shareable", "capability cdaudio can eject",
                     "status cdaudio ready", "status cdaudio mode"}));
}

TEST_F(DeviceCommands, AnUnpluggedDriveLeavesThePlayerUnavailableAndRetrying) {
  ASSERT_TRUE(Drive().SetPlugged(false).ok());
  OpenMainWindow();
  OPENCDDEVICE();
  EXPECT_EQ(DEVICEOPEN, 0);
  EXPECT_EQ(STATUSTEXT, "CD Player Not Available");
  EXPECT_EQ(runtime::GetProperty(runtime::PROP_TIMER), "200");
  for (int32_t number : {11, 12, 13, 14, 16, 17, 18, 19}) {
    EXPECT_FALSE(Control(number).enabled) << number;
  }
  EXPECT_TRUE(Control(15).enabled);  // the door button is left as it was
  EXPECT_EQ(Commands(), Strings{"open cdaudio shareable"});
}

TEST_F(DeviceCommands, ThePlayerOpensTheDeviceOnceItIsPluggedIn) {
  ASSERT_TRUE(Drive().SetPlugged(false).ok());
  RunPlayer({[&] {
               EXPECT_EQ(DEVICEOPEN, 0);
               EXPECT_EQ(Control(36).text.substr(0, 23), "CD Player Not Available");
               ASSERT_TRUE(Drive().SetPlugged(true).ok());
             },
             [&] {
               // The next tick of the slow timer, two seconds on, opened it.
               EXPECT_EQ(DEVICEOPEN, 1);
               EXPECT_EQ(clock_.Now(), platform::ClockTime{2000});
               EXPECT_TRUE(Control(12).enabled);
             }});
}

TEST_F(DeviceCommands, PlayEntryInAlbumOrderPlaysToTheEndOfTheDisc) {
  LoadAlbum(12);
  MciCommand("open cdaudio shareable");
  ClearLog();
  PLAYENTRY(3, 1);
  EXPECT_EQ(Commands(), (Strings{"set cdaudio time format tmsf", "play cdaudio from 3",
                                 "set cdaudio time format msf"}));
  EXPECT_EQ(PLAYING, 1);
  EXPECT_EQ(PAUSED, 0);
  EXPECT_EQ(CURRENTTITLE, "Track 3");
  EXPECT_EQ(runtime::QueuePosition(&PLAYQUEUE), 3);
  EXPECT_EQ(Mode(), "playing");
  EXPECT_EQ(MciCommand("status cdaudio current track"), "3");
}

TEST_F(DeviceCommands, PlayEntryWrapsAtBothEnds) {
  LoadAlbum(12);
  MciCommand("open cdaudio shareable");
  ClearLog();
  PLAYENTRY(0, 1);
  EXPECT_EQ(Commands()[1], "play cdaudio from 12");
  EXPECT_EQ(runtime::QueuePosition(&PLAYQUEUE), 12);
  PLAYENTRY(13, 1);
  EXPECT_EQ(Commands()[4], "play cdaudio from 1");
  EXPECT_EQ(runtime::QueuePosition(&PLAYQUEUE), 1);
}

TEST_F(DeviceCommands, PlayEntryOfACustomPlaylistPlaysOneTrackThatEndsOnTime) {
  LoadAlbum(12, {5, 12});
  MciCommand("open cdaudio shareable");
  const std::string length = MciCommand("status cdaudio length track 5");
  ClearLog();
  PLAYENTRY(1, 1);
  EXPECT_EQ(Commands()[1], "play cdaudio from 5 to 6");
  // The play ends where track 6 starts: the mode falls back to "stopped" on time.
  const int32_t minutes = std::stoi(length.substr(0, 2));
  const int32_t seconds = std::stoi(length.substr(3, 2));
  const int32_t frames = std::stoi(length.substr(6, 2));
  const int64_t ms = (minutes * 60 + seconds) * 1000 + frames * 1000 / 75;
  clock_.Advance(platform::ClockTime{ms - 100});
  EXPECT_EQ(Mode(), "playing");
  clock_.Advance(platform::ClockTime{200});
  EXPECT_EQ(Mode(), "stopped");
  // The disc's last track plays to the end of the disc.
  ClearLog();
  PLAYENTRY(2, 1);
  EXPECT_EQ(Commands()[1], "play cdaudio from 12");
}

TEST_F(DeviceCommands, PlayEntryWithoutStartOnlyMovesTheCurrentEntry) {
  LoadAlbum(12);
  ClearLog();
  PLAYENTRY(4, 0);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(CURRENTTITLE, "Track 4");
  EXPECT_EQ(runtime::QueuePosition(&PLAYQUEUE), 4);
  EXPECT_EQ(PLAYING, 0);
}

TEST_F(DeviceCommands, PlayEntryOnAnEmptyPlayOrderDoesNothing) {
  CURRENTTITLE = "Unchanged";
  PLAYRECORD.PLTRACKNUMBER = 7;  // a record left in the buffer must not be played
  PLAYENTRY(1, 1);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(CURRENTTITLE, "Unchanged");
  EXPECT_EQ(PLAYING, 0);
}

TEST_F(DeviceCommands, PauseTogglesAndStopRewinds) {
  LoadAlbum(12);
  MciCommand("open cdaudio shareable");
  PLAYENTRY(2, 1);
  clock_.Advance(platform::ClockTime{5000});
  ClearLog();
  PAUSEPLAYER();
  EXPECT_EQ(PAUSED, 1);
  EXPECT_EQ(Mode(), "stopped");  // paused reads as stopped
  const std::string where = MciCommand("status cdaudio position");
  clock_.Advance(platform::ClockTime{3000});
  EXPECT_EQ(MciCommand("status cdaudio position"), where);
  PAUSEPLAYER();
  EXPECT_EQ(PAUSED, 0);
  EXPECT_EQ(Mode(), "playing");
  STOPPLAYER();
  EXPECT_EQ(PLAYING, 0);
  EXPECT_EQ(MciCommand("status cdaudio position"), "00:02:00");
  EXPECT_EQ(Commands(),
            (Strings{"pause cdaudio", "status cdaudio mode", "status cdaudio position",
                     "status cdaudio position", "play cdaudio", "status cdaudio mode",
                     "stop cdaudio", "seek cdaudio to start", "status cdaudio position"}));
}

TEST_F(DeviceCommands, AHandInAnotherProcessIsSeenOnTheNextCommand) {
  MciCommand("open cdaudio shareable");
  EXPECT_EQ(Mode(), "stopped");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string dir = DriveDir().string();
    const char* argv[] = {"vantora-drive", "--drive", dir.c_str(), "open", nullptr};
    _exit(platform::cdaudio::DriveToolMain(4, const_cast<char**>(argv)));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Mode(), "open");
  EXPECT_EQ(MciCommand("status cdaudio ready"), "");
}

}  // namespace
}  // namespace vantora::app
