// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's files live on this machine.
#include "platform/paths.h"

#include <cstdlib>

namespace vantora::platform {
namespace {

// An unset or empty variable counts as absent, as the XDG rules say.
const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : nullptr;
}

}  // namespace

std::filesystem::path ConfigDirectory() {
  if (const char* dir = Env("VANTORA_CONFIG_DIR")) {
    return dir;
  }
  if (const char* xdg = Env("XDG_CONFIG_HOME")) {
    return std::filesystem::path(xdg) / "vantora";
  }
  if (const char* home = Env("HOME")) {
    return std::filesystem::path(home) / ".config" / "vantora";
  }
  // No home at all (a bare service account): the working directory is all there is.
  return std::filesystem::path(".config") / "vantora";
}

}  // namespace vantora::platform
