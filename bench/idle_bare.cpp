// SPDX-License-Identifier: GPL-3.0-or-later
// A bare Qt window with a timer as often as the player's poll: the floor for the idle player's
// cost. Runs until it is ended.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(400, 300);
  window.show();
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &window, [] {});
  tick.start(750);
  return QApplication::exec();
}
