// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's files live on this machine.
#include "platform/paths.h"

#include <cstdlib>
#include <string>

namespace vantora::platform {
namespace {

// An unset or empty variable counts as absent, as the XDG rules say.
const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : nullptr;
}

// The variable the config directory comes from: its index in the order they are asked, and its
// value; none at all is index 3.
struct Source {
  int variable = 3;
  const char* value = "";
};

Source ConfigSource() {
  int variable = 0;
  for (const char* name : {"VANTORA_CONFIG_DIR", "XDG_CONFIG_HOME", "HOME"}) {
    if (const char* value = Env(name)) {
      return {variable, value};
    }
    ++variable;
  }
  return {};
}

std::filesystem::path DirectoryFrom(const Source& source) {
  switch (source.variable) {
    case 0:
      return source.value;
    case 1:
      return std::filesystem::path(source.value) / "vantora";
    case 2:
      return std::filesystem::path(source.value) / ".config" / "vantora";
    default:
      // No home at all (a bare service account): the working directory is all there is.
      return std::filesystem::path(".config") / "vantora";
  }
}

}  // namespace

std::filesystem::path ConfigDirectory() {
  return DirectoryFrom(ConfigSource());
}

const std::filesystem::path& CachedConfigDirectory() {
  thread_local struct {
    int variable = -1;
    std::string value;
    std::filesystem::path directory;
  } cache;
  const Source source = ConfigSource();
  if (source.variable != cache.variable || cache.value != source.value) {
    cache.directory = DirectoryFrom(source);
    cache.variable = source.variable;
    cache.value = source.value;
  }
  return cache.directory;
}

}  // namespace vantora::platform
