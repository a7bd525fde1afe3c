// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a window definition among the resources of the loaded modules.
#include "platform/resources/resources.h"
#include "windows/definition.h"

namespace vantora::windows {

std::optional<WindowDefinition> FindWindowDefinition(std::string_view tag,
                                                     std::string_view windowName,
                                                     LookupError* error) {
  const std::string resourceName = DefinitionResourceName(tag);
  // The most telling reason wins when no module yields the window.
  LookupError worst = LookupError::NoResource;
  for (const platform::ResourceModule* module : platform::ResourceModules()) {
    std::optional<platform::ResourceBytes> bytes =
        module->Find(platform::kDefinitionResourceType, resourceName);
    if (!bytes) {
      continue;
    }
    LookupError why = LookupError::None;
    if (std::optional<WindowDefinition> window =
            ReadWindowDefinition(*bytes, tag, windowName, &why)) {
      if (error != nullptr) {
        *error = LookupError::None;
      }
      return window;
    }
    if (static_cast<int>(why) > static_cast<int>(worst)) {
      worst = why;
    }
  }
  if (error != nullptr) {
    *error = worst;
  }
  return std::nullopt;
}

}  // namespace vantora::windows
