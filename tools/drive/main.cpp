// SPDX-License-Identifier: GPL-3.0-or-later
// vantora-drive: the user's hand on the virtual drive.
#include "platform/cdaudio/drive_tool.h"

int main(int argc, char** argv) {
  return vantora::platform::cdaudio::DriveToolMain(argc, argv);
}
