// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's profile functions: sectioned key=value files, read and written by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace vantora::platform {

// Reads the value of `key` in `section` of `fileName` into `returned`, a buffer of `size` bytes,
// always NUL-terminated when size > 0 (cut to size - 1 bytes, never inside a character). Values
// read as UTF-8: one that is not valid UTF-8 was written in Windows-1252 and is converted; names
// are given as the file holds them, so that they find their entries again. A missing file, section
// or key gives `defaultValue` (null reads as ""; its trailing blanks are dropped). A null key lists
// the section's key names, a null section all section names: each name NUL-terminated and the list
// ended by one more NUL; cut short, the list ends in two NULs and size - 2 is returned. A bare
// file name lives in ConfigDirectory(). Returns the number of characters copied, without the
// terminator; size 0 returns 0 and leaves the buffer alone.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* returned, uint32_t size, const char* fileName);

// Sets `key` in `section` to `value`, creating the file, section and key as needed. A null value
// deletes the key, a null key the whole section; a null section is an error. All three null writes
// this file's pending changes back now and reports how that went. Nonzero on success. 0 when the
// text could not be read back as written (a line break anywhere, "=" in the key or a key starting
// with "[" or ";", "]" in the section name; nothing changes), and also when the file cannot be
// written now (its directory missing or not writable, the file read-only, unreadable or a
// folder): then the change is kept, reads see it, and it is written back once the file allows.
// Changes are written back by FlushProfiles, by the all-null call and at process exit; a bare
// name's directory is created when missing. A failed write-back keeps the changes for the next
// one; one still failing at exit is reported on standard error, naming the file and why.
int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                               const char* fileName);

// The same on the platform's own profile, "win.ini" in ConfigDirectory().
uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue,
                           char* returned, uint32_t size);
int WriteProfileStringA(const char* section, const char* key, const char* value);

// Writes every pending change back; false if any write-back failed (those stay pending). Without
// `force`, a file whose last write-back failed is tried again only once its pause is over, so that
// a caller on the user's thread can call this after every event.
bool FlushProfiles(bool force = true);

// A file whose changes have not reached the disk: why, and since when on the one clock.
struct UnsavedProfile {
  std::string path;
  std::string reason;
  ClockTime since{0};
};
// Every file with changes that were refused or whose write-back failed, oldest first.
std::vector<UnsavedProfile> UnsavedProfiles();
// Says on standard error, one line a file, which changes are lost; how many files that was. For
// the end of the process, after a last FlushProfiles.
size_t ReportUnsavedProfiles();

}  // namespace vantora::platform
