// Field descriptors: how the runtime reads the bytes of a bound variable or of a queue record.
#pragma once

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

struct FieldDescriptor {
  std::string_view name;  // upper case, as procedures name it ("PLTRACKTITLE")
  DataType type;
  uint32_t offset;           // bytes from the start of the record
  uint32_t size;             // bytes
  std::string_view picture;  // display picture, "" for none
};

// The fields of one record, in declaration order.
using RecordFields = std::span<const FieldDescriptor>;

}  // namespace vantora::runtime
