// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop's media keys and the session bus see of the player, without the bus.
#include "desktop/media_keys.h"

#include <algorithm>
#include <array>

#include "app/state.h"
#include "runtime/events.h"
#include "runtime/window.h"

namespace vantora::desktop {
namespace {

constexpr std::array<std::string_view, 3> kLoopNames = {"None", "Track", "Playlist"};
constexpr int64_t kMicrosecondsPerHundredth = 10'000;

}  // namespace

Playback PlaybackNow() {
  if (app::PLAYING == 0) {
    return Playback::Stopped;
  }
  return app::PAUSED != 0 ? Playback::Paused : Playback::Playing;
}

std::string_view PlaybackName(Playback playback) {
  switch (playback) {
    case Playback::Playing:
      return "Playing";
    case Playback::Paused:
      return "Paused";
    case Playback::Stopped:
      break;
  }
  return "Stopped";
}

int32_t ButtonFor(Command command, Playback playback) {
  switch (command) {
    case Command::Play:
      // The pause button resumes; the play button starts from stopped.
      if (playback == Playback::Stopped) {
        return app::kPlayButton;
      }
      return playback == Playback::Paused ? app::kPauseButton : 0;
    case Command::Pause:
      return playback == Playback::Playing ? app::kPauseButton : 0;
    case Command::PlayPause:
      return playback == Playback::Stopped ? app::kPlayButton : app::kPauseButton;
    case Command::Stop:
      // While playing or paused the play button stops.
      return playback == Playback::Stopped ? 0 : app::kPlayButton;
    case Command::Next:
      return app::kNextButton;
    case Command::Previous:
      return app::kPreviousButton;
  }
  return 0;
}

bool HaveMainWindow() {
  return app::MAINWINDOW != 0 && runtime::IsWindowOpen(app::MAINWINDOW);
}

bool Press(Command command) {
  const int32_t button = ButtonFor(command, PlaybackNow());
  if (button == 0 || !HaveMainWindow()) {
    return false;
  }
  runtime::POSTEVENTTO(app::MAINWINDOW, runtime::EVENT::Accepted, button);
  return true;
}

std::string_view LoopName(uint8_t repeatMode) {
  return repeatMode < kLoopNames.size() ? kLoopNames[repeatMode] : kLoopNames[0];
}

std::optional<uint8_t> RepeatModeOf(std::string_view loopName) {
  const auto found = std::find(kLoopNames.begin(), kLoopNames.end(), loopName);
  if (found == kLoopNames.end()) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(found - kLoopNames.begin());
}

int32_t RepeatClicks(uint8_t from, uint8_t to) {
  const int32_t modes = static_cast<int32_t>(kLoopNames.size());
  if (from >= modes || to >= modes) {
    return 0;
  }
  return (to - from + modes) % modes;
}

bool SetLoop(std::string_view loopName) {
  const std::optional<uint8_t> mode = RepeatModeOf(loopName);
  if (!mode || !HaveMainWindow()) {
    return false;
  }
  for (int32_t i = RepeatClicks(app::REPEATMODE, *mode); i > 0; --i) {
    runtime::POSTEVENTTO(app::MAINWINDOW, runtime::EVENT::Accepted, app::kRepeatButton);
  }
  return true;
}

Track TrackNow() {
  Track track;
  if (app::CURRENTTRACK <= 0) {
    return track;
  }
  track.number = app::CURRENTTRACK;
  track.title = app::CURRENTTITLE.str();
  track.album = app::ALBUMTITLE.str();
  track.artist = app::ALBUMARTIST.str();
  // A time value counts hundredths from 1.
  track.lengthMicroseconds =
      std::max<int64_t>(0, int64_t{app::TRACKLENGTH} - 1) * kMicrosecondsPerHundredth;
  return track;
}

int64_t PositionMicroseconds() {
  if (app::ALBUMELAPSED == 0) {
    return 0;
  }
  const int64_t hundredths =
      int64_t{app::ALBUMELAPSED} + int64_t{app::ALBUMSTART} - int64_t{app::TRACKSTART};
  return std::max<int64_t>(0, hundredths) * kMicrosecondsPerHundredth;
}

}  // namespace vantora::desktop
