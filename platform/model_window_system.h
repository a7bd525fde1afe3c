// SPDX-License-Identifier: GPL-3.0-or-later
// A window system that keeps every window and control in memory: for tests, and for running the
// runtime without a display. Window units are pixels here: rects are stored and returned as given.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/window_system.h"

namespace vantora::platform {

class ModelWindowSystem final : public WindowSystem {
 public:
  struct ControlState {
    NativeControl spec;
    std::string text;
    std::string icon;
    std::string tip;
    bool enabled = true;
    bool hidden = false;
    bool checked = false;
    bool focused = false;
    Rect rect;
    const NativeRows* rows = nullptr;
    int32_t selectedRow = 0;  // as last set; SelectedRow() drops a row the rows no longer reach
    int32_t refreshes = 0;    // RefreshRows calls
  };
  struct WindowState {
    NativeWindowSpec spec;
    std::string title;
    std::string icon;
    Rect rect;
    bool shown = false;
    bool iconized = false;
    bool stayOnTop = false;
    uint64_t nativeHandle = 0;
    intptr_t proc = 0;
    std::vector<ControlState> controls;  // controls[id - 1]
  };
  // One control as PaintNow drew it.
  struct Paint {
    uintptr_t window = 0;
    int32_t control = 0;
    std::string text;
  };
  struct ShownMessageBox {
    uintptr_t owner = 0;
    MessageBoxSpec spec;
    int32_t answer = -1;
  };

  // With a manual clock, waits with nothing scripted move that clock to their deadline.
  explicit ModelWindowSystem(ManualClock* clock = nullptr) : clock_(clock) {}

  // Scripting. Input is delivered as the native controls would report it: a row selected or
  // picked in a list is highlighted there first.
  void QueueInput(const NativeInput& input) { script_.push_back(input); }
  size_t PendingInput() const { return script_.size(); }
  // Answers the next message box with the button of this label (or index, counted from 0).
  void AnswerMessageBox(std::string label) { answers_.push_back(std::move(label)); }
  void AnswerMessageBoxIndex(int32_t index) { answers_.push_back(index); }
  // Called when a wait has nothing to deliver and no deadline to reach; the default ends the
  // program with a message, so a test that forgot its input fails instead of hanging.
  void SetIdleHandler(std::function<void()> handler) { idle_ = std::move(handler); }
  // Called at the start of every wait, before anything is delivered or the clock moves; it may
  // script input for that wait. Scenario tests step through a program's run this way.
  void SetWaitHook(std::function<void(ClockTime deadline)> hook) { waitHook_ = std::move(hook); }
  // Refuses every CreateWindow from now on (0 is returned).
  void RefuseWindows(bool refuse) { refuse_ = refuse; }

  // Inspection: nullptr for a window or control that does not exist.
  const WindowState* Window(uintptr_t window) const;
  const ControlState* Control(uintptr_t window, int32_t control) const;
  // The message boxes shown, in order, the latest 64 of them (a long run keeps no more).
  const std::vector<ShownMessageBox>& MessageBoxes() const { return boxes_; }
  // The controls PaintNow drew, in order, the latest 1024 of them (a long run keeps no more); a
  // whole window adds each of its controls.
  const std::deque<Paint>& Paints() const { return paints_; }
  // Forgets the paints so far: a test that measures memory leaves the log out.
  void ClearPaints() { paints_.clear(); }
  // Live windows in creation order.
  std::vector<uintptr_t> Windows() const;
  int32_t Waits() const { return waits_; }

  // WindowSystem.
  void SetInputSink(NativeInputSink sink) override { sink_ = std::move(sink); }
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
  // Delivers the next scripted input; with none, moves the manual clock to a finite deadline (or,
  // without a manual clock, sleeps until it); with neither, calls the idle handler.
  void WaitForInput(ClockTime deadline) override;

  // Text typed into an entry by the user (as the native entry would hold it).
  bool Type(uintptr_t window, int32_t control, std::string_view text);

 private:
  WindowState* Find(uintptr_t window);
  const WindowState* Find(uintptr_t window) const;
  ControlState* Find(uintptr_t window, int32_t control);
  const ControlState* Find(uintptr_t window, int32_t control) const;

  ManualClock* clock_;
  NativeInputSink sink_;
  std::map<uintptr_t, WindowState> windows_;
  uintptr_t nextWindow_ = 1;
  std::deque<NativeInput> script_;
  struct Answer {
    Answer(std::string text) : label(std::move(text)) {}  // NOLINT: either form scripts an answer
    Answer(int32_t i) : index(i) {}                       // NOLINT
    std::string label;
    int32_t index = -1;
  };
  std::deque<Answer> answers_;
  std::vector<ShownMessageBox> boxes_;
  std::deque<Paint> paints_;
  std::function<void()> idle_;
  std::function<void(ClockTime)> waitHook_;
  bool refuse_ = false;
  int32_t waits_ = 0;
};

}  // namespace vantora::platform
