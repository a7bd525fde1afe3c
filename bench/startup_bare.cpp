// SPDX-License-Identifier: GPL-3.0-or-later
// A bare Qt window of a given size, ending once it has its first frame: the yardstick for the
// player's start-up.
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "bench/first_frame.h"

namespace {

int ParseSize(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value > 0 && value <= 10000 ? static_cast<int>(value) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc == 3 ? ParseSize(argv[1]) : 0;
  const int height = argc == 3 ? ParseSize(argv[2]) : 0;
  if (width == 0 || height == 0) {
    std::fputs("usage: startup_bare WIDTH HEIGHT\n", stderr);
    return 2;
  }
  vantora::bench::ReportFirstFrame();
  QApplication app(argc, argv);
  QWidget window;
  window.resize(width, height);
  window.show();
  return QApplication::exec();
}
