// SPDX-License-Identifier: GPL-3.0-or-later
// vantora-drive: the user's hand on the virtual drive, as a command line tool.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vantora::platform::cdaudio {

// Runs the tool with its arguments (without the program name), writing to `out` and `err`.
// Returns 0 on success, 1 when the drive refused, 2 for a bad command line.
int RunDriveTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The tool's main: RunDriveTool on the process's arguments and standard streams.
int DriveToolMain(int argc, char** argv);

}  // namespace vantora::platform::cdaudio
