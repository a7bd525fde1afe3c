// SPDX-License-Identifier: GPL-3.0-or-later
// INI access: reading and writing one value of a profile file, arguments on the value stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantora::runtime {

// Buffer sizes of the four arguments; each keeps at most its size minus one characters.
inline constexpr size_t kIniSectionSize = 64;
inline constexpr size_t kIniKeySize = 64;
inline constexpr size_t kIniValueSize = 1024;
inline constexpr size_t kIniFileSize = 260;

// Pops the section (top), key, default and file name, each without its trailing spaces, and
// pushes the value found, or the default when the section or key is missing, as an owned text.
// An empty file name reads the platform's own profile.
void GETINI();

// Pops the section (top), key, value and file name and writes the value. With keyOmitted the
// whole section is deleted; with valueOmitted the key is deleted. False when the file cannot take
// the change now: the change is kept and written once the file allows it (see UNSAVEDINI).
bool WRITEINI(bool keyOmitted = false, bool valueOmitted = false);

// Why changes have not reached a profile file: the file's full name and the reason.
struct IniTrouble {
  std::string file;
  std::string reason;
  bool operator==(const IniTrouble&) const = default;
};
// The file whose changes have waited longest, once they have waited at least `waitedMs`
// milliseconds; nullopt while every change is on the disk or younger than that.
std::optional<IniTrouble> UNSAVEDINI(int32_t waitedMs = 0);

}  // namespace vantora::runtime
