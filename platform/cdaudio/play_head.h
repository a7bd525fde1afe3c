// SPDX-License-Identifier: GPL-3.0-or-later
// How a drive's play head moves: the rules every drive keeps, worked on the head of a DriveState.
#pragma once

#include <string_view>

#include "platform/cdaudio/cd_drive.h"
#include "platform/cdaudio/drive_state.h"
#include "platform/clock.h"

namespace vantora::platform::cdaudio {

// Puts the head down at `place`, stopped, as of `now`.
void RestHead(DriveState& state, Frames place, ClockTime now);

// Brings the stored head up to `now` (as `view` sees it) before it is changed, so a change starts
// from the truth. A head recorded on another time line counts as settled from now on.
void SettleHead(DriveState& state, const DriveView& view, ClockTime now, std::string_view domain);

// Starts a play of [from, to) on the state's disc, which must have tracks: OutOfRange unless
// start of track 1 <= from <= to <= lead-out, Hardware when `from` lies in a data track. Sound
// ends where a data track begins; a play of nothing leaves the head stopped at `from`.
DriveStatus StartPlay(DriveState& state, Frames from, Frames to, ClockTime now);

// What a connected drive seen as `view` is doing.
DriveMode ModeOf(const DriveView& view);

// Ends play and moves the head to `to`: OutOfRange unless start of track 1 <= to <= lead-out.
DriveStatus SeekHead(DriveState& state, Frames to, ClockTime now);

}  // namespace vantora::platform::cdaudio
