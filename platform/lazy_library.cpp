// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/lazy_library.h"

#include <dlfcn.h>

#include <mutex>

namespace vantora::platform {

namespace {

std::mutex& LoadMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

void* LazyLibrary::Symbol(const char* name) {
  const std::lock_guard lock(LoadMutex());
  if (!tried_) {
    tried_ = true;
    handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      const char* reason = dlerror();
      why_ = reason != nullptr ? reason : std::string("cannot load ") + soname_;
    }
  }
  if (handle_ == nullptr) {
    return nullptr;
  }
  void* found = dlsym(handle_, name);
  if (found == nullptr) {
    why_ = std::string(soname_) + " has no " + name;
  }
  return found;
}

std::string LazyLibrary::Why() {
  const std::lock_guard lock(LoadMutex());
  return why_;
}

}  // namespace vantora::platform
