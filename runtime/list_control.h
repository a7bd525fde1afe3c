// SPDX-License-Identifier: GPL-3.0-or-later
// List controls: the rows a list draws, read straight from its bound queue through the columns of
// its format string.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_system.h"
#include "runtime/field.h"
#include "runtime/picture.h"
#include "runtime/queue.h"
#include "windows/list_format.h"

namespace vantora::runtime {

// A field of a record as text: a text field as stored, numbers as their decimal text. A field
// reaching past the record gives "".
std::string FieldText(std::span<const std::byte> record, const FieldDescriptor& field);

// The rows of one list control. Nothing is copied: every call reads the queue as it is now, so
// additions and deletions show the next time the list draws.
class ListRows final : public platform::NativeRows {
 public:
  // A format string that does not parse gives one column showing the first field as it is.
  ListRows(const QueueDescriptor* queue, std::string_view format);

  int32_t RowCount() const override;
  std::string Cell(int32_t row, int32_t column) const override;
  uint32_t Changes() const override;

  int32_t ColumnCount() const { return static_cast<int32_t>(columns_.size()); }
  // The unformatted value of a column's field in a row (what a drop list pick assigns);
  // nullopt when the row or column does not exist.
  std::optional<std::string> Value(int32_t row, int32_t column) const;
  // The first row whose first column's value equals the text (trailing blanks ignored); 0 if none.
  int32_t FindRow(std::string_view value) const;
  // The row a drop list shows for its value. Rows may repeat a value (two tracks of one title,
  // blank names), so of the rows holding it the queue's current entry (the one the procedure
  // fetched last) comes first, then `highlighted`, then the first; 0 if no row holds it.
  int32_t RowFor(std::string_view value, int32_t highlighted) const;

 private:
  struct Column {
    int32_t field = 1;  // 1-based
    Picture picture;
    bool hasPicture = false;
  };
  const QueueDescriptor* queue_;
  std::vector<Column> columns_;
};

}  // namespace vantora::runtime
