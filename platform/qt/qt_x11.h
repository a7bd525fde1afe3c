// SPDX-License-Identifier: GPL-3.0-or-later
// What the window manager of an X display is asked directly, where Qt would re-create the window
// to say it.
#pragma once

class QWindow;

namespace vantora::platform::qt {

// Asks the window manager to keep the mapped window above the others, or no longer; false when
// the display is not an X display.
bool AskKeepAbove(QWindow& window, bool above);

// Gives the created window an empty name, where Qt would name it after the program.
void NameEmpty(QWindow& window);

}  // namespace vantora::platform::qt
