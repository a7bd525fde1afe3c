// SPDX-License-Identifier: GPL-3.0-or-later
// List rows from a bound queue.
#include "runtime/list_control.h"

#include <cstring>

#include "runtime/text.h"

namespace vantora::runtime {

std::string FieldText(std::span<const std::byte> record, const FieldDescriptor& field) {
  if (field.offset > record.size() || FieldBytes(field) > record.size() - field.offset) {
    return {};
  }
  const std::byte* bytes = record.data() + field.offset;
  switch (field.type) {
    case DataType::Long: {
      if (field.size < 4) {
        return {};
      }
      uint32_t raw = 0;
      for (int i = 3; i >= 0; --i) {
        raw = (raw << 8) | std::to_integer<uint32_t>(bytes[i]);
      }
      return std::to_string(static_cast<int32_t>(raw));
    }
    case DataType::Byte:
      if (field.size == 1) {
        return std::to_string(std::to_integer<uint32_t>(bytes[0]));
      }
      break;
    case DataType::Text:
      return std::string(reinterpret_cast<const char*>(bytes),
                         FieldTextBytes(reinterpret_cast<const char*>(bytes), field.size));
  }
  return std::string(reinterpret_cast<const char*>(bytes), field.size);
}

ListRows::ListRows(const QueueDescriptor* queue, std::string_view format) : queue_(queue) {
  const std::optional<std::vector<windows::ListColumn>> columns = windows::ParseListFormat(format);
  if (!columns) {
    columns_.push_back(Column{});
    return;
  }
  const std::vector<int32_t> fields = windows::ColumnFields(*columns);
  for (size_t i = 0; i < columns->size(); ++i) {
    Column column;
    column.field = fields[i];
    column.hasPicture = !(*columns)[i].picture.empty();
    if (column.hasPicture) {
      column.picture = CompilePicture((*columns)[i].picture);
    }
    columns_.push_back(std::move(column));
  }
}

int32_t ListRows::RowCount() const {
  if (queue_ == nullptr || !queue_->entries) {
    return 0;
  }
  return queue_->entries->Count();
}

uint32_t ListRows::Changes() const {
  return QueueChanges(queue_);
}

std::optional<std::string> ListRows::Value(int32_t row, int32_t column) const {
  if (column < 0 || column >= ColumnCount()) {
    return std::nullopt;
  }
  const std::span<const std::byte> record = PeekQueueEntry(queue_, row);
  if (record.empty()) {
    return std::nullopt;
  }
  const int32_t field = columns_[static_cast<size_t>(column)].field;
  if (static_cast<size_t>(field) <= queue_->fields.size()) {
    return FieldText(record, queue_->fields[static_cast<size_t>(field) - 1]);
  }
  // A queue declared without field descriptors shows its whole record in the first column.
  if (queue_->fields.empty() && field == 1) {
    return std::string(reinterpret_cast<const char*>(record.data()), record.size());
  }
  return std::string{};
}

std::string ListRows::Cell(int32_t row, int32_t column) const {
  std::optional<std::string> value = Value(row, column);
  if (!value) {
    return {};
  }
  const Column& format = columns_[static_cast<size_t>(column)];
  return format.hasPicture ? FormatText(*value, format.picture) : *value;
}

int32_t ListRows::FindRow(std::string_view value) const {
  const int32_t count = RowCount();
  for (int32_t row = 1; row <= count; ++row) {
    const std::optional<std::string> cell = Value(row, 0);
    if (cell && CompareStrings(*cell, value) == 0) {
      return row;
    }
  }
  return 0;
}

int32_t ListRows::RowFor(std::string_view value, int32_t highlighted) const {
  // Read without QueuePosition: drawing must not touch the procedure's LastError.
  const int32_t current = queue_ != nullptr && queue_->entries ? queue_->entries->Position() : 0;
  for (const int32_t row : {current, highlighted}) {
    const std::optional<std::string> cell = Value(row, 0);
    if (cell && CompareStrings(*cell, value) == 0) {
      return row;
    }
  }
  return FindRow(value);
}

}  // namespace vantora::runtime
