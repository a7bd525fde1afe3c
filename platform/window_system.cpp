// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide window system and the platform-shaped calls that reach it by native handle.
#include "platform/window_system.h"

namespace vantora::platform {
namespace {

WindowSystem* g_current = nullptr;

}  // namespace

WindowSystem* CurrentWindowSystem() {
  return g_current;
}

WindowSystem* SetCurrentWindowSystem(WindowSystem* system) {
  WindowSystem* previous = g_current;
  g_current = system;
  return previous;
}

intptr_t DefWindowProcA(uint64_t /*hwnd*/, uint32_t message, uintptr_t /*wParam*/,
                        intptr_t /*lParam*/) {
  return message == WM_QUERYENDSESSION ? 1 : 0;
}

intptr_t SetWindowLongA(uint64_t hwnd, int32_t index, intptr_t value) {
  WindowSystem* system = CurrentWindowSystem();
  if (system == nullptr || index != GWL_WNDPROC || value == 0) {
    return 0;
  }
  const uintptr_t window = system->WindowFromNativeHandle(hwnd);
  if (window == 0) {
    return 0;
  }
  return system->SetWindowProc(window, value);
}

intptr_t CallWindowProcA(intptr_t proc, uint64_t hwnd, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) {
  if (proc == 0) {
    return 0;
  }
  const auto function = reinterpret_cast<WNDPROC>(proc);
  return function(hwnd, message, wParam, lParam);
}

bool SetWindowPos(uint64_t hwnd, int64_t insertAfter, int32_t /*x*/, int32_t /*y*/, int32_t /*cx*/,
                  int32_t /*cy*/, uint32_t /*flags*/) {
  WindowSystem* system = CurrentWindowSystem();
  if (system == nullptr) {
    return false;
  }
  const uintptr_t window = system->WindowFromNativeHandle(hwnd);
  if (window == 0) {
    return false;
  }
  // Only the z-order travels this way; positions go through SetWindowRect in window units.
  if (insertAfter == HWND_TOPMOST) {
    return system->SetStayOnTop(window, true);
  }
  if (insertAfter == HWND_NOTOPMOST) {
    return system->SetStayOnTop(window, false);
  }
  return true;
}

}  // namespace vantora::platform
