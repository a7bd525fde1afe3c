// SPDX-License-Identifier: GPL-3.0-or-later
// A C library the program calls through functions of the same names, loaded at the first call
// instead of at start: decoding sound files and talking to real drives wait until they are needed.
#pragma once

#include <string>

namespace vantora::platform {

class LazyLibrary {
 public:
  explicit LazyLibrary(const char* soname) : soname_(soname) {}
  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;

  // The library's function `name`, loading the library on first use; nullptr when the library or
  // the function cannot be had (Why() says why).
  void* Symbol(const char* name);
  std::string Why();

 private:
  const char* soname_;
  void* handle_ = nullptr;
  bool tried_ = false;
  std::string why_;
};

}  // namespace vantora::platform

// Defines `name` with the library's own signature as a call of the library's function; `missing`
// is what it gives when the library cannot be loaded. `library` is a LazyLibrary& expression.
#define VANTORA_LAZY_CALL(library, ret, name, params, args, missing)                      \
  extern "C" ret name params {                                                            \
    static auto* const real = reinterpret_cast<decltype(&name)>((library).Symbol(#name)); \
    if (real == nullptr) {                                                                \
      return missing;                                                                     \
    }                                                                                     \
    return real args;                                                                     \
  }
