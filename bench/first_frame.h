// SPDX-License-Identifier: GPL-3.0-or-later
// Ends a Qt program once its first window has a painted frame, after printing when that was: the
// start-up probe that the start-up benchmark runs as a child process.
#pragma once

#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace vantora::bench {

// Watches every event of the application for the first paint of a widget.
class FirstFrameFilter final : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
      seen_ = true;
      window_ = static_cast<QWidget*>(watched)->window();
      // The window's other widgets and the flush belong to the same frame; the loop takes this
      // only after them.
      QMetaObject::invokeMethod(
          this, [this] { Report(); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  // Prints "first-frame NANOSECONDS WIDTH HEIGHT PLATFORM" (the system-wide monotonic clock, which
  // the parent reads too) and ends the process at once: what follows is no longer start-up.
  void Report() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long at = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    std::printf("first-frame %lld %d %d %s\n", at, window_ ? window_->width() : 0,
                window_ ? window_->height() : 0, qPrintable(QGuiApplication::platformName()));
    std::fflush(stdout);
    std::_Exit(0);
  }

  bool seen_ = false;
  QPointer<QWidget> window_;
};

inline void InstallFirstFrameFilter() {
  QCoreApplication* app = QCoreApplication::instance();
  // Owned by the application object, which the program creates itself.
  app->installEventFilter(new FirstFrameFilter(app));
}

// Call before the program creates its application object: the filter goes in as it is created,
// so the program starts exactly as it would without the probe.
inline void ReportFirstFrame() {
  qAddPreRoutine(InstallFirstFrameFilter);
}

}  // namespace vantora::bench
