// SPDX-License-Identifier: GPL-3.0-or-later
// The vantora executable: everything lives in the app library.
#include "app/program.h"

int main(int argc, char** argv) {
  return vantora::app::RunProgram(argc, argv);
}
