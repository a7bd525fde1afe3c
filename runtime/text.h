// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed-length, blank-padded texts and the runtime's string operations on them.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "runtime/field.h"

namespace vantora::runtime {

// Copies as much of the source as fits in destLen bytes, never part of a character, and fills
// the rest of the destination with spaces.
void AssignFixed(char* dest, size_t destLen, const char* src, size_t srcLen);
// Assigns to a text field of `chars` characters (TextBytes(chars) bytes): at most that many
// characters of the source, the rest blank.
void AssignText(char* dest, size_t chars, const char* src, size_t srcLen);
// Copies at most destSize - 1 bytes, never part of a character, and a zero byte after them; a size
// of 0 writes nothing.
void AssignCString(char* dest, size_t destSize, const char* src, size_t srcLen);
void FillSpaces(char* dest, size_t length);

// Compares over the longer length, the shorter text read as if padded with spaces, bytes ordered
// through the collation table. Returns negative, 0 or positive. Two empty texts are equal.
int CompareStrings(const char* a, size_t aLen, const char* b, size_t bLen);
int CompareStrings(std::string_view a, std::string_view b);

// The 256-entry collation table: the order value of each byte. It starts as the identity.
using CollationTable = std::array<uint8_t, 256>;
const CollationTable& Collation();
void SetCollationTable(const CollationTable& table);
void ResetCollationTable();

// The text without its trailing spaces.
std::string_view CLIP(std::string_view text);

// The bytes of a text field of `chars` characters that hold those characters, padding included.
size_t FieldTextBytes(const char* field, size_t chars);

// Resets a variable or group through its field descriptors: text fields become spaces, Long and
// Byte fields (and any other type) become zero bytes. The descriptors must lie inside the variable.
void ClearVariable(void* address, RecordFields fields);
// The same with the variable's size known: a field reaching beyond it is left alone.
void ClearVariable(std::span<std::byte> variable, RecordFields fields);

// A fixed-length text of N characters in UTF-8: always TextBytes(N) bytes, blank-padded, no
// terminator. Assignment cuts to N characters or pads; comparison ignores trailing blanks. data()
// and size() bind it to controls and queue records as a text field of N characters.
template <size_t N>
class FixedText {
 public:
  FixedText() { FillSpaces(bytes_.data(), bytes_.size()); }
  FixedText(std::string_view text) { Assign(text); }  // NOLINT: assigning texts is the point
  FixedText& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  // Assignment between lengths cuts or pads too.
  template <size_t M>
  FixedText& Assign(const FixedText<M>& other) {
    AssignText(bytes_.data(), N, other.data(), other.bytes());
    return *this;
  }
  void Assign(std::string_view text) { AssignText(bytes_.data(), N, text.data(), text.size()); }
  void Clear() { FillSpaces(bytes_.data(), bytes_.size()); }

  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }
  static constexpr size_t size() { return N; }  // characters
  static constexpr size_t bytes() { return TextBytes(N); }
  char& operator[](size_t index) { return bytes_[index]; }
  char operator[](size_t index) const { return bytes_[index]; }

  // The field as its N characters, the padding included.
  std::string_view view() const { return {bytes_.data(), FieldTextBytes(bytes_.data(), N)}; }
  std::string_view clipped() const { return CLIP(view()); }
  std::string str() const { return std::string(clipped()); }

  friend bool operator==(const FixedText& a, std::string_view b) {
    return CompareStrings(a.data(), bytes(), b.data(), b.size()) == 0;
  }
  friend std::weak_ordering operator<=>(const FixedText& a, std::string_view b) {
    return CompareStrings(a.data(), bytes(), b.data(), b.size()) <=> 0;
  }
  template <size_t M>
  bool operator==(const FixedText<M>& other) const {
    return CompareStrings(data(), bytes(), other.data(), other.bytes()) == 0;
  }
  template <size_t M>
  std::weak_ordering operator<=>(const FixedText<M>& other) const {
    return CompareStrings(data(), bytes(), other.data(), other.bytes()) <=> 0;
  }

 private:
  std::array<char, TextBytes(N)> bytes_;
};

}  // namespace vantora::runtime
