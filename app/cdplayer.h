// SPDX-License-Identifier: GPL-3.0-or-later
// The main procedure: the player's window from start-up to close, and its native window hook.
#pragma once

#include <cstdint>
#include <functional>

namespace vantora::app {

// Creates and opens the main window, runs its event loop and closes it. Returns false when the
// window could not be created.
bool CDPLAYER();

// Installed in front of the main window's own procedure: saves the settings when the session
// ends, passes every other message on.
intptr_t CDPLAYERWNDPROC(uint64_t hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The main window's loop body for the current event; false when the loop is to end.
bool MAINWINDOWEVENT();

// Called once, at the first tick that finds the player settled: the device's mode as at the tick
// before, or no device to open. What a person would see then; the program's screenshot waits
// for it. The argument is the main window's native window.
void SetSettledHook(std::function<void(uintptr_t)> hook);

// Called after the main window's loop has handled each of its events: a tick's poll or a
// command, the only moments the player's state changes. Empty to remove.
void SetAfterEventHook(std::function<void()> hook);

}  // namespace vantora::app
