// SPDX-License-Identifier: GPL-3.0-or-later
// Writing definition sets in the compiled window definition format.
#pragma once

#include <cstdint>
#include <vector>

#include "windows/definition.h"

namespace vantora::windows {

// The resource bytes of a definition set: its tag, a NUL, then the definition buffer. Strings,
// font blocks, variable descriptors and lists come before the records that refer to them, and a
// menu bar's first menu directly after the menu bar. Fields a record type does not store are
// ignored.
std::vector<uint8_t> WriteDefinitionSet(const DefinitionSet& set);

}  // namespace vantora::windows
