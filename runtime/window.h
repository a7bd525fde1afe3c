// SPDX-License-Identifier: GPL-3.0-or-later
// The runtime's windows: creating them from their definitions, the event loop, control ranges,
// properties and message boxes, all over the native window system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/events.h"
#include "runtime/queue.h"
#include "runtime/text.h"

namespace vantora::runtime {

// An open window's reference as WINDOWCREATE returns it; 0 is none. Handles are positive, so a
// handle never reads as one of the special property targets.
using WindowHandle = int32_t;

// Property targets other than a window handle.
inline constexpr int32_t CURRENTTARGET = 0;
inline constexpr int32_t PRINTERTARGET = -1;
inline constexpr int32_t SYSTEMTARGET = -4;

// Property numbers.
inline constexpr int32_t PROP_TEXT = 0x7C00;
inline constexpr int32_t PROP_XPOS = 0x7C02;
inline constexpr int32_t PROP_YPOS = 0x7C03;
inline constexpr int32_t PROP_WIDTH = 0x7C04;
inline constexpr int32_t PROP_HEIGHT = 0x7C05;
// A list's rows under the pointer (1-based, 0 none): when a mouse button last went down over it,
// when the pointer last moved over it onto another row, when a button was last released over it
// (for a drop: the row the dragged item was released over).
inline constexpr int32_t PROP_MOUSEDOWNROW = 0x7C20;
inline constexpr int32_t PROP_MOUSEMOVEROW = 0x7C21;
inline constexpr int32_t PROP_MOUSEUPROW = 0x7C22;
inline constexpr int32_t PROP_ICON = 0x7C68;
inline constexpr int32_t PROP_ICONIZED = 0x7C69;
inline constexpr int32_t PROP_TIMER = 0x7C86;
inline constexpr int32_t PROP_SELECTED = 0x7C8F;
inline constexpr int32_t PROP_HANDLE = 0x7C96;
inline constexpr int32_t PROP_TOOLTIP = 0x7CA0;
inline constexpr int32_t PROP_SYSTEMTIMING1 = 0x7CB2;
inline constexpr int32_t PROP_SYSTEMTIMING2 = 0x7CB3;

// Message box buttons: their bits in a button set, and what MESSAGEDIALOG returns for them.
inline constexpr int32_t BUTTON_OK = 1;
inline constexpr int32_t BUTTON_YES = 2;
inline constexpr int32_t BUTTON_NO = 4;
inline constexpr int32_t BUTTON_ABORT = 8;
inline constexpr int32_t BUTTON_RETRY = 16;
inline constexpr int32_t BUTTON_IGNORE = 32;
inline constexpr int32_t BUTTON_CANCEL = 64;
inline constexpr int32_t BUTTON_HELP = 128;

// One bound variable of WINDOWCREATE: the address and size of a program variable, or the queue
// behind a list's rows.
struct Bound {
  enum class Kind : uint8_t { Variable, Rows };

  Bound(void* variable, size_t bytes) : address(variable), size(bytes) {}
  Bound(int32_t* variable) : address(variable), size(sizeof(int32_t)) {}  // NOLINT
  Bound(uint8_t* variable) : address(variable), size(1) {}                // NOLINT
  template <size_t N>
  Bound(FixedText<N>* text) : address(text->data()), size(N) {}    // NOLINT
  Bound(QueueDescriptor* rows) : kind(Kind::Rows), queue(rows) {}  // NOLINT

  Kind kind = Kind::Variable;
  void* address = nullptr;
  size_t size = 0;
  QueueDescriptor* queue = nullptr;
};

// Creates a window from its definition without showing it. The bindings must match the
// definition's binding order one for one (a variable where it binds a variable, of the size its
// descriptor gives; a queue where a list takes its rows). A failed lookup or a mismatch returns 0,
// and WindowCreateError says why.
WindowHandle WINDOWCREATE(std::string_view windowName, std::string_view tag,
                          std::initializer_list<Bound> bindings);
// Why the last WINDOWCREATE returned 0; "" after a success.
std::string_view WindowCreateError();

// Pops the help file name, then the topic. A non-empty name becomes the program's help file
// (".HLP" appended when it has no extension); the topic goes to the window created last.
void SETHELPFILE();
std::string_view HelpFile();
std::string HelpTopic(WindowHandle window);

// Builds the native window, shows it and makes it current; EVENT:OpenWindow is its first event.
// A window the platform refuses is fatal error 529.
void WINDOWOPEN(WindowHandle window);

// The event loop of the current window, written as
//   while (EVENTLOOP()) { ...body... }
// Each call finishes the previous event (its default handling, unless SKIPEVENT was called) and
// makes the next one current; `break` leaves the loop. Returns false once the window is gone (its
// EVENT:CloseWindow ended normally). With no current window: fatal error 537.
bool EVENTLOOP();
// The body's skip: the runtime omits the event's default handling. Follow it with `continue`.
void SKIPEVENT();
inline void CYCLE() {
  SKIPEVENT();
}

int32_t CURRENTEVENT();
int32_t EVENTCONTROL();
int32_t ACCEPTEDCONTROL();
// The selected row of a list (0: the control of the current event); 0 when there is no such list.
// It is the row the list highlights now: the user's pick, none once the row is gone.
int32_t SELECTEDROW(int32_t control = 0);
// The key behind the current event, masked to 7FFh: Enter for an entry accepted by it, Space for
// a button pressed from the keyboard, an alert key; 0 for the mouse, the timer and posted events.
int32_t LASTKEY();
// Queues an event (its value, without the 1400h) for a control of the current window.
void POSTEVENT(int32_t event, int32_t control = 0, int32_t thread = 0);
// Queues an event for a control of the given open window, current or not; a window under a modal
// one sees it once its own loop runs again. A handle that names no open window queues nothing.
void POSTEVENTTO(WindowHandle window, int32_t event, int32_t control = 0);

// Ranges: (0, 0) every control, (n, 0) control n alone, first > last swapped. Numbers that name
// no control are skipped. A refresh is drawn on the screen before REFRESHCONTROLS returns.
void REFRESHCONTROLS(int32_t first = 0, int32_t last = 0);
// An entry whose text the user changed copies it into its variable by itself, and raises
// EVENT:Accepted, when it loses the focus or Enter is pressed.
void READCONTROLS(int32_t first = 0, int32_t last = 0);
void HIDECONTROLS(int32_t first, int32_t last = 0);
void UNHIDECONTROLS(int32_t first, int32_t last = 0);
void DISABLECONTROLS(int32_t first, int32_t last = 0);
void ENABLECONTROLS(int32_t first, int32_t last = 0);
void FOCUSCONTROL(int32_t control);

// Property access. GETPROPERTY pops the property number and pushes the value (empty when the
// object has no such property); SETPROPERTY pops the value, then the number. A target that is not
// an open window is fatal error 536.
void GETPROPERTY(int32_t control, int32_t target = CURRENTTARGET);
void SETPROPERTY(int32_t control, int32_t target = CURRENTTARGET);

// Position and size in window units (control 0: the window). kUnchanged (80000000h) in an argument
// of WRITEPOSITION leaves that coordinate as it is. A window's height counts its title bar and
// menu bar as 27 units above the client area the definition sizes (15 without a menu bar), and
// never leaves the client area shorter than the toolbar: the main window, opened at 202, is 229
// high, and 23 leaves it its toolbar alone.
void READPOSITION(int32_t control, int32_t& x, int32_t& y, int32_t& width, int32_t& height);
void WRITEPOSITION(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height);

// Pushes the drag identifier of the current EVENT:Drop ("" outside one).
void DROPTAG();

// Pops the text, caption, icon and button set (text on top) and shows a modal message box.
// Returns the pressed button's bit, or its 1-based index when the set lists custom labels; 0 when
// the box was closed without a button.
int32_t MESSAGEDIALOG(int32_t defaultButton, int32_t style);

// Shows a message box with an "OK" button that does not wait for it: the loop, its timer and the
// device go on while the user reads it. Lines of `text` are separated by "|".
void SHOWNOTICE(std::string_view caption, std::string_view text, std::string_view icon);

// Dispatches pending native input, destroys the window and releases it; the window opened before
// it becomes current again.
void WINDOWCLOSE(WindowHandle window);

// Typed helpers over the value-stack operations above.
std::string GetProperty(int32_t property, int32_t control = 0, int32_t target = CURRENTTARGET);
void SetProperty(int32_t property, int32_t control, std::string_view value,
                 int32_t target = CURRENTTARGET);
inline void SetProperty(int32_t property, int32_t control, int32_t value,
                        int32_t target = CURRENTTARGET) {
  SetProperty(property, control, std::to_string(value), target);
}
inline void SetText(int32_t control, std::string_view text) {
  SetProperty(PROP_TEXT, control, text);
}
inline std::string GetText(int32_t control) {
  return GetProperty(PROP_TEXT, control);
}
inline void SetIcon(int32_t control, std::string_view icon) {
  SetProperty(PROP_ICON, control, icon);
}
inline void SetToolTip(int32_t control, std::string_view tip) {
  SetProperty(PROP_TOOLTIP, control, tip);
}
inline void SetTimer(int32_t hundredths) {
  SetProperty(PROP_TIMER, 0, hundredths);
}
// One timer event more for `window`, `milliseconds` from now: for a change the program knows is
// due between two ticks. The timer keeps its own beat; a later call replaces the earlier one, and
// a tick that falls due first takes its place.
void SetExtraTick(WindowHandle window, int32_t milliseconds);
inline bool GetIconized() {
  return !GetProperty(PROP_ICONIZED).empty();
}
inline void SetSelected(int32_t control, int32_t row) {
  SetProperty(PROP_SELECTED, control, row);
}
int32_t GetSelected(int32_t control);
uint64_t GetHandle(WindowHandle window = CURRENTTARGET);

// The current window (0 when none) and whether a handle names an open window.
WindowHandle CurrentWindow();
bool IsWindowOpen(WindowHandle window);
// The native window behind a runtime window (0 when it has none).
uintptr_t NativeWindowOf(WindowHandle window);
// The system timing values, in milliseconds. They are set in hundredths of a second, clamped to
// 0 to INT32_MAX / 10 so that the milliseconds fit.
int32_t SystemTimingMs(int32_t property);

// Forgets every window and the runtime-wide settings, destroying native windows still alive; for
// tests and for the program's end.
void ResetWindows();

}  // namespace vantora::runtime
