// SPDX-License-Identifier: GPL-3.0-or-later
// The window system on Qt Widgets: real top-level windows built from native window descriptions.
// This header keeps Qt out of its includers; only platform/qt sees Qt itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_system.h"

namespace vantora::platform::qt {

// A window's rect in window units is its client area: the toolbar strip and the body below it,
// without frame and menu bar; x and y are the frame's position on the screen. Body controls are
// placed relative to the area below the toolbar (children of groups and tabs too), toolbar
// controls relative to the toolbar. Status texts show in the tool tip, under the tip.
class QtWindowSystem final : public WindowSystem {
 public:
  // Starts Qt's application object when the process has none yet (then owned by this object, and
  // argc/argv must outlive it).
  QtWindowSystem(int& argc, char** argv);
  ~QtWindowSystem() override;
  QtWindowSystem(const QtWindowSystem&) = delete;
  QtWindowSystem& operator=(const QtWindowSystem&) = delete;

  void SetInputSink(NativeInputSink sink) override;
  uintptr_t CreateWindow(const NativeWindowSpec& spec) override;
  bool ShowWindow(uintptr_t window) override;
  bool DestroyWindow(uintptr_t window) override;
  uint64_t NativeHandle(uintptr_t window) const override;
  bool SetWindowTitle(uintptr_t window, std::string_view title) override;
  bool SetWindowIcon(uintptr_t window, std::string_view icon) override;
  std::optional<Rect> WindowRect(uintptr_t window) const override;
  bool SetWindowRect(uintptr_t window, const Rect& rect) override;
  bool IsIconized(uintptr_t window) const override;
  bool SetIconized(uintptr_t window, bool iconized) override;
  bool SetStayOnTop(uintptr_t window, bool onTop) override;
  uintptr_t WindowFromNativeHandle(uint64_t hwnd) const override;
  intptr_t SetWindowProc(uintptr_t window, intptr_t proc) override;
  bool SetText(uintptr_t window, int32_t control, std::string_view text) override;
  std::optional<std::string> Text(uintptr_t window, int32_t control) const override;
  bool SetIcon(uintptr_t window, int32_t control, std::string_view icon) override;
  bool SetTip(uintptr_t window, int32_t control, std::string_view tip) override;
  bool SetEnabled(uintptr_t window, int32_t control, bool enabled) override;
  bool SetHidden(uintptr_t window, int32_t control, bool hidden) override;
  bool SetChecked(uintptr_t window, int32_t control, bool checked) override;
  std::optional<Rect> ControlRect(uintptr_t window, int32_t control) const override;
  bool SetControlRect(uintptr_t window, int32_t control, const Rect& rect) override;
  bool Focus(uintptr_t window, int32_t control) override;
  bool SetRows(uintptr_t window, int32_t control, const NativeRows* rows) override;
  bool SetSelectedRow(uintptr_t window, int32_t control, int32_t row) override;
  int32_t SelectedRow(uintptr_t window, int32_t control) const override;
  bool RefreshRows(uintptr_t window, int32_t control) override;
  bool PaintNow(uintptr_t window, int32_t control) override;
  int32_t MessageBox(uintptr_t owner, const MessageBoxSpec& spec) override;
  void ShowNotice(uintptr_t owner, const MessageBoxSpec& spec) override;
  void WaitForInput(ClockTime deadline) override;
  void Wake() override;

  // Whether the control is shown (its own state, its parents' and its tab's), as the user sees it.
  bool IsControlVisible(uintptr_t window, int32_t control) const;
  bool IsControlEnabled(uintptr_t window, int32_t control) const;
  bool IsStayOnTop(uintptr_t window) const;

  // Saves a picture of the window's contents (menu bar and client area) as a PNG file.
  bool SaveWindowImage(uintptr_t window, const std::string& path) const;

  // Called with the local files dropped onto a window that has no owner (the main window), in
  // the drag's order. Such windows take drags of local files once a handler is set; a drag that
  // carries none is refused. The handler runs from the event loop after the drop has ended,
  // never while a window is modal; an empty handler stops taking files.
  using FileDropHandler =
      std::function<void(uintptr_t window, std::vector<std::filesystem::path> files)>;
  void SetFileDropHandler(FileDropHandler handler);

  // Reports the close box for the window, as if the user had clicked it.
  void RequestClose(uintptr_t window);
  // Runs `action` once, `milliseconds` after the next window is shown (a picture of the program
  // for a person on a machine without a screen, a word about what could not be opened).
  void AfterFirstShow(int milliseconds, std::function<void(uintptr_t)> action);

  // The end of the session: WM_QUERYENDSESSION and then WM_ENDSESSION (wParam 1) go through every
  // window's procedure chain, after which `SetSessionEndAction`'s action runs (by default the
  // process exits with code 0). The session manager and the signals below arrive here.
  void EndSession();
  void SetSessionEndAction(std::function<void()> action);
  // Routes SIGTERM, SIGHUP and SIGINT to EndSession through the event loop; undone by the
  // destructor.
  bool InstallSessionEndSignals();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Shows a fatal error: a modal box with the caption, the message and the buttons OK and Cancel.
// Starts Qt's application object for the box when the process has none.
void ShowFatalMessage(std::string_view caption, std::string_view message);

}  // namespace vantora::platform::qt
