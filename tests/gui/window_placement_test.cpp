// SPDX-License-Identifier: GPL-3.0-or-later
// Window placement on real screens: a saved position that no screen shows is brought back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/qt_window_system.h"

namespace vantora::platform::qt {
namespace {

class WindowPlacement : public testing::Test {
 protected:
  void SetUp() override {
    NativeWindowSpec spec;
    spec.title = "Placement";
    spec.rect = {0, 0, 100, 60};
    window_ = system_.CreateWindow(spec);
    ASSERT_NE(window_, 0u);
    ASSERT_TRUE(system_.ShowWindow(window_));
  }
  void TearDown() override { system_.DestroyWindow(window_); }

  static int argc_;
  static char* argv_[];
  QtWindowSystem system_{argc_, argv_};
  uintptr_t window_ = 0;
};

int WindowPlacement::argc_ = 1;
char* WindowPlacement::argv_[] = {const_cast<char*>("window_placement_test"), nullptr};

TEST_F(WindowPlacement, PositionOnAScreenIsKept) {
  ASSERT_TRUE(system_.SetWindowRect(window_, {20, 30, kUnchanged, kUnchanged}));
  const auto rect = system_.WindowRect(window_);
  ASSERT_TRUE(rect.has_value());
  EXPECT_EQ(rect->x, 20);
  EXPECT_EQ(rect->y, 30);
  EXPECT_EQ(rect->width, 100);  // the size is left alone
}

TEST_F(WindowPlacement, PositionOfAMonitorThatIsGoneIsBroughtBack) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  for (const Rect far :
       {Rect{30000, 30000, kUnchanged, kUnchanged}, Rect{-30000, 10, kUnchanged, kUnchanged},
        Rect{10, -30000, kUnchanged, kUnchanged},
        Rect{INT32_MAX, INT32_MAX, kUnchanged, kUnchanged},
        Rect{INT32_MIN + 1, INT32_MIN + 1, kUnchanged, kUnchanged}}) {
    ASSERT_TRUE(system_.SetWindowRect(window_, far));
    const auto rect = system_.WindowRect(window_);
    ASSERT_TRUE(rect.has_value());
    // Back in window units; the window's corner must lie on the screen.
    EXPECT_GE(rect->x, 0);
    EXPECT_GE(rect->y, 0);
    EXPECT_LT(rect->x, screen.width());
    EXPECT_LT(rect->y, screen.height());
    EXPECT_EQ(rect->height, 60);
  }
}

}  // namespace
}  // namespace vantora::platform::qt
