// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/text.h"

#include <algorithm>
#include <cstring>

#include "platform/text_encoding.h"

namespace vantora::runtime {

namespace {

CollationTable IdentityTable() {
  CollationTable table{};
  for (size_t i = 0; i < table.size(); ++i)
    table[i] = static_cast<uint8_t>(i);
  return table;
}

CollationTable& Table() {
  static CollationTable table = IdentityTable();
  return table;
}

void ClearField(std::byte* base, const FieldDescriptor& field) {
  std::byte* target = base + field.offset;
  if (field.type == DataType::Text) {
    FillSpaces(reinterpret_cast<char*>(target), TextBytes(field.size));
  } else {
    std::memset(target, 0, field.size);
  }
}

}  // namespace

void AssignFixed(char* dest, size_t destLen, const char* src, size_t srcLen) {
  if (dest == nullptr || destLen == 0)
    return;
  const size_t count =
      src == nullptr ? 0 : platform::Utf8Prefix(std::string_view(src, srcLen), destLen);
  // memmove: a field may be assigned a part of itself.
  if (count > 0)
    std::memmove(dest, src, count);
  std::memset(dest + count, ' ', destLen - count);
}

void AssignText(char* dest, size_t chars, const char* src, size_t srcLen) {
  if (dest == nullptr || chars == 0)
    return;
  const size_t bytes = TextBytes(chars);
  const size_t count =
      src == nullptr ? 0 : platform::Utf8Prefix(std::string_view(src, srcLen), chars, bytes);
  if (count > 0)
    std::memmove(dest, src, count);
  std::memset(dest + count, ' ', bytes - count);
}

void AssignCString(char* dest, size_t destSize, const char* src, size_t srcLen) {
  if (dest == nullptr || destSize == 0)
    return;
  const size_t count =
      src == nullptr ? 0 : platform::Utf8Prefix(std::string_view(src, srcLen), destSize - 1);
  if (count > 0)
    std::memmove(dest, src, count);
  dest[count] = '\0';
}

size_t FieldTextBytes(const char* field, size_t chars) {
  const std::string_view text = CLIP(std::string_view(field, TextBytes(chars)));
  const size_t used = platform::Utf8Length(text);
  return text.size() + (chars > used ? chars - used : 0);
}

void FillSpaces(char* dest, size_t length) {
  if (dest != nullptr && length > 0)
    std::memset(dest, ' ', length);
}

int CompareStrings(const char* a, size_t aLen, const char* b, size_t bLen) {
  if (a == nullptr)
    aLen = 0;
  if (b == nullptr)
    bLen = 0;
  const CollationTable& table = Table();
  const size_t length = std::max(aLen, bLen);
  for (size_t i = 0; i < length; ++i) {
    // Bytes are unsigned: 0xE9 orders after 'z' with the identity table.
    const uint8_t byteA = i < aLen ? static_cast<uint8_t>(a[i]) : uint8_t{' '};
    const uint8_t byteB = i < bLen ? static_cast<uint8_t>(b[i]) : uint8_t{' '};
    const int orderA = table[byteA];
    const int orderB = table[byteB];
    if (orderA != orderB)
      return orderA - orderB;
  }
  return 0;
}

int CompareStrings(std::string_view a, std::string_view b) {
  return CompareStrings(a.data(), a.size(), b.data(), b.size());
}

const CollationTable& Collation() {
  return Table();
}

void SetCollationTable(const CollationTable& table) {
  Table() = table;
}

void ResetCollationTable() {
  Table() = IdentityTable();
}

std::string_view CLIP(std::string_view text) {
  const size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? text.substr(0, 0) : text.substr(0, end + 1);
}

void ClearVariable(void* address, RecordFields fields) {
  if (address == nullptr)
    return;
  auto* base = static_cast<std::byte*>(address);
  for (const FieldDescriptor& field : fields)
    ClearField(base, field);
}

void ClearVariable(std::span<std::byte> variable, RecordFields fields) {
  for (const FieldDescriptor& field : fields) {
    if (field.offset > variable.size() || FieldBytes(field) > variable.size() - field.offset)
      continue;
    ClearField(variable.data(), field);
  }
}

}  // namespace vantora::runtime
