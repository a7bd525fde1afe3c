// SPDX-License-Identifier: GPL-3.0-or-later
// The media keys' commands as the main window's button clicks, the repeat mode as a loop status
// and the track as the bus shows it, on the model window system without a bus.
#include "desktop/media_keys.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/state.h"
#include "platform/clock.h"
#include "platform/model_window_system.h"
#include "runtime/events.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"
#include "tests/support/player_windows.h"

namespace vantora::desktop {
namespace {

using runtime::CURRENTEVENT;
using runtime::EVENTCONTROL;
using runtime::EVENTLOOP;

class MediaKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetCurrentWindowSystem(&model_);
    runtime::ResetValueStacks();
    app::PLAYING = app::PAUSED = 0;
    app::REPEATMODE = 0;
  }
  void TearDown() override {
    runtime::ResetWindows();
    platform::SetCurrentWindowSystem(nullptr);
    app::MAINWINDOW = 0;
    app::PLAYING = app::PAUSED = 0;
    app::REPEATMODE = 0;
    app::CURRENTTRACK = app::TRACKLENGTH = app::TRACKSTART = app::ALBUMSTART = 0;
    app::ALBUMELAPSED = 0;
  }

  // Opens the main window as the player's and takes its EVENT:OpenWindow.
  void OpenMain() {
    app::MAINWINDOW = runtime::testing::CreateMainWindow(main_);
    ASSERT_NE(app::MAINWINDOW, 0) << runtime::WindowCreateError();
    runtime::WINDOWOPEN(app::MAINWINDOW);
    ASSERT_TRUE(EVENTLOOP());
    ASSERT_EQ(CURRENTEVENT(), runtime::EVENT::OpenWindow);
  }
  // The controls of the EVENT:Accepted events queued so far, taken until the loop would wait.
  std::vector<int32_t> Clicks() {
    std::vector<int32_t> clicks;
    model_.SetIdleHandler(
        [this] { model_.DestroyWindow(runtime::NativeWindowOf(app::MAINWINDOW)); });
    while (EVENTLOOP()) {
      if (CURRENTEVENT() == runtime::EVENT::Accepted) {
        clicks.push_back(EVENTCONTROL());
      }
    }
    return clicks;
  }

  platform::ManualClock clock_{platform::ClockTime{1000}};
  platform::ScopedClock scopedClock_{clock_};
  platform::ModelWindowSystem model_{&clock_};
  runtime::testing::MainWindowVariables main_;
};

struct PlayerState {
  int32_t playing;
  int32_t paused;
};
constexpr PlayerState kStopped{0, 0};
constexpr PlayerState kPlaying{1, 0};
constexpr PlayerState kPaused{1, 1};

TEST(MediaKeys, PlaybackFollowsPlayingAndPaused) {
  struct Case {
    int32_t playing, paused;
    Playback want;
  };
  const Case cases[] = {
      {0, 0, Playback::Stopped},
      {1, 0, Playback::Playing},
      {1, 1, Playback::Paused},
      // A pause flag left over without playing is still stopped.
      {0, 1, Playback::Stopped},
  };
  for (const Case& c : cases) {
    app::PLAYING = c.playing;
    app::PAUSED = c.paused;
    EXPECT_EQ(PlaybackNow(), c.want) << c.playing << "/" << c.paused;
  }
  app::PLAYING = app::PAUSED = 0;
  EXPECT_EQ(PlaybackName(Playback::Playing), "Playing");
  EXPECT_EQ(PlaybackName(Playback::Paused), "Paused");
  EXPECT_EQ(PlaybackName(Playback::Stopped), "Stopped");
}

TEST(MediaKeys, EachCommandIsTheButtonAClickWouldUse) {
  struct Case {
    const char* name;
    Command command;
    Playback playback;
    int32_t button;
  };
  const Case cases[] = {
      {"play when stopped starts", Command::Play, Playback::Stopped, app::kPlayButton},
      {"play when paused resumes", Command::Play, Playback::Paused, app::kPauseButton},
      {"play when playing does nothing", Command::Play, Playback::Playing, 0},
      {"pause when playing pauses", Command::Pause, Playback::Playing, app::kPauseButton},
      {"pause when paused does nothing", Command::Pause, Playback::Paused, 0},
      {"pause when stopped does nothing", Command::Pause, Playback::Stopped, 0},
      {"play-pause when stopped starts", Command::PlayPause, Playback::Stopped, app::kPlayButton},
      {"play-pause when playing pauses", Command::PlayPause, Playback::Playing, app::kPauseButton},
      {"play-pause when paused resumes", Command::PlayPause, Playback::Paused, app::kPauseButton},
      {"stop when playing", Command::Stop, Playback::Playing, app::kPlayButton},
      {"stop when paused", Command::Stop, Playback::Paused, app::kPlayButton},
      {"stop when stopped does nothing", Command::Stop, Playback::Stopped, 0},
      {"next", Command::Next, Playback::Stopped, app::kNextButton},
      {"next when playing", Command::Next, Playback::Playing, app::kNextButton},
      {"previous", Command::Previous, Playback::Paused, app::kPreviousButton},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ButtonFor(c.command, c.playback), c.button) << c.name;
  }
}

TEST_F(MediaKeysTest, PressQueuesTheClickForTheMainWindow) {
  OpenMain();
  struct Case {
    const char* name;
    PlayerState state;
    Command command;
    std::vector<int32_t> clicks;
  };
  const std::vector<Case> cases = {
      {"play from stopped", kStopped, Command::Play, {app::kPlayButton}},
      {"play while paused", kPaused, Command::Play, {app::kPauseButton}},
      {"play while playing", kPlaying, Command::Play, {}},
      {"stop while paused", kPaused, Command::Stop, {app::kPlayButton}},
      {"stop while stopped", kStopped, Command::Stop, {}},
      {"next", kPlaying, Command::Next, {app::kNextButton}},
  };
  for (const Case& c : cases) {
    app::PLAYING = c.state.playing;
    app::PAUSED = c.state.paused;
    EXPECT_EQ(Press(c.command), !c.clicks.empty()) << c.name;
  }
  // Everything queued arrives in order, in the main window's own loop.
  EXPECT_EQ(Clicks(), (std::vector<int32_t>{app::kPlayButton, app::kPauseButton, app::kPlayButton,
                                            app::kNextButton}));
}

TEST_F(MediaKeysTest, WithoutAMainWindowNothingIsPressed) {
  EXPECT_FALSE(HaveMainWindow());
  EXPECT_FALSE(Press(Command::Play));
  EXPECT_FALSE(SetLoop("Track"));
  // A handle that names no window is no main window either.
  app::MAINWINDOW = 77;
  EXPECT_FALSE(Press(Command::Next));
}

TEST(MediaKeys, LoopStatusNamesTheRepeatModes) {
  EXPECT_EQ(LoopName(0), "None");
  EXPECT_EQ(LoopName(1), "Track");
  EXPECT_EQ(LoopName(2), "Playlist");
  EXPECT_EQ(LoopName(3), "None");  // a mode the player never sets reads as none
  EXPECT_EQ(RepeatModeOf("None"), 0);
  EXPECT_EQ(RepeatModeOf("Track"), 1);
  EXPECT_EQ(RepeatModeOf("Playlist"), 2);
  for (const char* bad : {"", "track", "All", "Playlist ", "None\n"}) {
    EXPECT_EQ(RepeatModeOf(bad), std::nullopt) << bad;
  }
  struct Case {
    uint8_t from, to;
    int32_t clicks;
  };
  const Case cases[] = {{0, 0, 0}, {0, 1, 1}, {0, 2, 2}, {1, 0, 2}, {1, 2, 1},
                        {2, 0, 1}, {2, 1, 2}, {2, 2, 0}, {3, 1, 0}, {0, 9, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(RepeatClicks(c.from, c.to), c.clicks) << int{c.from} << "->" << int{c.to};
  }
}

TEST_F(MediaKeysTest, SetLoopClicksTheRepeatButtonUntilTheModeMatches) {
  OpenMain();
  app::REPEATMODE = 1;
  EXPECT_TRUE(SetLoop("None"));
  EXPECT_FALSE(SetLoop("Everything"));
  EXPECT_EQ(Clicks(), (std::vector<int32_t>{app::kRepeatButton, app::kRepeatButton}));
}

TEST_F(MediaKeysTest, PostedClicksWaitUnderADialogForTheMainWindowsLoop) {
  OpenMain();
  const runtime::WindowHandle about =
      runtime::WINDOWCREATE("P27$ABOUTWINDOW", runtime::testing::kTag, {});
  ASSERT_NE(about, 0) << runtime::WindowCreateError();
  runtime::WINDOWOPEN(about);
  app::PLAYING = 1;
  EXPECT_TRUE(Press(Command::Pause));
  // The dialog's loop sees its own events only.
  model_.SetIdleHandler([this, about] {
    platform::NativeInput close;
    close.type = platform::NativeInput::Type::CloseRequested;
    close.window = runtime::NativeWindowOf(about);
    model_.QueueInput(close);
  });
  std::vector<int32_t> dialogEvents;
  while (EVENTLOOP()) {
    dialogEvents.push_back(CURRENTEVENT());
  }
  EXPECT_EQ(dialogEvents,
            (std::vector<int32_t>{runtime::EVENT::OpenWindow, runtime::EVENT::CloseWindow}));
  runtime::WINDOWCLOSE(about);
  EXPECT_EQ(Clicks(), (std::vector<int32_t>{app::kPauseButton}));
}

TEST(MediaKeys, DeviceTimesAsFramesAndMicroseconds) {
  struct Case {
    const char* reply;
    std::optional<int64_t> frames;
  };
  const Case cases[] = {
      {"00:00:00", 0},
      {"05:37:01", (5 * 60 + 37) * 75 + 1},
      {"74:59:74", 337'499},
      {"100:00:00", 450'000},
      {"", std::nullopt},
      {"05:37", std::nullopt},
      {"05:60:00", std::nullopt},
      {"05:37:75", std::nullopt},
      {"276", std::nullopt},
      {"1:2:3:4", std::nullopt},
      {"a5:00:00", std::nullopt},
      {"::", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FramesOf(c.reply), c.frames) << c.reply;
  }
  EXPECT_EQ(MicrosecondsOf(75), 1'000'000);
  EXPECT_EQ(MicrosecondsOf(1), 13'333);
}

TEST_F(MediaKeysTest, WithoutADiscThereIsNoTrackNorStep) {
  OpenMain();
  app::PLAYING = 1;
  EXPECT_FALSE(HaveDisc());
  EXPECT_EQ(PlaybackShown(), Playback::Stopped);
  EXPECT_EQ(TrackNow(), Track{});
  EXPECT_EQ(PositionMicroseconds(), 0);
  EXPECT_FALSE(CanStep(1));
  EXPECT_FALSE(Step(-1));
  EXPECT_FALSE(SeekTo(0));
}

}  // namespace
}  // namespace vantora::desktop
