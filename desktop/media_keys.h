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
// What the desktop is shown: stopped whenever there is no disc to play (door open, no disc, no
// drive), though PLAYING keeps what the play was until the disc is back.
Playback PlaybackShown();
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

// The track the bus shows: the play order's current entry, which is the one that plays, or the
// one selected while stopped. Title, number and length are all that entry's.
struct Track {
  int32_t number = 0;  // 0: none
  std::string title;
  std::string album;
  std::string artist;
  int64_t lengthMicroseconds = 0;  // 0: not known

  bool operator==(const Track&) const = default;
};
Track TrackNow();
// How far into that track the head is, at the device's frame resolution; 0 while stopped, and
// never past the track's ends.
int64_t PositionMicroseconds();

// A device reply mm:ss:ff as frames (75 to the second); nullopt for anything else.
std::optional<int64_t> FramesOf(std::string_view msf);
inline constexpr int64_t MicrosecondsOf(int64_t frames) {
  return frames * 1'000'000 / 75;
}

// Whether there is a disc to play: the device open, its door shut and a disc in.
bool HaveDisc();
// Whether Next and Previous have an entry to go to: wrapping round needs a loop status.
bool CanStep(int32_t step);
// Next (+1) or Previous (-1) as the interface has them: a play goes on with that entry, a pause
// stays paused at its start, a stop only selects it. False when there is no such entry.
bool Step(int32_t step);
// Moves the head to `microseconds` into the current track; false when stopped, out of the track
// or refused by the device.
bool SeekTo(int64_t microseconds);

// Whether the main window is open to take the clicks.
bool HaveMainWindow();

}  // namespace vantora::desktop
