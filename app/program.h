// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: command-line handling and the start of the player.
#pragma once

namespace vantora::app {

// Runs the program with its command line; returns the process exit code.
int RunProgram(int argc, char** argv);

}  // namespace vantora::app
