// SPDX-License-Identifier: GPL-3.0-or-later
// The sound-file library, loaded when the first sound file is opened or written: a player that
// starts on a drive without ripped discs never needs it or its codecs.
#include <sndfile.h>

#include <string>

#include "platform/lazy_library.h"

namespace {

vantora::platform::LazyLibrary& Sndfile() {
  static vantora::platform::LazyLibrary library(VANTORA_SNDFILE_SONAME);
  return library;
}

// What the calls that report errors say when the library itself is missing.
const char* Unloadable() {
  static const std::string why = "sound files cannot be read: " + Sndfile().Why();
  return why.c_str();
}

}  // namespace

VANTORA_LAZY_CALL(Sndfile(), SNDFILE*, sf_open, (const char* path, int mode, SF_INFO* info),
                  (path, mode, info), nullptr)
VANTORA_LAZY_CALL(Sndfile(), SNDFILE*, sf_open_fd,
                  (int fd, int mode, SF_INFO* info, int closeDescriptor),
                  (fd, mode, info, closeDescriptor), nullptr)
VANTORA_LAZY_CALL(Sndfile(), const char*, sf_strerror, (SNDFILE * file), (file), Unloadable())
VANTORA_LAZY_CALL(Sndfile(), const char*, sf_error_number, (int error), (error), Unloadable())
VANTORA_LAZY_CALL(Sndfile(), int, sf_command, (SNDFILE * file, int command, void* data, int size),
                  (file, command, data, size), 0)
VANTORA_LAZY_CALL(Sndfile(), sf_count_t, sf_seek, (SNDFILE * file, sf_count_t frames, int whence),
                  (file, frames, whence), -1)
VANTORA_LAZY_CALL(Sndfile(), const char*, sf_get_string, (SNDFILE * file, int kind), (file, kind),
                  nullptr)
VANTORA_LAZY_CALL(Sndfile(), sf_count_t, sf_readf_short,
                  (SNDFILE * file, short* samples, sf_count_t frames), (file, samples, frames), 0)
VANTORA_LAZY_CALL(Sndfile(), sf_count_t, sf_writef_short,
                  (SNDFILE * file, const short* samples, sf_count_t frames),
                  (file, samples, frames), 0)
VANTORA_LAZY_CALL(Sndfile(), int, sf_close, (SNDFILE * file), (file), 0)
