// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/modules.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <system_error>

namespace vantora::platform {

namespace {

std::filesystem::path ModuleFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : program.parent_path().parent_path() / "lib" / "vantora";
}

}  // namespace

void* ModuleEntry(std::string_view name, const char* entry, std::string* why) {
  // dlopen keeps its own count; the lock only keeps dlerror's message with its caller.
  static std::mutex mutex;
  const std::lock_guard lock(mutex);
  const std::filesystem::path file = ModuleFolder() / ("libvantora-" + std::string(name) + ".so");
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = dlerror();
    if (why != nullptr) {
      *why = reason != nullptr ? reason : "cannot load " + file.string();
    }
    return nullptr;
  }
  void* found = dlsym(module, entry);
  if (found == nullptr && why != nullptr) {
    *why = file.string() + " has no " + entry;
  }
  return found;
}

}  // namespace vantora::platform
