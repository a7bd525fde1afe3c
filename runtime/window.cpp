// SPDX-License-Identifier: GPL-3.0-or-later
// Windows, the event loop, control ranges, properties and message boxes.
#include "runtime/window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/profile/profile.h"
#include "platform/window_system.h"
#include "runtime/decimal.h"
#include "runtime/errors.h"
#include "runtime/field.h"
#include "runtime/list_control.h"
#include "runtime/picture.h"
#include "runtime/value_stack.h"
#include "windows/definition.h"
#include "windows/native_spec.h"

namespace vantora::runtime {
namespace {

using platform::ClockTime;
using platform::NativeInput;
using platform::NativeKind;

constexpr uint32_t kLastKeyMask = 0x7FF;
constexpr int32_t kMouseRowCount = 3;

struct Event {
  int32_t value = 0;
  int32_t control = 0;  // control number; 0 for window events
  uint32_t key = 0;
  std::string dropTag;     // EVENT:Drag (the drop it carries) and EVENT:Drop
  int32_t dropTarget = 0;  // EVENT:Drag: the control that gets EVENT:Drop once the body is done
  bool skipped = false;
};

Event MakeEvent(int32_t value, int32_t control = 0, uint32_t key = 0) {
  Event event;
  event.value = value;
  event.control = control;
  event.key = key;
  return event;
}

Event MakeDropEvent(int32_t value, int32_t control, std::string tag, int32_t target, uint32_t key) {
  Event event = MakeEvent(value, control, key);
  event.dropTag = std::move(tag);
  event.dropTarget = target;
  return event;
}

struct ControlObject {
  int32_t id = 0;
  uint16_t number = 0;
  const windows::Control* definition = nullptr;
  NativeKind kind = NativeKind::Region;
  bool checkable = false;
  bool closesWindow = false;
  std::string text;
  std::string icon;
  std::string tip;
  bool enabled = true;
  bool hidden = false;
  bool checked = false;
  // Stored 0-based; -1 is none.
  std::array<int32_t, kMouseRowCount> mouseRows{-1, -1, -1};
  void* variable = nullptr;
  size_t size = 0;
  DataType type = DataType::Text;
  QueueDescriptor* queue = nullptr;
  std::unique_ptr<ListRows> rows;
  Picture picture;
  bool hasPicture = false;

  bool IsList() const { return kind == NativeKind::List || kind == NativeKind::DropList; }
};

struct Window {
  WindowHandle handle = 0;
  std::unique_ptr<windows::WindowDefinition> definition;
  windows::NativeLayout layout;
  std::vector<ControlObject> controls;  // controls[id - 1]
  platform::WindowSystem* system = nullptr;
  uintptr_t native = 0;
  bool opened = false;
  bool looping = false;
  bool hasCurrent = false;
  Event current;
  std::deque<Event> events;
  int32_t timer = 0;  // hundredths of a second; 0 stopped
  ClockTime nextTick{0};
  std::optional<ClockTime> extraTick;  // one timer event besides the timer's beat
  std::string title;
  std::string icon;
  std::string helpTopic;
};

struct Runtime {
  std::map<WindowHandle, std::unique_ptr<Window>> windows;
  std::vector<WindowHandle> current;  // the current window is the last one
  WindowHandle nextHandle = 1;
  WindowHandle lastCreated = 0;
  std::string helpFile;
  std::string createError;
  std::map<int32_t, int32_t> systemTimingMs;
  // The entry whose edit was reported last, when nothing came after it: Enter after an edit
  // reports both the edit and the activation, and one EVENT:Accepted is enough.
  uintptr_t editedWindow = 0;
  int32_t editedEntry = 0;
};

Runtime& State() {
  static Runtime runtime;
  return runtime;
}

ClockTime Now() {
  return platform::CurrentClock().Now();
}

Window* Find(WindowHandle handle) {
  const auto found = State().windows.find(handle);
  return found == State().windows.end() ? nullptr : found->second.get();
}

Window* Current() {
  Runtime& state = State();
  while (!state.current.empty()) {
    Window* window = Find(state.current.back());
    if (window != nullptr && window->opened) {
      return window;
    }
    state.current.pop_back();
  }
  return nullptr;
}

void LeaveCurrent(WindowHandle handle) {
  std::vector<WindowHandle>& stack = State().current;
  stack.erase(std::remove(stack.begin(), stack.end(), handle), stack.end());
}

ControlObject* ByNumber(Window& window, int32_t number) {
  if (number <= 0) {
    return nullptr;
  }
  for (ControlObject& control : window.controls) {
    if (control.number == number) {
      return &control;
    }
  }
  return nullptr;
}

ControlObject* ById(Window& window, int32_t id) {
  if (id < 1 || static_cast<size_t>(id) > window.controls.size()) {
    return nullptr;
  }
  return &window.controls[static_cast<size_t>(id) - 1];
}

int32_t ToInt(std::string_view text) {
  const double value = RealFromText(CLIP(text));
  if (std::isnan(value)) {
    return 0;
  }
  return static_cast<int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

// Bound variables.

int32_t ReadNumber(const ControlObject& control) {
  if (control.variable == nullptr) {
    return control.checked ? 1 : 0;
  }
  switch (control.type) {
    case DataType::Byte:
      return *static_cast<const uint8_t*>(control.variable);
    case DataType::Long:
      if (control.size >= sizeof(int32_t)) {
        int32_t value = 0;
        std::memcpy(&value, control.variable, sizeof value);
        return value;
      }
      return 0;
    case DataType::Text:
      return ToInt(
          std::string_view(static_cast<const char*>(control.variable), TextBytes(control.size)));
  }
  return ToInt(std::string_view(static_cast<const char*>(control.variable), control.size));
}

std::string VariableText(const ControlObject& control) {
  if (control.variable == nullptr) {
    return {};
  }
  if (control.type == DataType::Text) {
    return std::string(static_cast<const char*>(control.variable), TextBytes(control.size));
  }
  if (control.type == DataType::Byte && control.size > 1) {
    return std::string(static_cast<const char*>(control.variable), control.size);
  }
  return std::to_string(ReadNumber(control));
}

void WriteText(ControlObject& control, std::string_view text) {
  if (control.variable == nullptr) {
    return;
  }
  switch (control.type) {
    case DataType::Byte:
      if (control.size == 1) {
        *static_cast<uint8_t*>(control.variable) = static_cast<uint8_t>(ToInt(text));
        return;
      }
      break;
    case DataType::Long:
      if (control.size >= sizeof(int32_t)) {
        const int32_t value = ToInt(text);
        std::memcpy(control.variable, &value, sizeof value);
      }
      return;
    case DataType::Text:
      AssignText(static_cast<char*>(control.variable), control.size, text.data(), text.size());
      return;
  }
  AssignFixed(static_cast<char*>(control.variable), control.size, text.data(), text.size());
}

void WriteNumber(ControlObject& control, int32_t value) {
  WriteText(control, std::to_string(value));
}

// Event queueing.

void Queue(Window& window, Event event) {
  window.events.push_back(std::move(event));
}

void QueueField(Window& window, const ControlObject& control, int32_t value, uint32_t key = 0) {
  // A control without a number raises nothing a procedure could look at.
  if (control.number == 0) {
    return;
  }
  Queue(window, MakeEvent(value, control.number, key));
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

// The source's drag identifier that the target accepts; "" when it accepts none.
std::string MatchDrop(const ControlObject& source, const ControlObject& target) {
  if (source.definition == nullptr || target.definition == nullptr) {
    return {};
  }
  for (const std::string& drag : source.definition->dragIds) {
    for (const std::string& drop : target.definition->dropIds) {
      if (Upper(CLIP(drag)) == Upper(CLIP(drop))) {
        return drag;
      }
    }
  }
  return {};
}

Window* FindByNative(uintptr_t native) {
  for (auto& [handle, window] : State().windows) {
    if (window->opened && window->native == native) {
      return window.get();
    }
  }
  return nullptr;
}

// Copies an entry's text into its bound variable through the entry's picture.
void Read(Window& window, ControlObject& control) {
  if (control.kind != NativeKind::Entry || control.variable == nullptr) {
    return;
  }
  if (std::optional<std::string> text = window.system->Text(window.native, control.id)) {
    control.text = std::move(*text);
  }
  WriteText(control,
            control.hasPicture ? DeformatText(control.text, control.picture) : control.text);
}

// Whether the user can reach the control: enabled, and neither it nor a parent hidden.
bool Reachable(const Window& window, const ControlObject& control) {
  if (!control.enabled) {
    return false;
  }
  const std::vector<platform::NativeControl>& natives = window.layout.spec.controls;
  int32_t id = control.id;
  for (size_t depth = 0; id > 0 && depth <= natives.size(); ++depth) {
    const auto index = static_cast<size_t>(id) - 1;
    if (index >= window.controls.size() || window.controls[index].hidden) {
      return false;
    }
    id = index < natives.size() ? natives[index].parent : 0;
  }
  return true;
}

void OnInput(const NativeInput& input) {
  Runtime& state = State();
  const bool afterEdit =
      state.editedWindow == input.window && state.editedEntry == input.control && input.window != 0;
  state.editedWindow = 0;
  state.editedEntry = 0;
  Window* window = FindByNative(input.window);
  // A modal window owns the input: nothing reaches the windows beneath it.
  if (window == nullptr || window != Current()) {
    return;
  }
  ControlObject* control = ById(*window, input.control);
  switch (input.type) {
    case NativeInput::Type::CloseRequested:
      Queue(*window, MakeEvent(EVENT::CloseWindow));
      return;
    case NativeInput::Type::Moved:
      Queue(*window, MakeEvent(EVENT::Moved));
      return;
    case NativeInput::Type::Iconized:
      Queue(*window, MakeEvent(window->system->IsIconized(window->native) ? EVENT::Iconized
                                                                          : EVENT::Restored));
      return;
    default:
      break;
  }
  if (control == nullptr || !Reachable(*window, *control)) {
    return;
  }
  switch (input.type) {
    case NativeInput::Type::Activated:
      if (control->closesWindow) {
        Queue(*window, MakeEvent(EVENT::CloseWindow, 0, input.key));
      } else if (control->checkable) {
        const bool on = ReadNumber(*control) == 0;
        WriteNumber(*control, on ? 1 : 0);
        control->checked = on;
        window->system->SetChecked(window->native, control->id, on);
        QueueField(*window, *control, EVENT::Accepted, input.key);
      } else if (control->kind != NativeKind::Entry || !afterEdit) {
        QueueField(*window, *control, EVENT::Accepted, input.key);
      }
      return;
    case NativeInput::Type::EntryChanged:
      // The edit reaches the bound variable before anything that follows it, so a procedure
      // that only redisplays keeps what the user typed.
      Read(*window, *control);
      state.editedWindow = input.window;
      state.editedEntry = input.control;
      QueueField(*window, *control, EVENT::Accepted, input.key);
      return;
    case NativeInput::Type::RowPicked:
      if (control->kind == NativeKind::DropList) {
        // A row that is not there (the queue changed under the list) picks nothing.
        std::optional<std::string> value;
        if (control->rows) {
          value = control->rows->Value(input.row, 0);
        }
        if (!value) {
          return;
        }
        WriteText(*control, *value);
        control->text = CLIP(*value);
        QueueField(*window, *control, EVENT::Accepted, input.key);
        return;
      }
      [[fallthrough]];
    case NativeInput::Type::RowSelected:
      QueueField(*window, *control, EVENT::NewSelection, input.key);
      return;
    case NativeInput::Type::MouseRow:
      if (control->IsList()) {
        const auto which = static_cast<size_t>(input.mouse);
        if (which < control->mouseRows.size()) {
          control->mouseRows[which] = input.row > 0 ? input.row - 1 : -1;
        }
      }
      return;
    case NativeInput::Type::AlertKey:
      QueueField(*window, *control, EVENT::AlertKey, input.key);
      return;
    case NativeInput::Type::Dropped: {
      ControlObject* target = ById(*window, input.target);
      if (target == nullptr || target->number == 0 || control->number == 0 ||
          !Reachable(*window, *target)) {
        return;
      }
      std::string tag = MatchDrop(*control, *target);
      if (tag.empty()) {
        return;
      }
      target->mouseRows[2] = input.row > 0 ? input.row - 1 : -1;
      Queue(*window,
            MakeDropEvent(EVENT::Drag, control->number, std::move(tag), target->number, input.key));
      return;
    }
    default:
      return;
  }
}

void InstallSink(platform::WindowSystem& system) {
  system.SetInputSink([](const NativeInput& input) { OnInput(input); });
}

// Ranges.

template <typename Action>
void ForRange(Window& window, int32_t first, int32_t last, Action action) {
  if (first == 0 && last == 0) {
    for (ControlObject& control : window.controls) {
      action(control);
    }
    return;
  }
  if (last == 0) {
    last = first;
  }
  if (first > last) {
    std::swap(first, last);
  }
  for (ControlObject& control : window.controls) {
    if (control.number != 0 && control.number >= first && control.number <= last) {
      action(control);
    }
  }
}

std::string Shown(const ControlObject& control, std::string_view value) {
  if (!control.hasPicture) {
    return std::string(CLIP(value));
  }
  return std::string(CLIP(FormatText(value, control.picture)));
}

void Refresh(Window& window, ControlObject& control) {
  platform::WindowSystem& system = *window.system;
  if (control.checkable) {
    control.checked = ReadNumber(control) != 0;
    system.SetChecked(window.native, control.id, control.checked);
    return;
  }
  switch (control.kind) {
    case NativeKind::String:
    case NativeKind::Entry:
    case NativeKind::TextBox:
      if (control.variable != nullptr) {
        control.text = Shown(control, VariableText(control));
        system.SetText(window.native, control.id, control.text);
      }
      return;
    case NativeKind::DropList:
      if (control.variable != nullptr) {
        const std::string value = VariableText(control);
        // A row holding the value becomes the selected one, the chosen row before any other
        // that repeats its text; a value that names no row keeps the selection there was.
        const int32_t highlighted = system.SelectedRow(window.native, control.id);
        int32_t row = control.rows ? control.rows->RowFor(value, highlighted) : 0;
        if (row == 0) {
          row = highlighted;
        }
        control.text = std::string(CLIP(value));
        system.SetText(window.native, control.id, control.text);
        system.SetSelectedRow(window.native, control.id, row);
      }
      [[fallthrough]];
    case NativeKind::List:
      system.RefreshRows(window.native, control.id);
      return;
    default:
      return;
  }
}

// Ends the loop of a window: it is no longer current.
void EndLoop(Window& window) {
  window.looping = false;
  window.hasCurrent = false;
  window.events.clear();
  window.timer = 0;
  LeaveCurrent(window.handle);
}

// Properties.

enum class TargetKind : uint8_t { Window, System, Printer };

Window* ResolveWindow(int32_t target) {
  Window* window = target == CURRENTTARGET ? Current() : Find(target);
  if (window == nullptr || !window->opened) {
    FatalError(kFatalWindowNotOpen);
  }
  return window;
}

int32_t RectField(const platform::Rect& rect, int32_t property) {
  switch (property) {
    case PROP_XPOS:
      return rect.x;
    case PROP_YPOS:
      return rect.y;
    case PROP_WIDTH:
      return rect.width;
    default:
      return rect.height;
  }
}

platform::Rect OneField(int32_t property, int32_t value) {
  platform::Rect rect{platform::kUnchanged, platform::kUnchanged, platform::kUnchanged,
                      platform::kUnchanged};
  switch (property) {
    case PROP_XPOS:
      rect.x = value;
      break;
    case PROP_YPOS:
      rect.y = value;
      break;
    case PROP_WIDTH:
      rect.width = value;
      break;
    default:
      rect.height = value;
      break;
  }
  return rect;
}

// A window's height in window units counts the frame above its client area as the platform the
// definitions were drawn for frames it: a title bar and borders of 15 units, and 12 more for a
// menu bar. The main window's 202-unit client area is thus 229 units high, and a height too small
// for the frame and the toolbar leaves the toolbar alone (23 is the compact form).
constexpr int32_t kTitleFrameUnits = 15;
constexpr int32_t kMenuBarUnits = 12;

int32_t FrameUnits(const Window& window) {
  return kTitleFrameUnits + (window.definition->menuBar ? kMenuBarUnits : 0);
}

std::optional<platform::Rect> OuterRect(const Window& window) {
  std::optional<platform::Rect> rect = window.system->WindowRect(window.native);
  if (rect) {
    rect->height = static_cast<int32_t>(
        std::min<int64_t>(int64_t{rect->height} + FrameUnits(window), INT32_MAX));
  }
  return rect;
}

void SetOuterRect(const Window& window, platform::Rect rect) {
  if (rect.height != platform::kUnchanged) {
    int32_t toolbar = 0;
    for (const ControlObject& control : window.controls) {
      if (control.kind == NativeKind::Toolbar) {
        const auto strip = window.system->ControlRect(window.native, control.id);
        toolbar = strip ? std::max(strip->height, 0) : 0;
      }
    }
    rect.height =
        static_cast<int32_t>(std::max<int64_t>(int64_t{rect.height} - FrameUnits(window), toolbar));
  }
  window.system->SetWindowRect(window.native, rect);
}

bool IsRectProperty(int32_t property) {
  return property >= PROP_XPOS && property <= PROP_HEIGHT;
}

bool IsMouseRow(int32_t property) {
  return property >= PROP_MOUSEDOWNROW && property <= PROP_MOUSEUPROW;
}

std::string GetWindowProperty(Window& window, int32_t property) {
  platform::WindowSystem& system = *window.system;
  if (IsRectProperty(property)) {
    const std::optional<platform::Rect> rect = OuterRect(window);
    return rect ? std::to_string(RectField(*rect, property)) : std::string{};
  }
  switch (property) {
    case PROP_TEXT:
      return window.title;
    case PROP_ICON:
      return window.icon;
    case PROP_ICONIZED:
      return system.IsIconized(window.native) ? "1" : "";
    case PROP_TIMER:
      return std::to_string(window.timer);
    case PROP_HANDLE:
      return std::to_string(system.NativeHandle(window.native));
    default:
      return {};
  }
}

std::string GetControlProperty(Window& window, ControlObject& control, int32_t property) {
  platform::WindowSystem& system = *window.system;
  if (IsRectProperty(property)) {
    const std::optional<platform::Rect> rect = system.ControlRect(window.native, control.id);
    return rect ? std::to_string(RectField(*rect, property)) : std::string{};
  }
  if (IsMouseRow(property)) {
    if (!control.IsList() && property != PROP_MOUSEUPROW) {
      return {};
    }
    return std::to_string(control.mouseRows[static_cast<size_t>(property - PROP_MOUSEDOWNROW)] + 1);
  }
  switch (property) {
    case PROP_TEXT:
      if (control.kind == NativeKind::Entry) {
        if (std::optional<std::string> text = system.Text(window.native, control.id)) {
          control.text = std::move(*text);
        }
      }
      return std::string(CLIP(control.text));
    case PROP_ICON:
      return control.icon;
    case PROP_SELECTED:
      return control.IsList() ? std::to_string(system.SelectedRow(window.native, control.id))
                              : std::string{};
    case PROP_TOOLTIP:
      return control.tip;
    default:
      return {};
  }
}

void SetWindowProperty(Window& window, int32_t property, const std::string& value) {
  platform::WindowSystem& system = *window.system;
  if (IsRectProperty(property)) {
    SetOuterRect(window, OneField(property, ToInt(value)));
    return;
  }
  switch (property) {
    case PROP_TEXT:
      window.title = value;
      system.SetWindowTitle(window.native, value);
      return;
    case PROP_ICON:
      window.icon = value;
      system.SetWindowIcon(window.native, value);
      return;
    case PROP_ICONIZED:
      system.SetIconized(window.native, ToInt(value) != 0);
      return;
    case PROP_TIMER:
      window.timer = std::max(ToInt(value), 0);
      if (window.timer > 0) {
        window.nextTick = Now() + ClockTime{int64_t{window.timer} * 10};
      }
      return;
    default:
      return;
  }
}

void SetControlProperty(Window& window, ControlObject& control, int32_t property,
                        const std::string& value) {
  platform::WindowSystem& system = *window.system;
  if (IsRectProperty(property)) {
    system.SetControlRect(window.native, control.id, OneField(property, ToInt(value)));
    return;
  }
  if (IsMouseRow(property)) {
    const int32_t row = ToInt(value);
    control.mouseRows[static_cast<size_t>(property - PROP_MOUSEDOWNROW)] = row > 0 ? row - 1 : -1;
    return;
  }
  switch (property) {
    case PROP_TEXT:
      control.text = value;
      system.SetText(window.native, control.id, value);
      return;
    case PROP_ICON:
      control.icon = value;
      system.SetIcon(window.native, control.id, value);
      return;
    case PROP_TOOLTIP:
      control.tip = value;
      system.SetTip(window.native, control.id, value);
      return;
    case PROP_SELECTED: {
      if (!control.IsList()) {
        return;
      }
      int32_t row = ToInt(value);
      // A row that does not exist leaves the list without a selection.
      const int32_t count = control.rows ? control.rows->RowCount() : 0;
      if (row < 0 || row > count) {
        row = 0;
      }
      system.SetSelectedRow(window.native, control.id, row);
      return;
    }
    default:
      return;
  }
}

bool IsSystemTiming(int32_t property) {
  return property == PROP_SYSTEMTIMING1 || property == PROP_SYSTEMTIMING2;
}

constexpr std::array<std::string_view, 8> kButtonLabels = {"OK",     "&Yes",    "&No",    "&Abort",
                                                           "&Retry", "&Ignore", "Cancel", "&Help"};

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) {
      return parts;
    }
    start = end + 1;
  }
}

}  // namespace

WindowHandle WINDOWCREATE(std::string_view windowName, std::string_view tag,
                          std::initializer_list<Bound> bindings) {
  Runtime& state = State();
  state.createError.clear();
  windows::LookupError why = windows::LookupError::None;
  std::optional<windows::WindowDefinition> found =
      windows::FindWindowDefinition(tag, windowName, &why);
  if (!found) {
    state.createError = "window " + std::string(windowName) + " of " + std::string(tag) + ": " +
                        std::string(windows::LookupErrorText(why));
    return 0;
  }
  auto window = std::make_unique<Window>();
  window->definition = std::make_unique<windows::WindowDefinition>(std::move(*found));
  window->layout = windows::ToNativeLayout(*window->definition);
  const size_t expected = windows::BindingOrder(*window->definition).size();
  if (bindings.size() != expected) {
    state.createError = "window " + std::string(windowName) + " binds " + std::to_string(expected) +
                        " variables, " + std::to_string(bindings.size()) + " given";
    return 0;
  }
  const Bound* next = bindings.begin();
  for (size_t i = 0; i < window->layout.controls.size(); ++i) {
    const windows::Control& definition = *window->layout.controls[i];
    const platform::NativeControl& native = window->layout.spec.controls[i];
    ControlObject control;
    control.id = native.id;
    control.number = definition.number;
    control.definition = &definition;
    control.kind = native.kind;
    control.checkable = native.checkable;
    control.closesWindow = native.closesWindow;
    control.text = native.text;
    control.icon = native.icon;
    control.tip = native.tip;
    control.checked = native.checked;
    if (definition.picture) {
      control.picture = CompilePicture(*definition.picture);
      control.hasPicture = true;
    }
    // The definition's traversal order is the binding order: a variable, then a list's rows.
    if (definition.variable) {
      const std::string which = "binding " + std::to_string(next - bindings.begin() + 1) +
                                " (control " + std::to_string(definition.number) + ")";
      if (next->kind != Bound::Kind::Variable || next->address == nullptr) {
        state.createError = which + " needs a variable";
        return 0;
      }
      if (next->size != definition.variable->size) {
        state.createError = which + " needs " + std::to_string(definition.variable->size) +
                            " bytes, " + std::to_string(next->size) + " given";
        return 0;
      }
      control.variable = next->address;
      control.size = next->size;
      const uint8_t type = definition.variable->type;
      control.type = (type == static_cast<uint8_t>(DataType::Byte) ||
                      type == static_cast<uint8_t>(DataType::Long))
                         ? static_cast<DataType>(type)
                         : DataType::Text;
      ++next;
    }
    if (definition.type == windows::RecordType::List) {
      if (next->kind != Bound::Kind::Rows || next->queue == nullptr) {
        state.createError = "binding " + std::to_string(next - bindings.begin() + 1) +
                            " (control " + std::to_string(definition.number) + ") needs a queue";
        return 0;
      }
      control.queue = next->queue;
      control.rows = std::make_unique<ListRows>(control.queue, definition.format.value_or(""));
      ++next;
    }
    window->controls.push_back(std::move(control));
  }
  window->title = window->layout.spec.title;
  window->icon = window->layout.spec.icon;
  const WindowHandle handle = state.nextHandle++;
  window->handle = handle;
  state.windows.emplace(handle, std::move(window));
  state.lastCreated = handle;
  return handle;
}

std::string_view WindowCreateError() {
  return State().createError;
}

void SETHELPFILE() {
  const std::string file(CLIP(PopText()));
  std::string topic(CLIP(PopText()));
  Runtime& state = State();
  if (!file.empty()) {
    const size_t base = file.find_last_of("\\/:");
    const bool hasExtension =
        file.find('.', base == std::string::npos ? 0 : base + 1) != std::string::npos;
    state.helpFile = hasExtension ? file : file + ".HLP";
  }
  Window* window = Find(state.lastCreated);
  if (window == nullptr) {
    window = Current();
  }
  if (window != nullptr) {
    window->helpTopic = std::move(topic);
  }
}

std::string_view HelpFile() {
  return State().helpFile;
}

std::string HelpTopic(WindowHandle handle) {
  const Window* window = Find(handle);
  return window == nullptr ? std::string{} : window->helpTopic;
}

void WINDOWOPEN(WindowHandle handle) {
  Window* window = Find(handle);
  if (window == nullptr) {
    FatalError(kFatalUnableToOpenWindow, "no window was created");
  }
  if (window->opened) {
    return;
  }
  platform::WindowSystem* system = platform::CurrentWindowSystem();
  if (system == nullptr) {
    FatalError(kFatalUnableToOpenWindow, window->definition->name);
  }
  InstallSink(*system);
  // A window opened from another's loop body is modal to it: that window waits until it closes.
  const Window* owner = Current();
  window->layout.spec.owner =
      owner != nullptr && owner != window && owner->system == system ? owner->native : 0;
  const uintptr_t native = system->CreateWindow(window->layout.spec);
  if (native == 0) {
    FatalError(kFatalUnableToOpenWindow, window->definition->name);
  }
  window->system = system;
  window->native = native;
  for (ControlObject& control : window->controls) {
    if (control.rows) {
      system->SetRows(native, control.id, control.rows.get());
    }
  }
  system->ShowWindow(native);
  window->opened = true;
  LeaveCurrent(handle);
  State().current.push_back(handle);
  window->events.push_front(MakeEvent(EVENT::OpenWindow));
}

bool EVENTLOOP() {
  Window* window = Current();
  if (window == nullptr) {
    FatalError(kFatalAcceptNeedsWindow);
  }
  if (window->looping && window->hasCurrent) {
    Event done = std::move(window->current);
    window->hasCurrent = false;
    // A window that asks for it shows what the body changed in its variables.
    if ((window->definition->flags & windows::format::kAutoDisplayFlag) != 0 &&
        window->system->NativeHandle(window->native) != 0) {
      ForRange(*window, 0, 0, [window](ControlObject& c) { Refresh(*window, c); });
    }
    // What the body saved reaches the disk once its event has been handled.
    platform::FlushProfiles(false);
    if (!done.skipped && done.value == EVENT::CloseWindow) {
      EndLoop(*window);
      return false;
    }
    // The target sees the drop only once the source has handled its EVENT:Drag.
    if (done.value == EVENT::Drag && done.dropTarget != 0) {
      window->events.push_front(
          MakeDropEvent(EVENT::Drop, done.dropTarget, done.dropTag, 0, done.key));
    }
  }
  window->looping = true;
  for (;;) {
    // A window the platform no longer has ends its loop like a closed one.
    if (window->system->NativeHandle(window->native) == 0) {
      EndLoop(*window);
      return false;
    }
    if (!window->events.empty()) {
      window->current = std::move(window->events.front());
      window->events.pop_front();
      window->hasCurrent = true;
      return true;
    }
    const ClockTime now = Now();
    if (window->timer > 0 && now >= window->nextTick) {
      const ClockTime period{int64_t{window->timer} * 10};
      window->nextTick += period;
      // Ticks missed while the loop was busy are not made up.
      if (window->nextTick <= now) {
        window->nextTick = now + period;
      }
      // The extra tick it reaches is this one.
      if (window->extraTick && *window->extraTick <= now) {
        window->extraTick.reset();
      }
      window->current = MakeEvent(EVENT::Timer);
      window->hasCurrent = true;
      return true;
    }
    if (window->extraTick && *window->extraTick <= now) {
      window->extraTick.reset();
      window->current = MakeEvent(EVENT::Timer);
      window->hasCurrent = true;
      return true;
    }
    ClockTime wake = window->timer > 0 ? window->nextTick : ClockTime::max();
    if (window->extraTick) {
      wake = std::min(wake, *window->extraTick);
    }
    window->system->WaitForInput(wake);
  }
}

void SKIPEVENT() {
  if (Window* window = Current(); window != nullptr && window->hasCurrent) {
    window->current.skipped = true;
  }
}

int32_t CURRENTEVENT() {
  const Window* window = Current();
  return window != nullptr && window->hasCurrent ? window->current.value : 0;
}

int32_t EVENTCONTROL() {
  const Window* window = Current();
  return window != nullptr && window->hasCurrent ? window->current.control : 0;
}

int32_t ACCEPTEDCONTROL() {
  return CURRENTEVENT() == EVENT::Accepted ? EVENTCONTROL() : 0;
}

int32_t SELECTEDROW(int32_t number) {
  Window* window = Current();
  if (window == nullptr) {
    return 0;
  }
  const ControlObject* control = ByNumber(*window, number == 0 ? EVENTCONTROL() : number);
  // The native list keeps the selection: what the user highlighted, none once its row is gone.
  return control != nullptr && control->IsList()
             ? window->system->SelectedRow(window->native, control->id)
             : 0;
}

int32_t LASTKEY() {
  const Window* window = Current();
  return window != nullptr && window->hasCurrent
             ? static_cast<int32_t>(window->current.key & kLastKeyMask)
             : 0;
}

void POSTEVENT(int32_t event, int32_t control, int32_t /*thread*/) {
  if (Window* window = Current()) {
    Queue(*window, MakeEvent(event, control));
  }
}

void POSTEVENTTO(WindowHandle handle, int32_t event, int32_t control) {
  if (Window* window = Find(handle); window != nullptr && window->opened) {
    Queue(*window, MakeEvent(event, control));
    // The poster may be outside the loop (a bus call), so a loop waiting for input looks again.
    window->system->Wake();
  }
}

void REFRESHCONTROLS(int32_t first, int32_t last) {
  Window* window = Current();
  if (window == nullptr) {
    return;
  }
  ForRange(*window, first, last, [window](ControlObject& c) { Refresh(*window, c); });
  // On the screen at once: a procedure may change the same text again before it waits.
  platform::WindowSystem& system = *window->system;
  if (first == 0 && last == 0) {
    system.PaintNow(window->native, 0);
  } else {
    ForRange(*window, first, last,
             [window, &system](const ControlObject& c) { system.PaintNow(window->native, c.id); });
  }
}

void READCONTROLS(int32_t first, int32_t last) {
  if (Window* window = Current()) {
    ForRange(*window, first, last, [window](ControlObject& c) { Read(*window, c); });
  }
}

namespace {

void SetHiddenRange(int32_t first, int32_t last, bool hidden) {
  if (Window* window = Current()) {
    ForRange(*window, first, last, [window, hidden](ControlObject& c) {
      c.hidden = hidden;
      window->system->SetHidden(window->native, c.id, hidden);
    });
  }
}

void SetEnabledRange(int32_t first, int32_t last, bool enabled) {
  if (Window* window = Current()) {
    ForRange(*window, first, last, [window, enabled](ControlObject& c) {
      c.enabled = enabled;
      window->system->SetEnabled(window->native, c.id, enabled);
    });
  }
}

}  // namespace

void HIDECONTROLS(int32_t first, int32_t last) {
  SetHiddenRange(first, last, true);
}

void UNHIDECONTROLS(int32_t first, int32_t last) {
  SetHiddenRange(first, last, false);
}

void DISABLECONTROLS(int32_t first, int32_t last) {
  SetEnabledRange(first, last, false);
}

void ENABLECONTROLS(int32_t first, int32_t last) {
  SetEnabledRange(first, last, true);
}

void FOCUSCONTROL(int32_t number) {
  if (Window* window = Current()) {
    if (const ControlObject* control = ByNumber(*window, number)) {
      window->system->Focus(window->native, control->id);
    }
  }
}

void GETPROPERTY(int32_t control, int32_t target) {
  const int32_t property = ToInt(PopText());
  if (target == SYSTEMTARGET) {
    const auto found = State().systemTimingMs.find(property);
    if (IsSystemTiming(property) && found != State().systemTimingMs.end()) {
      PushText(std::to_string(found->second / 10));
    } else {
      PushText("");
    }
    return;
  }
  if (target == PRINTERTARGET) {
    PushText("");
    return;
  }
  Window* window = ResolveWindow(target);
  if (control == 0) {
    PushText(GetWindowProperty(*window, property));
    return;
  }
  ControlObject* object = ByNumber(*window, control);
  PushText(object == nullptr ? std::string{} : GetControlProperty(*window, *object, property));
}

void SETPROPERTY(int32_t control, int32_t target) {
  ClipTop();
  const std::string value = PopText();
  const int32_t property = ToInt(PopText());
  if (target == SYSTEMTARGET) {
    if (IsSystemTiming(property)) {
      // Kept in milliseconds: a time below zero or past what 32 bits hold is clamped.
      const int32_t hundredths = std::clamp(ToInt(value), 0, INT32_MAX / 10);
      State().systemTimingMs[property] = hundredths * 10;
    }
    return;
  }
  if (target == PRINTERTARGET) {
    return;
  }
  Window* window = ResolveWindow(target);
  if (control == 0) {
    SetWindowProperty(*window, property, value);
    return;
  }
  if (ControlObject* object = ByNumber(*window, control)) {
    SetControlProperty(*window, *object, property, value);
  }
}

void READPOSITION(int32_t control, int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
  x = y = width = height = 0;
  Window* window = Current();
  if (window == nullptr) {
    return;
  }
  std::optional<platform::Rect> rect;
  if (control == 0) {
    rect = OuterRect(*window);
  } else if (const ControlObject* object = ByNumber(*window, control)) {
    rect = window->system->ControlRect(window->native, object->id);
  }
  if (rect) {
    x = rect->x;
    y = rect->y;
    width = rect->width;
    height = rect->height;
  }
}

void WRITEPOSITION(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height) {
  Window* window = Current();
  if (window == nullptr) {
    return;
  }
  const platform::Rect rect{x, y, width, height};
  if (control == 0) {
    SetOuterRect(*window, rect);
  } else if (const ControlObject* object = ByNumber(*window, control)) {
    window->system->SetControlRect(window->native, object->id, rect);
  }
}

void DROPTAG() {
  const Window* window = Current();
  if (window != nullptr && window->hasCurrent && window->current.value == EVENT::Drop) {
    PushText(window->current.dropTag);
  } else {
    PushText("");
  }
}

int32_t MESSAGEDIALOG(int32_t defaultButton, int32_t style) {
  const std::string text = PopText();
  const std::string caption = PopText();
  const std::string icon = PopText();
  const std::string buttons = PopText();
  platform::MessageBoxSpec spec;
  spec.caption = caption;
  spec.lines = Split(text, '|');
  spec.icon = icon;
  spec.systemModal = style != 0;
  std::vector<int32_t> results;
  if (buttons.find('|') != std::string::npos) {
    spec.buttons = Split(buttons, '|');
    for (size_t i = 0; i < spec.buttons.size(); ++i) {
      results.push_back(static_cast<int32_t>(i + 1));
    }
    spec.defaultButton =
        defaultButton >= 1 && static_cast<size_t>(defaultButton) <= spec.buttons.size()
            ? defaultButton - 1
            : 0;
  } else {
    const int32_t set = ToInt(buttons);
    for (size_t bit = 0; bit < kButtonLabels.size(); ++bit) {
      const int32_t value = 1 << bit;
      if ((set & value) != 0) {
        if (value == defaultButton) {
          spec.defaultButton = static_cast<int32_t>(results.size());
        }
        spec.buttons.emplace_back(kButtonLabels[bit]);
        results.push_back(value);
      }
    }
    // A set naming no button still gives the user a way out.
    if (results.empty()) {
      spec.buttons.emplace_back(kButtonLabels[0]);
      results.push_back(BUTTON_OK);
    }
  }
  platform::WindowSystem* system = platform::CurrentWindowSystem();
  if (system == nullptr) {
    return 0;
  }
  const Window* owner = Current();
  const int32_t pressed = system->MessageBox(owner == nullptr ? 0 : owner->native, spec);
  if (pressed < 0 || static_cast<size_t>(pressed) >= results.size()) {
    return 0;
  }
  return results[static_cast<size_t>(pressed)];
}

void SHOWNOTICE(std::string_view caption, std::string_view text, std::string_view icon) {
  platform::WindowSystem* system = platform::CurrentWindowSystem();
  if (system == nullptr) {
    return;
  }
  platform::MessageBoxSpec spec;
  spec.caption = caption;
  spec.lines = Split(std::string(text), '|');
  spec.icon = icon;
  spec.buttons.emplace_back(kButtonLabels[0]);
  const Window* owner = Current();
  system->ShowNotice(owner == nullptr ? 0 : owner->native, spec);
}

void WINDOWCLOSE(WindowHandle handle) {
  Runtime& state = State();
  const auto found = state.windows.find(handle);
  if (found == state.windows.end()) {
    return;
  }
  Window& window = *found->second;
  LeaveCurrent(handle);
  platform::FlushProfiles(false);  // a body that saved and then left its loop
  if (window.native != 0) {
    // Input still pending goes where it belongs (the window beneath) before this one goes.
    window.system->WaitForInput(Now());
    window.system->DestroyWindow(window.native);
  }
  if (state.lastCreated == handle) {
    state.lastCreated = 0;
  }
  state.windows.erase(handle);
}

std::string GetProperty(int32_t property, int32_t control, int32_t target) {
  PushText(std::to_string(property));
  GETPROPERTY(control, target);
  return PopText();
}

void SetProperty(int32_t property, int32_t control, std::string_view value, int32_t target) {
  PushText(std::to_string(property));
  PushText(value);
  SETPROPERTY(control, target);
}

int32_t GetSelected(int32_t control) {
  return ToInt(GetProperty(PROP_SELECTED, control));
}

uint64_t GetHandle(WindowHandle window) {
  const std::string text = GetProperty(PROP_HANDLE, 0, window);
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return 0;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

WindowHandle CurrentWindow() {
  const Window* window = Current();
  return window == nullptr ? 0 : window->handle;
}

bool IsWindowOpen(WindowHandle handle) {
  const Window* window = Find(handle);
  return window != nullptr && window->opened;
}

uintptr_t NativeWindowOf(WindowHandle handle) {
  const Window* window = Find(handle);
  return window == nullptr ? 0 : window->native;
}

void SetExtraTick(WindowHandle handle, int32_t milliseconds) {
  if (Window* window = Find(handle); window != nullptr) {
    window->extraTick = Now() + ClockTime{std::max(milliseconds, 0)};
  }
}

int32_t SystemTimingMs(int32_t property) {
  const auto found = State().systemTimingMs.find(property);
  return found == State().systemTimingMs.end() ? 0 : found->second;
}

void ResetWindows() {
  Runtime& state = State();
  platform::WindowSystem* system = platform::CurrentWindowSystem();
  for (auto& [handle, window] : state.windows) {
    if (window->native != 0 && window->system == system) {
      system->DestroyWindow(window->native);
    }
  }
  state = Runtime{};
}

}  // namespace vantora::runtime
