// SPDX-License-Identifier: GPL-3.0-or-later
// Changes the settings file has not taken: the user is told, in the window, once per trouble.
#pragma once

namespace vantora::app {

// From the timer: once a change has waited kUnsavedGraceMs for the disk, a box that does not stop
// the player names the file and why; a box again only when that changes.
void WARNUNSAVED();

// After a save the file refused: a box over the window that made it, at once.
void TELLNOTSAVED();

}  // namespace vantora::app
