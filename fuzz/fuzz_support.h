// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: reading an input as a file part and a script of lines, one
// temporary directory per process, and stopping loudly when a property does not hold.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::fuzz {

// Prints which property broke, with the detail, and aborts, so libFuzzer keeps the input.
[[noreturn]] void Fail(std::string_view property, std::string_view detail = {});

inline void Expect(bool holds, std::string_view property, std::string_view detail = {}) {
  if (!holds) {
    Fail(property, detail);
  }
}

// An input cut at its first line "%%": the bytes before that line's "\n" and the script after
// it (so a head that is to end in a line break ends in an empty line). Without such a line the
// whole input is the head and the script is empty.
struct SplitInput {
  std::string_view head;
  std::string_view script;
};
SplitInput SplitAtMarker(std::string_view input);

// The lines of a text, without their "\n".
std::vector<std::string_view> Lines(std::string_view text);

// A line's fields, split at unescaped `separator`s. Escapes: \n, \r, \t, \0, \xHH; a backslash
// before any other character stands for that character (so "\|" and "\\").
std::vector<std::string> Fields(std::string_view line, char separator = '|');

// The same escapes, without splitting.
std::string Unescape(std::string_view text);

// A plain decimal number at the front of `text` (digits only, at most nine of them); `fallback`
// when there is none.
int ReadNumber(std::string_view text, int fallback);

// A directory made for this process under the temporary directory ($TMPDIR), removed at exit.
const std::filesystem::path& ProcessDirectory();

// The whole content of a file; "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Replaces a file's content in place, keeping its inode, as an editor might.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// Text for a message: printable bytes as they are, others as \xHH.
std::string Printable(std::string_view text);

}  // namespace vantora::fuzz
