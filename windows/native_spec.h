// SPDX-License-Identifier: GPL-3.0-or-later
// Turns a window definition into the description the native window system builds a window from.
#pragma once

#include <vector>

#include "platform/window_system.h"
#include "windows/definition.h"

namespace vantora::windows {

struct NativeLayout {
  platform::NativeWindowSpec spec;
  // The definition's control behind each native id: controls[id - 1]. Ids run in definition
  // order (menu bar and its menus and items, toolbar and its controls, then the body, each parent
  // before its children), so they are stable for one definition.
  std::vector<const Control*> controls;
};

// The window's native description. The returned layout points into `window`, which must outlive
// it.
NativeLayout ToNativeLayout(const WindowDefinition& window);

}  // namespace vantora::windows
