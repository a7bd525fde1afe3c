// SPDX-License-Identifier: GPL-3.0-or-later
// The vantora program, started as it always is, ending once its main window has its first frame.
#include "app/program.h"
#include "bench/first_frame.h"

int main(int argc, char** argv) {
  vantora::bench::ReportFirstFrame();
  return vantora::app::RunProgram(argc, argv);
}
