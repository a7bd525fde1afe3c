// SPDX-License-Identifier: GPL-3.0-or-later
// The native window system as the runtime sees it: windows built from a plain description, changed
// control by control, and the user's input reported back as native input events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace vantora::platform {

// Positions and sizes travel in window units; the native layer converts them to pixels with its
// one documented rule (from the window font's average character size, as dialog units are) and
// converts back when asked. kUnchanged in a coordinate leaves it as it is.
inline constexpr int32_t kUnchanged = INT32_MIN;  // 0x80000000
inline constexpr int32_t kDefault = INT32_MIN;    // in a description: let the native layer choose

struct Rect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Rect&) const = default;
};

// Colours: red in the low byte, then green and blue; kDefaultColour lets the native layer choose.
inline constexpr uint32_t kDefaultColour = 0xFFFFFFFFu;

struct NativeFont {
  std::string face;       // "" = the window's face
  int32_t pointSize = 0;  // 0 = the window's size
  uint32_t colour = kDefaultColour;
  int32_t weight = 400;  // 400 regular, 700 bold
  bool operator==(const NativeFont&) const = default;
};

enum class NativeKind : uint8_t {
  MenuBar,
  Menu,
  MenuItem,  // checkable when `checkable` is set
  Toolbar,
  Button,
  Group,
  Region,  // invisible; reports presses of any mouse button
  Prompt,
  String,  // a static text (fixed or showing a variable)
  Entry,
  TextBox,  // read-only multi-line text
  List,
  DropList,
  Sheet,
  Tab,
};

// One control of a window description. Ids are the runtime's own, unique within the window and
// never 0 (control numbers can repeat as 0); parent 0 is the window's client area.
struct NativeControl {
  int32_t id = 0;
  int32_t parent = 0;
  NativeKind kind = NativeKind::Region;
  Rect rect;  // window units, relative to the parent's client area; kDefault fields allowed
  std::string text;
  std::string icon;  // an icon name in any of the runtime's forms ("~QPX_PLAY.ICO", a file)
  std::string tip;
  std::string statusText;
  std::optional<NativeFont> font;      // absent: the window font
  std::vector<uint32_t> colours;       // text, background, selection; may be empty
  bool checkable = false;              // menu items
  bool checked = false;                // menu items
  bool closesWindow = false;           // menu items and buttons with the standard close
  int32_t dropRows = 0;                // drop lists: rows shown when dropped
  std::vector<int32_t> columnWidths;   // lists: in window units
  std::vector<char> columnAlignments;  // lists: 'L', 'R', 'C' or 'D'
  std::vector<std::string> dropIds;    // what the control accepts when dragged onto
  std::vector<std::string> dragIds;    // lists: what their rows offer when dragged
  std::string wallpaper;               // toolbar: image drawn behind its controls
  std::vector<uint32_t> alertKeys;     // entries: key codes that raise an alert
  int32_t maxLength = 0;               // entries: the bound field's length (0: no limit)
  bool defaultButton = false;          // buttons: the one Enter presses
  bool cancelButton = false;           // buttons: the one Escape presses
};

struct NativeWindowSpec {
  std::string title;
  std::string icon;
  std::string wallpaper;  // image name for the client area and the toolbar
  Rect rect;              // window units; x/y kDefault: the native layer places the window
  NativeFont font;        // face "" and size 0: the system's default window font
  std::vector<NativeControl> controls;  // parents before their children, in definition order
  // The window that opened this one and waits for it to close (0: none). An owned window is
  // modal to its owner: it stays above it, is placed over it, and the owner takes no input
  // while it is open.
  uintptr_t owner = 0;
};

// A list control's rows, asked for whenever the list draws, so that changes to the queue behind
// it show without an explicit refresh. `Changes` moves on whenever rows were added, put or deleted.
class NativeRows {
 public:
  virtual ~NativeRows() = default;
  virtual int32_t RowCount() const = 0;
  // The row's text in one column, already formatted; row is 1-based, column 0-based (the index
  // into NativeControl::columnWidths). Rows or columns out of range give "".
  virtual std::string Cell(int32_t row, int32_t column) const = 0;
  virtual uint32_t Changes() const = 0;
};

// User input, as the native layer reports it. Controls are named by their NativeControl id.
struct NativeInput {
  enum class Type : uint8_t {
    Activated,       // button clicked, menu item picked, Enter in an entry, region pressed
    EntryChanged,    // an entry's text was edited and the entry lost focus or Enter was pressed
    RowPicked,       // a drop list row was picked (row)
    RowSelected,     // a list's highlighted row changed (row)
    AlertKey,        // an alert key was pressed in a control (key)
    Dropped,         // a drag from `control` ended on `target` over `row` (0: below the rows)
    MouseRow,        // over a list, a mouse button went down or up or the pointer moved (mouse)
                     // with `row` under it (0: below the rows); moves only when the row changes
    CloseRequested,  // the close box, Alt+F4, or the window manager
    Moved,           // the user moved the window
    Iconized,        // minimised or restored (see IsIconized)
  };
  enum class Mouse : uint8_t { Pressed, Moved, Released };
  Type type = Type::Activated;
  uintptr_t window = 0;
  int32_t control = 0;
  int32_t target = 0;
  int32_t row = 0;
  // The key that caused the input (0 for the mouse): virtual-key in the low byte, +100h Shift,
  // +200h Ctrl, +400h Alt. Set for control input; AlertKey always has one.
  uint32_t key = 0;
  Mouse mouse = Mouse::Pressed;  // MouseRow
};

using NativeInputSink = std::function<void(const NativeInput&)>;

// Buttons of a message box: labels in order, the index of the default one.
struct MessageBoxSpec {
  std::string caption;
  std::vector<std::string> lines;
  std::string icon;  // an icon name; "" for none
  std::vector<std::string> buttons;
  int32_t defaultButton = 0;
  bool systemModal = false;
};

// The native window system. Window handles are opaque non-zero numbers; every call with a handle
// that is not a live window does nothing and reports failure (false, nullopt, 0).
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Where input goes; the runtime installs its sink once.
  virtual void SetInputSink(NativeInputSink sink) = 0;

  // Builds the window and its controls without showing it; 0 when the platform refuses.
  virtual uintptr_t CreateWindow(const NativeWindowSpec& spec) = 0;
  virtual bool ShowWindow(uintptr_t window) = 0;
  virtual bool DestroyWindow(uintptr_t window) = 0;
  // The platform's own handle of the window, as a number (what the HANDLE property shows).
  virtual uint64_t NativeHandle(uintptr_t window) const = 0;

  virtual bool SetWindowTitle(uintptr_t window, std::string_view title) = 0;
  virtual bool SetWindowIcon(uintptr_t window, std::string_view icon) = 0;
  virtual std::optional<Rect> WindowRect(uintptr_t window) const = 0;  // window units
  virtual bool SetWindowRect(uintptr_t window, const Rect& rect) = 0;  // kUnchanged allowed
  virtual bool IsIconized(uintptr_t window) const = 0;
  virtual bool SetIconized(uintptr_t window, bool iconized) = 0;  // never activates the window
  virtual bool SetStayOnTop(uintptr_t window, bool onTop) = 0;
  // The window whose platform handle this is; 0 when none.
  virtual uintptr_t WindowFromNativeHandle(uint64_t hwnd) const = 0;
  // The window's procedure chain (see SetWindowLongA below).
  virtual intptr_t SetWindowProc(uintptr_t window, intptr_t proc) = 0;

  virtual bool SetText(uintptr_t window, int32_t control, std::string_view text) = 0;
  virtual std::optional<std::string> Text(uintptr_t window, int32_t control) const = 0;
  virtual bool SetIcon(uintptr_t window, int32_t control, std::string_view icon) = 0;
  virtual bool SetTip(uintptr_t window, int32_t control, std::string_view tip) = 0;
  virtual bool SetEnabled(uintptr_t window, int32_t control, bool enabled) = 0;
  virtual bool SetHidden(uintptr_t window, int32_t control, bool hidden) = 0;
  virtual bool SetChecked(uintptr_t window, int32_t control, bool checked) = 0;
  virtual std::optional<Rect> ControlRect(uintptr_t window, int32_t control) const = 0;
  virtual bool SetControlRect(uintptr_t window, int32_t control, const Rect& rect) = 0;
  virtual bool Focus(uintptr_t window, int32_t control) = 0;

  // Lists: the rows to draw (owned by the runtime, alive while the window is), the selected row
  // (1-based, 0 none) and a nudge to redraw now. The list keeps the selection: SelectedRow is
  // the row highlighted now, the user's pick included, and 0 once the rows no longer reach it.
  virtual bool SetRows(uintptr_t window, int32_t control, const NativeRows* rows) = 0;
  virtual bool SetSelectedRow(uintptr_t window, int32_t control, int32_t row) = 0;
  virtual int32_t SelectedRow(uintptr_t window, int32_t control) const = 0;
  virtual bool RefreshRows(uintptr_t window, int32_t control) = 0;

  // Draws the control (0: the whole window) on the screen now, as it is, instead of when input is
  // next waited for: what a procedure refreshes shows even if it changes again before it waits.
  virtual bool PaintNow(uintptr_t window, int32_t control) = 0;

  // Shows a modal message box; returns the index of the button pressed, -1 if it was closed
  // without one.
  virtual int32_t MessageBox(uintptr_t owner, const MessageBoxSpec& spec) = 0;
  // Shows a message box and returns at once; it stays until the user closes it. A newer one
  // takes the place of one still shown.
  virtual void ShowNotice(uintptr_t owner, const MessageBoxSpec& spec) = 0;

  // Handles native events until at least one input has been reported or `deadline` (on the one
  // clock) has passed; ClockTime::max() means no deadline. Returns at once if input is already
  // pending.
  virtual void WaitForInput(ClockTime deadline) = 0;
  // Ends a WaitForInput in progress (or the next one) without input: something outside the
  // window system queued an event for a window. A system whose waits never block ignores it.
  virtual void Wake() {}
};

// The native window procedure chain, in the platform's shape. The window system sends the
// session-end messages through it (on Linux: the session manager's end of session, and SIGTERM or
// SIGHUP at logout, SIGINT from a terminal), so a procedure the program installs in front of the
// window's own sees them.
inline constexpr uint32_t WM_QUERYENDSESSION = 0x0011;
inline constexpr uint32_t WM_ENDSESSION = 0x0016;
inline constexpr int32_t GWL_WNDPROC = -4;
using WNDPROC = intptr_t (*)(uint64_t hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Replaces a value of the window; with GWL_WNDPROC the window procedure. Returns the previous
// value (the previous procedure as a number), 0 on failure.
intptr_t SetWindowLongA(uint64_t hwnd, int32_t index, intptr_t value);
// The procedure every window starts with: answers WM_QUERYENDSESSION with 1 (the session may
// end) and everything else with 0.
intptr_t DefWindowProcA(uint64_t hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Calls a window procedure obtained from SetWindowLongA (the window's own default one included).
intptr_t CallWindowProcA(intptr_t proc, uint64_t hwnd, uint32_t message, uintptr_t wParam,
                         intptr_t lParam);

// The z-order call: HWND_TOPMOST keeps the window above all others, HWND_NOTOPMOST releases it.
inline constexpr int64_t HWND_TOPMOST = -1;
inline constexpr int64_t HWND_NOTOPMOST = -2;
inline constexpr uint32_t SWP_NOSIZE = 0x0001;
inline constexpr uint32_t SWP_NOMOVE = 0x0002;
inline constexpr uint32_t SWP_NOACTIVATE = 0x0010;
bool SetWindowPos(uint64_t hwnd, int64_t insertAfter, int32_t x, int32_t y, int32_t cx, int32_t cy,
                  uint32_t flags);

// The process-wide window system: the one the program installed. Null until then.
WindowSystem* CurrentWindowSystem();
// Installs a window system (nullptr removes it); returns the previous one. The caller keeps
// ownership.
WindowSystem* SetCurrentWindowSystem(WindowSystem* system);

}  // namespace vantora::platform
