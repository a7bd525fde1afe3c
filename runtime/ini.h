// INI access: reading and writing one value of a profile file, arguments on the value stack.
#pragma once

#include <cstddef>

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
// whole section is deleted; with valueOmitted the key is deleted. Failures are not reported.
void WRITEINI(bool keyOmitted = false, bool valueOmitted = false);

}  // namespace vantora::runtime
