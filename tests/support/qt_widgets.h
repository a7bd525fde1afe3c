// SPDX-License-Identifier: GPL-3.0-or-later
// The player's runtime windows as Qt widgets: a control's widget found by the properties the Qt
// window system gives it, menu items, row drags, and the guard that keeps a stuck run from hanging.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/qt/qt_window_system.h"
#include "platform/window_system.h"
#include "runtime/window.h"
#include "tests/support/player_windows.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::runtime::testing {

// The native id of a control: its place in the definition's native layout, counted from 1.
inline int32_t Id(std::string_view windowName, int32_t number) {
  const auto definition = windows::FindWindowDefinition(kTag, windowName);
  if (!definition) {
    ADD_FAILURE() << "no window " << windowName;
    return 0;
  }
  const windows::NativeLayout layout = windows::ToNativeLayout(*definition);
  for (size_t i = 0; i < layout.controls.size(); ++i) {
    if (layout.controls[i]->number == number) {
      return static_cast<int32_t>(i + 1);
    }
  }
  ADD_FAILURE() << "no control " << number << " in " << windowName;
  return 0;
}

// The top-level widget of a runtime window, found through the current window system.
inline QWidget* TopLevel(WindowHandle window) {
  const uint64_t hwnd = platform::CurrentWindowSystem()->NativeHandle(NativeWindowOf(window));
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (hwnd != 0 && widget->internalWinId() != 0 &&
        static_cast<uint64_t>(widget->winId()) == hwnd) {
      return widget;
    }
  }
  return nullptr;
}

// The widget showing control `number` of a runtime window.
template <typename T = QWidget>
T* Widget(WindowHandle window, std::string_view windowName, int32_t number) {
  QWidget* top = TopLevel(window);
  const int32_t id = Id(windowName, number);
  const auto native = static_cast<qulonglong>(NativeWindowOf(window));
  for (QWidget* child : top == nullptr ? QList<QWidget*>{} : top->findChildren<QWidget*>()) {
    if (child->property("vantoraControl").toInt() == id &&
        child->property("vantoraWindow").toULongLong() == native) {
      if (auto* typed = qobject_cast<T*>(child)) {
        return typed;
      }
    }
  }
  ADD_FAILURE() << "no widget for control " << number << " of " << windowName;
  return nullptr;
}

// An item of a window's menu bar; an empty `menuText` looks in every menu.
inline QAction* MenuItem(WindowHandle window, const QString& menuText, const QString& itemText) {
  QWidget* top = TopLevel(window);
  QMenuBar* bar = top == nullptr ? nullptr : top->findChild<QMenuBar*>();
  for (QAction* menu : bar == nullptr ? QList<QAction*>{} : bar->actions()) {
    if (menu->menu() == nullptr || (!menuText.isEmpty() && menu->text() != menuText)) {
      continue;
    }
    for (QAction* item : menu->menu()->actions()) {
      if (item->text() == itemText) {
        return item;
      }
    }
  }
  ADD_FAILURE() << "no menu item " << itemText.toStdString();
  return nullptr;
}

// Opens the item's menu and clicks the item, as the user does.
inline void PickMenuItem(QAction* item, int exposeMs) {
  ASSERT_NE(item, nullptr);
  auto* menu = qobject_cast<QMenu*>(item->parent());
  ASSERT_NE(menu, nullptr);
  menu->popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu, exposeMs));
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
}

// The centre of a list's row (counted from 0).
inline QPoint RowCentre(QTreeView* list, int index) {
  return list->visualRect(list->model()->index(index, 0)).center();
}

// Presses a list's row (counted from 0), moves past the drag distance and over `point` of
// `target`, calls `midway` there and releases.
inline void DragRow(QTreeView* source, int index, QWidget* target, QPoint point,
                    const std::function<void()>& midway = {}) {
  const QPoint start = RowCentre(source, index);
  QTest::mousePress(source->viewport(), Qt::LeftButton, {}, start);
  QTest::mouseMove(source->viewport(), start + QPoint(0, 4));
  QTest::mouseMove(source->viewport(),
                   source->viewport()->mapFromGlobal(target->mapToGlobal(point)));
  if (midway) {
    midway();
  }
  QTest::mouseRelease(target, Qt::LeftButton, {}, point);
}

// Answers every message box on show with its escape: a box nobody answers holds its loop.
inline void DismissBoxes() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
      box->done(0);
    }
  }
}

// The boxes answered and any open menu or drop list closed.
inline void DismissBoxesAndPopups() {
  DismissBoxes();
  while (QWidget* popup = QApplication::activePopupWidget()) {
    popup->close();
  }
}

// A wait nobody ends would hang the run: after `limitMs` the guard adds `failure`, then every
// 100 ms calls `unblock` and asks the window on top to close, until it is gone.
class RunGuard {
 public:
  RunGuard(platform::qt::QtWindowSystem& system, int limitMs, std::string failure,
           std::function<void()> unblock)
      : system_(system), failure_(std::move(failure)), unblock_(std::move(unblock)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
    timer_.start(limitMs);
  }
  ~RunGuard() { timer_.stop(); }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

 private:
  void Fire() {
    if (!fired_) {
      ADD_FAILURE() << failure_;
    }
    fired_ = true;
    unblock_();
    if (const WindowHandle current = CurrentWindow(); current != 0) {
      system_.RequestClose(NativeWindowOf(current));
    }
    timer_.start(100);
  }

  platform::qt::QtWindowSystem& system_;
  std::string failure_;
  std::function<void()> unblock_;
  QTimer timer_;
  bool fired_ = false;
};

}  // namespace vantora::runtime::testing
