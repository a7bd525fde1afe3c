// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share.
#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace vantora::fuzz {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Appends the character that the escape at text[at] (just after the backslash) stands for;
// returns how many characters it used.
size_t AppendEscape(std::string_view text, size_t at, std::string& out) {
  if (at >= text.size()) {
    out += '\\';
    return 0;
  }
  switch (text[at]) {
    case 'n':
      out += '\n';
      return 1;
    case 'r':
      out += '\r';
      return 1;
    case 't':
      out += '\t';
      return 1;
    case '0':
      out += '\0';
      return 1;
    case 'x':
      if (at + 2 < text.size() && HexDigit(text[at + 1]) >= 0 && HexDigit(text[at + 2]) >= 0) {
        out += static_cast<char>(HexDigit(text[at + 1]) * 16 + HexDigit(text[at + 2]));
        return 3;
      }
      out += 'x';
      return 1;
    default:
      out += text[at];
      return 1;
  }
}

// Removes the process's directory when the process ends normally.
struct DirectoryRemover {
  std::filesystem::path path;
  ~DirectoryRemover() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

void Fail(std::string_view property, std::string_view detail) {
  std::fprintf(stderr, "\nPROPERTY BROKEN: %.*s\n", static_cast<int>(property.size()),
               property.data());
  if (!detail.empty()) {
    const std::string shown = Printable(detail);
    std::fprintf(stderr, "  %s\n", shown.c_str());
  }
  std::fflush(stderr);
  std::abort();
}

SplitInput SplitAtMarker(std::string_view input) {
  if (input.starts_with("%%\n")) {
    return {{}, input.substr(3)};
  }
  const size_t at = input.find("\n%%\n");
  if (at == std::string_view::npos) {
    return {input, {}};
  }
  return {input.substr(0, at), input.substr(at + 4)};
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) {
      break;
    }
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string> Fields(std::string_view line, char separator) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\') {
      i += AppendEscape(line, i + 1, fields.back());
    } else if (line[i] == separator) {
      fields.emplace_back();
    } else {
      fields.back() += line[i];
    }
  }
  return fields;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      i += AppendEscape(text, i + 1, out);
    } else {
      out += text[i];
    }
  }
  return out;
}

int ReadNumber(std::string_view text, int fallback) {
  size_t used = 0;
  int value = 0;
  while (used < text.size() && used < 9 && text[used] >= '0' && text[used] <= '9') {
    value = value * 10 + (text[used] - '0');
    ++used;
  }
  return used == 0 ? fallback : value;
}

const std::filesystem::path& ProcessDirectory() {
  static const DirectoryRemover directory = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantora-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      Fail("a temporary directory can be made", pattern);
    }
    return DirectoryRemover{pattern};
  }();
  return directory.path;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Expect(out.good(), "a file in the temporary directory can be written", path.string());
}

std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

}  // namespace vantora::fuzz
