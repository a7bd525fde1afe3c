// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory window system.
#include "platform/model_window_system.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vantora::platform {
namespace {

// Native handles look like the platform's: distinct from the model's window numbers.
constexpr uint64_t kHandleBase = 0x10000;

constexpr size_t kPaintsKept = 1024;
constexpr size_t kBoxesKept = 64;

// The model places a default coordinate at 0.
Rect Resolve(Rect rect) {
  for (int32_t* value : {&rect.x, &rect.y, &rect.width, &rect.height}) {
    if (*value == kDefault) {
      *value = 0;
    }
  }
  return rect;
}

Rect Merge(const Rect& current, const Rect& change) {
  Rect out = current;
  if (change.x != kUnchanged)
    out.x = change.x;
  if (change.y != kUnchanged)
    out.y = change.y;
  if (change.width != kUnchanged)
    out.width = change.width;
  if (change.height != kUnchanged)
    out.height = change.height;
  return out;
}

// Every window's own procedure: it agrees to end the session and ignores the rest.
intptr_t DefaultProc(uint64_t /*hwnd*/, uint32_t message, uintptr_t /*wParam*/,
                     intptr_t /*lParam*/) {
  return message == WM_QUERYENDSESSION ? 1 : 0;
}

}  // namespace

ModelWindowSystem::WindowState* ModelWindowSystem::Find(uintptr_t window) {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : &found->second;
}

const ModelWindowSystem::WindowState* ModelWindowSystem::Find(uintptr_t window) const {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : &found->second;
}

ModelWindowSystem::ControlState* ModelWindowSystem::Find(uintptr_t window, int32_t control) {
  WindowState* state = Find(window);
  if (state == nullptr || control < 1 || static_cast<size_t>(control) > state->controls.size()) {
    return nullptr;
  }
  return &state->controls[static_cast<size_t>(control) - 1];
}

const ModelWindowSystem::ControlState* ModelWindowSystem::Find(uintptr_t window,
                                                               int32_t control) const {
  const WindowState* state = Find(window);
  if (state == nullptr || control < 1 || static_cast<size_t>(control) > state->controls.size()) {
    return nullptr;
  }
  return &state->controls[static_cast<size_t>(control) - 1];
}

const ModelWindowSystem::WindowState* ModelWindowSystem::Window(uintptr_t window) const {
  return Find(window);
}

const ModelWindowSystem::ControlState* ModelWindowSystem::Control(uintptr_t window,
                                                                  int32_t control) const {
  return Find(window, control);
}

std::vector<uintptr_t> ModelWindowSystem::Windows() const {
  std::vector<uintptr_t> out;
  for (const auto& [id, state] : windows_) {
    out.push_back(id);
  }
  return out;
}

uintptr_t ModelWindowSystem::CreateWindow(const NativeWindowSpec& spec) {
  if (refuse_) {
    return 0;
  }
  // Ids must run 1..n in order, as the description promises; anything else is refused.
  for (size_t i = 0; i < spec.controls.size(); ++i) {
    if (spec.controls[i].id != static_cast<int32_t>(i + 1)) {
      return 0;
    }
  }
  const uintptr_t id = nextWindow_++;
  WindowState state;
  state.spec = spec;
  state.title = spec.title;
  state.icon = spec.icon;
  state.rect = Resolve(spec.rect);
  state.nativeHandle = kHandleBase + id * 0x10;
  state.proc = reinterpret_cast<intptr_t>(&DefaultProc);
  for (const NativeControl& control : spec.controls) {
    ControlState c;
    c.spec = control;
    c.text = control.text;
    c.icon = control.icon;
    c.tip = control.tip;
    c.checked = control.checked;
    c.rect = Resolve(control.rect);
    state.controls.push_back(std::move(c));
  }
  windows_.emplace(id, std::move(state));
  return id;
}

bool ModelWindowSystem::ShowWindow(uintptr_t window) {
  WindowState* state = Find(window);
  return state != nullptr && (state->shown = true);
}

bool ModelWindowSystem::DestroyWindow(uintptr_t window) {
  return windows_.erase(window) == 1;
}

uint64_t ModelWindowSystem::NativeHandle(uintptr_t window) const {
  const WindowState* state = Find(window);
  return state == nullptr ? 0 : state->nativeHandle;
}

bool ModelWindowSystem::SetWindowTitle(uintptr_t window, std::string_view title) {
  WindowState* state = Find(window);
  if (state == nullptr)
    return false;
  state->title = title;
  return true;
}

bool ModelWindowSystem::SetWindowIcon(uintptr_t window, std::string_view icon) {
  WindowState* state = Find(window);
  if (state == nullptr)
    return false;
  state->icon = icon;
  return true;
}

std::optional<Rect> ModelWindowSystem::WindowRect(uintptr_t window) const {
  const WindowState* state = Find(window);
  if (state == nullptr)
    return std::nullopt;
  return state->rect;
}

bool ModelWindowSystem::SetWindowRect(uintptr_t window, const Rect& rect) {
  WindowState* state = Find(window);
  if (state == nullptr)
    return false;
  state->rect = Merge(state->rect, rect);
  return true;
}

bool ModelWindowSystem::IsIconized(uintptr_t window) const {
  const WindowState* state = Find(window);
  return state != nullptr && state->iconized;
}

bool ModelWindowSystem::SetIconized(uintptr_t window, bool iconized) {
  WindowState* state = Find(window);
  if (state == nullptr)
    return false;
  state->iconized = iconized;
  return true;
}

bool ModelWindowSystem::SetStayOnTop(uintptr_t window, bool onTop) {
  WindowState* state = Find(window);
  if (state == nullptr)
    return false;
  state->stayOnTop = onTop;
  return true;
}

uintptr_t ModelWindowSystem::WindowFromNativeHandle(uint64_t hwnd) const {
  for (const auto& [id, state] : windows_) {
    if (state.nativeHandle == hwnd) {
      return id;
    }
  }
  return 0;
}

intptr_t ModelWindowSystem::SetWindowProc(uintptr_t window, intptr_t proc) {
  WindowState* state = Find(window);
  if (state == nullptr)
    return 0;
  const intptr_t previous = state->proc;
  state->proc = proc;
  return previous;
}

bool ModelWindowSystem::SetText(uintptr_t window, int32_t control, std::string_view text) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->text = text;
  return true;
}

std::optional<std::string> ModelWindowSystem::Text(uintptr_t window, int32_t control) const {
  const ControlState* state = Find(window, control);
  if (state == nullptr)
    return std::nullopt;
  return state->text;
}

bool ModelWindowSystem::Type(uintptr_t window, int32_t control, std::string_view text) {
  return SetText(window, control, text);
}

bool ModelWindowSystem::SetIcon(uintptr_t window, int32_t control, std::string_view icon) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->icon = icon;
  return true;
}

bool ModelWindowSystem::SetTip(uintptr_t window, int32_t control, std::string_view tip) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->tip = tip;
  return true;
}

bool ModelWindowSystem::SetEnabled(uintptr_t window, int32_t control, bool enabled) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->enabled = enabled;
  return true;
}

bool ModelWindowSystem::SetHidden(uintptr_t window, int32_t control, bool hidden) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->hidden = hidden;
  return true;
}

bool ModelWindowSystem::SetChecked(uintptr_t window, int32_t control, bool checked) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->checked = checked;
  return true;
}

std::optional<Rect> ModelWindowSystem::ControlRect(uintptr_t window, int32_t control) const {
  const ControlState* state = Find(window, control);
  if (state == nullptr)
    return std::nullopt;
  return state->rect;
}

bool ModelWindowSystem::SetControlRect(uintptr_t window, int32_t control, const Rect& rect) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->rect = Merge(state->rect, rect);
  return true;
}

bool ModelWindowSystem::Focus(uintptr_t window, int32_t control) {
  WindowState* state = Find(window);
  if (state == nullptr || Find(window, control) == nullptr)
    return false;
  for (ControlState& c : state->controls) {
    c.focused = false;
  }
  Find(window, control)->focused = true;
  return true;
}

bool ModelWindowSystem::SetRows(uintptr_t window, int32_t control, const NativeRows* rows) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->rows = rows;
  return true;
}

bool ModelWindowSystem::SetSelectedRow(uintptr_t window, int32_t control, int32_t row) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  state->selectedRow = row;
  return true;
}

int32_t ModelWindowSystem::SelectedRow(uintptr_t window, int32_t control) const {
  const ControlState* state = Find(window, control);
  if (state == nullptr)
    return 0;
  const int32_t count = state->rows != nullptr ? state->rows->RowCount() : 0;
  return state->selectedRow <= count ? state->selectedRow : 0;
}

bool ModelWindowSystem::RefreshRows(uintptr_t window, int32_t control) {
  ControlState* state = Find(window, control);
  if (state == nullptr)
    return false;
  ++state->refreshes;
  state->selectedRow = SelectedRow(window, control);
  return true;
}

bool ModelWindowSystem::PaintNow(uintptr_t window, int32_t control) {
  const WindowState* state = Find(window);
  if (state == nullptr || (control != 0 && Find(window, control) == nullptr))
    return false;
  for (const ControlState& c : state->controls) {
    if (control == 0 || c.spec.id == control) {
      paints_.push_back({window, c.spec.id, c.text});
      if (paints_.size() > kPaintsKept) {
        paints_.pop_front();
      }
    }
  }
  return true;
}

int32_t ModelWindowSystem::MessageBox(uintptr_t owner, const MessageBoxSpec& spec) {
  ShownMessageBox shown{owner, spec, -1};
  if (!answers_.empty()) {
    const Answer answer = answers_.front();
    answers_.pop_front();
    if (answer.index >= 0) {
      if (static_cast<size_t>(answer.index) < spec.buttons.size()) {
        shown.answer = answer.index;
      }
    } else {
      for (size_t i = 0; i < spec.buttons.size(); ++i) {
        if (spec.buttons[i] == answer.label) {
          shown.answer = static_cast<int32_t>(i);
          break;
        }
      }
    }
  }
  boxes_.push_back(shown);
  if (boxes_.size() > kBoxesKept) {
    boxes_.erase(boxes_.begin());
  }
  return shown.answer;
}

void ModelWindowSystem::ShowNotice(uintptr_t owner, const MessageBoxSpec& spec) {
  // Never answered: the caller does not wait for it.
  boxes_.push_back({owner, spec, -1});
  if (boxes_.size() > kBoxesKept) {
    boxes_.erase(boxes_.begin());
  }
}

void ModelWindowSystem::WaitForInput(ClockTime deadline) {
  ++waits_;
  if (waitHook_) {
    waitHook_(deadline);
  }
  if (!script_.empty()) {
    const NativeInput input = script_.front();
    script_.pop_front();
    const bool pick =
        input.type == NativeInput::Type::RowSelected || input.type == NativeInput::Type::RowPicked;
    ControlState* list = pick ? Find(input.window, input.control) : nullptr;
    // A user can only highlight a row the list has.
    if (list != nullptr && input.row >= 0 &&
        input.row <= (list->rows != nullptr ? list->rows->RowCount() : 0)) {
      list->selectedRow = input.row;
    }
    if (sink_) {
      sink_(input);
    }
    return;
  }
  if (deadline != ClockTime::max()) {
    if (clock_ != nullptr) {
      clock_->Advance(deadline - clock_->Now());
      return;
    }
    const ClockTime now = CurrentClock().Now();
    if (deadline > now) {
      std::this_thread::sleep_for(deadline - now);
    }
    return;
  }
  if (idle_) {
    idle_();
    return;
  }
  std::fputs("model window system: waiting for input, but none is scripted\n", stderr);
  std::abort();
}

}  // namespace vantora::platform
