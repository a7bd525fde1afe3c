// SPDX-License-Identifier: GPL-3.0-or-later
// Field descriptors: how the runtime reads the bytes of a bound variable or of a queue record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vantora::runtime {

// Data type codes, as the window definitions' variable descriptors store them.
enum class DataType : uint8_t {
  Byte = 1,   // unsigned 8-bit; an array of them when size > 1
  Long = 6,   // signed 32-bit, little-endian
  Text = 18,  // fixed-length text, blank-padded
};

// A text field of N characters holds them as UTF-8 in N times the longest character's bytes.
inline constexpr size_t kCharBytes = 4;
constexpr size_t TextBytes(size_t chars) {
  return chars * kCharBytes;
}

struct FieldDescriptor {
  std::string_view name;  // upper case, as procedures name it ("PLTRACKTITLE")
  DataType type;
  uint32_t offset;           // bytes from the start of the record
  uint32_t size;             // characters for a text, bytes for the others
  std::string_view picture;  // display picture, "" for none
};

// The bytes a field takes in its record.
constexpr size_t FieldBytes(const FieldDescriptor& field) {
  return field.type == DataType::Text ? TextBytes(field.size) : field.size;
}

// The fields of one record, in declaration order.
using RecordFields = std::span<const FieldDescriptor>;

}  // namespace vantora::runtime
