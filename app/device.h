// SPDX-License-Identifier: GPL-3.0-or-later
// The player's device commands: every exchange with the CD drive goes through MCICOMMAND.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantora::app {

// Sends a command to the cdaudio device (with modeQuery set, "status cdaudio mode" instead) and
// pushes the reply on the value stack: "true" as "1", "false" as "", an already open device as
// "1", any other failure as its error number.
void MCICOMMAND(std::string_view command, bool modeQuery = false);
// MCICOMMAND with the reply popped.
std::string MciCommand(std::string_view command, bool modeQuery = false);

// Opens the device, or shows the player as unavailable and retries on the slow timer.
void OPENCDDEVICE();
void DISABLEPLAYER();
void ENABLEPLAYER();
// Makes entry `position` of the play order current (wrapping at both ends) and plays it when
// `start` is non-zero. Returns whether a play was started: the device took the play command.
bool PLAYENTRY(int32_t position, int32_t start);
// Pauses, or resumes a paused play.
void PAUSEPLAYER();
// Stops and rewinds.
void STOPPLAYER();
// Moves the head `frames` (75 to the second) into the current entry's track: a play goes on from
// there to where the entry ends, a pause stays paused there. Nothing while stopped. Returns
// whether the device took the move.
bool SEEKENTRY(int64_t frames);

// Called at every poll: an entry's end that falls before the next tick is met by an extra tick.
void WATCHENTRYEND();

}  // namespace vantora::app
