// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the window definition reader: any bytes as a definition resource must end in a
// window, a set or a clean failure, never an out-of-bounds read or a hang.
#include <cstddef>
#include <cstdint>
#include <span>

#include "windows/definition.h"
#include "windows/description.h"

namespace win = vantora::windows;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> resource(data, size);
  if (std::optional<win::DefinitionSet> set = win::ReadDefinitionSet(resource)) {
    for (const win::WindowDefinition& window : set->windows) {
      // Every window the set lists must also be found by name, and print.
      if (!win::ReadWindowDefinition(resource, set->tag, window.name)) {
        __builtin_trap();
      }
      (void)win::DumpWindow(window);
      (void)win::BindingOrder(window);
    }
  }
  for (const char* name : {"P2$CDPLAYWIN", "P22$EDITWINDOW", "P26$EDITWINDOW", "P27$ABOUTWINDOW"}) {
    (void)win::ReadWindowDefinition(resource, "cdplayer$CDPLAYER", name);
  }
  return 0;
}
