// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop's media keys and the session bus see of the player, without the bus: its
// state as playback, repeat mode and track, and a command as the click on the main window's
// button that does it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantora::desktop {

enum class Playback : uint8_t { Stopped, Playing, Paused };
enum class Command : uint8_t { Play, Pause, PlayPause, Stop, Next, Previous };

// The player's playback now: PLAYING stays 1 while paused, so PAUSED decides between the two.
Playback PlaybackNow();
// "Playing", "Paused" or "Stopped".
std::string_view PlaybackName(Playback playback);

// The main window button whose click does `command` in `playback`; 0 when there is nothing to do
// (Play while playing, Pause unless playing, Stop while stopped).
int32_t ButtonFor(Command command, Playback playback);
// Queues that click for the main window's loop, as a click on it would; false when there is
// nothing to do or no main window.
bool Press(Command command);

// The repeat mode as a loop status ("None", "Track", "Playlist"), and back; nullopt for a name
// that is none of them.
std::string_view LoopName(uint8_t repeatMode);
std::optional<uint8_t> RepeatModeOf(std::string_view loopName);
// How many clicks of the repeat button take the mode from `from` to `to` (it cycles 0, 1, 2).
int32_t RepeatClicks(uint8_t from, uint8_t to);
// Queues the repeat button's clicks that bring the mode to `loopName`; false for an unknown name
// or no main window.
bool SetLoop(std::string_view loopName);

// The track the player is on, as the caption shows it.
struct Track {
  int32_t number = 0;  // 0: none
  std::string title;
  std::string album;
  std::string artist;
  int64_t lengthMicroseconds = 0;

  bool operator==(const Track&) const = default;
};
Track TrackNow();
// How far into the track the play head is; 0 when no time is shown.
int64_t PositionMicroseconds();

// Whether the main window is open to take the clicks.
bool HaveMainWindow();

}  // namespace vantora::desktop
