// SPDX-License-Identifier: GPL-3.0-or-later
// List-box format strings: the columns of a list control, as a window definition describes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::windows {

struct ListColumn {
  int32_t width = 0;     // window units
  char alignment = 'L';  // 'L', 'R', 'C' or 'D'
  int32_t indent = 0;    // window units, from "(n)" after the alignment
  std::string picture;   // between two "@"; "" shows the field as it is
  int32_t field = 0;     // from "#n#": the 1-based field shown; 0 = the next field in order
  std::string heading;   // between two "~"
  std::vector<uint32_t> colours;  // from "E(...)"
  std::string flags;              // the single-character modifiers given, in order ("/?*IMF|_")
  int32_t scrollWidth = 0;        // from "S" or "S(n)": 100 when no width is given
  std::optional<int32_t> headerValue;  // from "H(n)"
  std::string treeFlags;               // from "T(...)": any of "L1RBI"
  int32_t group = 0;  // 1-based number of the "[...]" group the column is in; 0 for none
};

// Parses a whole format string ("160L@S40@"). Every modifier is read; a string that does not
// follow the grammar yields nullopt, so a damaged definition never shows half-parsed columns.
std::optional<std::vector<ListColumn>> ParseListFormat(std::string_view format);

// The 1-based field each column shows: its "#n#" field, or the one after the previous column's.
std::vector<int32_t> ColumnFields(const std::vector<ListColumn>& columns);

}  // namespace vantora::windows
