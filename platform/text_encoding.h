// SPDX-License-Identifier: GPL-3.0-or-later
// The encoding of the program's texts: UTF-8, with the single-byte Windows-1252 of older files read
// into it, and cuts that count characters and never split one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantora::platform {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8. Its five unassigned bytes become the control characters of the
// same number, as the platform's own conversion does.
std::string FromWindows1252(std::string_view bytes);

// Stored text as the program's text: valid UTF-8 as it is, anything else read as Windows-1252.
std::string ToUtf8(std::string_view bytes);

// The byte length of the longest prefix of `text` that holds at most `maxChars` characters and
// `maxBytes` bytes and ends on a character's boundary. A byte that is not part of a well-formed
// sequence counts as one character of its own.
size_t Utf8Prefix(std::string_view text, size_t maxChars, size_t maxBytes);
inline size_t Utf8Prefix(std::string_view text, size_t maxBytes) {
  return Utf8Prefix(text, maxBytes, maxBytes);
}

// The number of characters, counted as Utf8Prefix counts them.
size_t Utf8Length(std::string_view text);

}  // namespace vantora::platform
