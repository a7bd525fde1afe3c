// SPDX-License-Identifier: GPL-3.0-or-later
// The encoding of the program's texts: UTF-8, with the single-byte Windows-1252 of older files read
// into it.
#include "platform/text_encoding.h"

#include <array>
#include <cstdint>

namespace vantora::platform {
namespace {

// Windows-1252's 80h..9Fh; the rest of the upper half is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The length of the well-formed sequence at `at`, or 0 when there is none.
size_t SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
  const uint8_t lead = byte(0);
  if (lead < 0x80) {
    return 1;
  }
  size_t length = 0;
  uint8_t low = 0x80;  // the second byte's range, narrowed against overlongs and surrogates
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = SequenceAt(bytes, at);
    if (length == 0) {
      return false;
    }
    at += length;
  }
  return true;
}

std::string FromWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char32_t{b});
  }
  return out;
}

std::string ToUtf8(std::string_view bytes) {
  return IsUtf8(bytes) ? std::string(bytes) : FromWindows1252(bytes);
}

size_t Utf8Prefix(std::string_view text, size_t maxChars, size_t maxBytes) {
  size_t at = 0;
  for (size_t chars = 0; chars < maxChars && at < text.size(); ++chars) {
    const size_t length = std::max<size_t>(SequenceAt(text, at), 1);
    if (length > maxBytes - at) {
      break;
    }
    at += length;
  }
  return at;
}

size_t Utf8Length(std::string_view text) {
  size_t chars = 0;
  for (size_t at = 0; at < text.size(); ++chars) {
    at += std::max<size_t>(SequenceAt(text, at), 1);
  }
  return chars;
}

}  // namespace vantora::platform
