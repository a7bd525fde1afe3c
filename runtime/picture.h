// SPDX-License-Identifier: GPL-3.0-or-later
// Display pictures: compiling them, and formatting numbers and texts through them and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/decimal.h"

namespace vantora::runtime {

enum class PictureKind : uint8_t {
  Invalid,  // compiles to width 0 and formats as ""
  Pattern,  // "P##:P": digits and literals between two P letters
  Numeric,  // "N2", "N05", "N-12,.2"
  Time,     // "T1".."T8"
  String,   // "S40"
};

// A compiled picture. Width 0 means the picture formats everything as the empty string.
struct Picture {
  static constexpr size_t kMaxText = 100;
  static constexpr int kMaxWidth = 255;

  PictureKind kind = PictureKind::Invalid;
  int width = 0;
  bool blankWhenZero = false;
  // Pattern: the slots between the two letters ('#', '<' or a literal character).
  std::string slots;
  // Numeric: fill for unused leading positions, grouping separator (0 for none), decimals.
  char fill = ' ';
  char grouping = 0;
  int decimals = 0;
  // Time: the layout number 1..8.
  int layout = 0;
};

// Compiles a picture text: an optional "@", a kind letter (either case), the kind's body and an
// optional trailing "B"/"b" for blank-when-zero. Anything it cannot read compiles to width 0.
Picture CompilePicture(std::string_view text);

// Formats a number through a compiled picture.
std::string FormatNumber(const Decimal& value, const Picture& picture);

// Formats a text through a compiled picture: string pictures show it as it is, the others read it
// as a number first.
std::string FormatText(std::string_view text, const Picture& picture);

// Reads a formatted text back through a picture; returns the plain value as text ("372301", "-1",
// "12.5"). String pictures return the text cut to the picture's width.
std::string DeformatText(std::string_view text, const Picture& picture);

// Value-stack forms, as the player calls them.

// Pops the top of the decimal stack and pushes its formatted text on the value stack.
void FORMAT(std::string_view picture);
// The same for an integer argument.
void FORMAT(int32_t value, std::string_view picture);
// Pops the top of the decimal stack and assigns its formatted text to a fixed-length field.
void FormatToField(std::string_view picture, char* field, size_t length);
// Pops the top of the value stack (at most 254 characters used) and pushes its plain value as text.
void DEFORMAT(std::string_view picture);
// Reads a fixed-length field through a picture and pushes the value on the decimal stack.
void DeformatField(const char* field, size_t length, std::string_view picture);

}  // namespace vantora::runtime
