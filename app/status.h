// SPDX-License-Identifier: GPL-3.0-or-later
// The player's state as the drive reports it: the status poll and what a change of mode does.
#pragma once

namespace vantora::app {

// Asks the drive whether it is ready and in which mode; a change of mode runs MODECHANGED, and
// while a disc plays the times and the status line are renewed.
void POLLSTATUS();
// Brings the window into line with a change from OLDMODE to NEWMODE: first what leaving the old
// mode requires (the end of a play among it), then what entering the new one does.
void MODECHANGED();
// While playing: the times, and "Playing Track " with the current track.
void SHOWPLAYING();

}  // namespace vantora::app
