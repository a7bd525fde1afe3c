// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the format strings of list controls and the rows drawn through them. A format
// string parses whole or not at all; what it parses to lies within the grammar's bounds and,
// written out again, parses to the same columns; and the cells of any queue's rows, read through
// the columns, never reach outside their records and have the width their pictures give them.
//
// The first line is the format string. The second describes the queue's record: its size, then
// fields as a type letter (T text, L long, B byte) with offset and size: "64 T0,60 L60,4". Each
// further line is one record's bytes (escapes as in fuzz_support.h), cut or padded with zeros.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/text_encoding.h"
#include "runtime/list_control.h"
#include "runtime/queue.h"
#include "runtime/text.h"
#include "windows/list_format.h"

namespace {

namespace fz = vantora::fuzz;
namespace rt = vantora::runtime;
using vantora::windows::ListColumn;

constexpr int32_t kLargestNumber = 1'000'000;
constexpr size_t kMostRows = 64;
constexpr size_t kMostFields = 16;
constexpr uint32_t kLargestRecord = 1024;

// The columns written out as a format string.
std::string FormatOf(const std::vector<ListColumn>& columns) {
  std::string out;
  int32_t group = 0;
  for (const ListColumn& column : columns) {
    if (column.group != group) {
      out += group != 0 ? "]" : "";
      out += column.group != 0 ? "[" : "";
      group = column.group;
    }
    out += std::to_string(column.width) + column.alignment;
    out += column.indent != 0 ? "(" + std::to_string(column.indent) + ")" : "";
    out += column.picture.empty() ? "" : "@" + column.picture + "@";
    out += column.field != 0 ? "#" + std::to_string(column.field) + "#" : "";
    out += column.heading.empty() ? "" : "~" + column.heading + "~";
    if (!column.colours.empty()) {
      out += "E(";
      for (size_t i = 0; i < column.colours.size(); ++i) {
        out += (i == 0 ? "" : ",") + std::to_string(column.colours[i]);
      }
      out += ")";
    }
    out += column.flags;
    out += column.scrollWidth != 0 ? "S(" + std::to_string(column.scrollWidth) + ")" : "";
    out += column.headerValue ? "H(" + std::to_string(*column.headerValue) + ")" : "";
    out += column.treeFlags.empty() ? "" : "T(" + column.treeFlags + ")";
  }
  out += group != 0 ? "]" : "";
  return out;
}

// Group numbers count every "[", also of groups without columns; only which columns share a
// group is kept when the columns are written out again.
std::vector<int32_t> GroupsInOrder(const std::vector<ListColumn>& columns) {
  std::map<int32_t, int32_t> renumbered;
  std::vector<int32_t> groups;
  for (const ListColumn& column : columns) {
    if (column.group == 0) {
      groups.push_back(0);
    } else {
      groups.push_back(
          renumbered.try_emplace(column.group, static_cast<int32_t>(renumbered.size()) + 1)
              .first->second);
    }
  }
  return groups;
}

bool SameColumns(std::vector<ListColumn> a, std::vector<ListColumn> b) {
  if (a.size() != b.size() || GroupsInOrder(a) != GroupsInOrder(b)) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    a[i].group = b[i].group = 0;
    const ListColumn& x = a[i];
    const ListColumn& y = b[i];
    if (x.width != y.width || x.alignment != y.alignment || x.indent != y.indent ||
        x.picture != y.picture || x.field != y.field || x.heading != y.heading ||
        x.colours != y.colours || x.flags != y.flags || x.scrollWidth != y.scrollWidth ||
        x.headerValue != y.headerValue || x.treeFlags != y.treeFlags) {
      return false;
    }
  }
  return true;
}

void CheckColumns(std::string_view format, const std::vector<ListColumn>& columns) {
  const auto groups = static_cast<int32_t>(std::count(format.begin(), format.end(), '['));
  fz::Expect(!columns.empty(), "a format string that parses has columns", format);
  for (const ListColumn& column : columns) {
    fz::Expect(column.width >= 0 && column.width <= kLargestNumber && column.indent >= 0 &&
                   column.indent <= kLargestNumber && column.scrollWidth >= 0 &&
                   column.scrollWidth <= kLargestNumber &&
                   (!column.headerValue ||
                    (*column.headerValue >= 0 && *column.headerValue <= kLargestNumber)),
               "numbers of a column lie within bounds", format);
    fz::Expect(std::string_view("LRCD").find(column.alignment) != std::string_view::npos,
               "a column is aligned L, R, C or D", format);
    fz::Expect(column.field >= 0 && column.field <= 999, "a field number has three digits", format);
    fz::Expect(
        column.colours.size() <= 4 && std::all_of(column.colours.begin(), column.colours.end(),
                                                  [](uint32_t c) { return c <= kLargestNumber; }),
        "a column has up to four colours", format);
    fz::Expect(column.flags.find_first_not_of("/?*IMF|_") == std::string::npos,
               "a column's flags are the single-character modifiers", format);
    fz::Expect(column.treeFlags.find_first_not_of("LRBI1lrbi") == std::string::npos,
               "tree flags are L, 1, R, B and I", format);
    fz::Expect(column.picture.find('@') == std::string::npos &&
                   column.heading.find('~') == std::string::npos,
               "a picture and a heading end at their delimiters", format);
    fz::Expect(column.group >= 0 && column.group <= groups, "a column's group is one of the [",
               format);
  }
  const std::string again = FormatOf(columns);
  const auto reparsed = vantora::windows::ParseListFormat(again);
  fz::Expect(reparsed && SameColumns(columns, *reparsed),
             "columns written out parse to the same columns", std::string(format) + " -> " + again);
  const std::vector<int32_t> fields = vantora::windows::ColumnFields(columns);
  fz::Expect(fields.size() == columns.size() &&
                 std::all_of(fields.begin(), fields.end(), [](int32_t f) { return f >= 1; }),
             "every column shows a field", format);
}

// The record layout of the second line.
struct Layout {
  uint32_t size = 1;
  std::vector<rt::FieldDescriptor> fields;
};

Layout ReadLayout(std::string_view line) {
  Layout layout;
  const std::vector<std::string> words = fz::Fields(line, ' ');
  layout.size = static_cast<uint32_t>(
      std::clamp(fz::ReadNumber(words.front(), 64), 1, static_cast<int>(kLargestRecord)));
  for (size_t i = 1; i < words.size() && layout.fields.size() < kMostFields; ++i) {
    const std::string& word = words[i];
    if (word.empty()) {
      continue;
    }
    const rt::DataType type = word[0] == 'L'   ? rt::DataType::Long
                              : word[0] == 'B' ? rt::DataType::Byte
                                               : rt::DataType::Text;
    const size_t comma = word.find(',');
    const auto offset = static_cast<uint32_t>(fz::ReadNumber(std::string_view(word).substr(1), 0));
    const auto size = static_cast<uint32_t>(
        comma == std::string::npos ? 1
                                   : fz::ReadNumber(std::string_view(word).substr(comma + 1), 1));
    layout.fields.push_back(rt::FieldDescriptor{"F", type, offset, size, ""});
  }
  return layout;
}

// What a column of a record shows, unformatted: its field, or the whole record in the first
// column of a queue without fields.
std::string ValueOf(std::span<const std::byte> record, const Layout& layout, int32_t field) {
  if (static_cast<size_t>(field) <= layout.fields.size()) {
    return rt::FieldText(record, layout.fields[static_cast<size_t>(field) - 1]);
  }
  if (layout.fields.empty() && field == 1) {
    return std::string(reinterpret_cast<const char*>(record.data()), record.size());
  }
  return {};
}

void CheckRows(std::string_view format, const std::optional<std::vector<ListColumn>>& columns,
               const Layout& layout, const std::vector<std::string_view>& rows) {
  std::vector<std::byte> buffer(layout.size);
  rt::QueueDescriptor queue{buffer.data(), layout.fields, nullptr, layout.size};
  for (const std::string_view row : rows) {
    const std::string bytes = fz::Unescape(row);
    std::fill(buffer.begin(), buffer.end(), std::byte{0});
    std::memcpy(buffer.data(), bytes.data(), std::min<size_t>(bytes.size(), buffer.size()));
    rt::QueueAppend(&queue);
  }
  const rt::ListRows list(&queue, format);
  const std::vector<ListColumn> shown = columns ? *columns : std::vector<ListColumn>(1);
  const std::vector<int32_t> fields = vantora::windows::ColumnFields(shown);
  const auto count = static_cast<int32_t>(rows.size());
  fz::Expect(list.RowCount() == count && list.ColumnCount() == static_cast<int32_t>(shown.size()),
             "a list has a row per entry and a column per column", format);
  for (int32_t row = -1; row <= count + 1; ++row) {
    for (int32_t column = -1; column <= list.ColumnCount(); ++column) {
      const std::optional<std::string> value = list.Value(row, column);
      const std::string cell = list.Cell(row, column);
      const bool inside = row >= 1 && row <= count && column >= 0 && column < list.ColumnCount();
      if (!inside) {
        fz::Expect(!value && cell.empty(), "a cell outside the rows and columns is empty", format);
        continue;
      }
      const auto record = rt::PeekQueueEntry(&queue, row);
      const std::string want = ValueOf(record, layout, fields[static_cast<size_t>(column)]);
      // Numbers show as their decimal text, which a short record may not hold.
      fz::Expect(value == want && value->size() <= std::max<size_t>(layout.size, 11),
                 "a cell's value is its field, inside the record",
                 std::string(format) + ": '" + value.value_or("(none)") + "' for '" + want + "'");
      const std::string& pictureText = shown[static_cast<size_t>(column)].picture;
      if (pictureText.empty()) {
        fz::Expect(cell == want, "a cell without a picture shows its value", format);
      } else {
        const auto width = static_cast<size_t>(rt::CompilePicture(pictureText).width);
        fz::Expect(vantora::platform::Utf8Length(cell) == width,
                   "a cell has its picture's width in characters", format);
      }
    }
    if (row >= 1 && row <= count) {
      const std::string first = *list.Value(row, 0);
      const int32_t found = list.FindRow(first);
      fz::Expect(
          found >= 1 && found <= row && rt::CompareStrings(*list.Value(found, 0), first) == 0,
          "a row's first value finds that row or an equal one before it", format);
    }
  }
  rt::QueueFree(&queue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string_view> lines =
      fz::Lines(std::string_view(reinterpret_cast<const char*>(data), size));
  lines.resize(std::max<size_t>(lines.size(), 2));
  const std::string_view format = lines[0];
  const auto columns = vantora::windows::ParseListFormat(format);
  if (columns) {
    CheckColumns(format, *columns);
  }
  const Layout layout = ReadLayout(lines[1]);
  const std::vector<std::string_view> rows(
      lines.begin() + 2,
      lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), kMostRows + 2)));
  CheckRows(format, columns, layout, rows);
  return 0;
}
