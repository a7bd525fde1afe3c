// SPDX-License-Identifier: GPL-3.0-or-later
// Resource lookup by type and name across the program's module and the modules loaded after it.
#include "platform/resources/resources.h"

#include <memory>
#include <utility>

namespace vantora::platform {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') {
      x = static_cast<char>(x - 'a' + 'A');
    }
    if (y >= 'a' && y <= 'z') {
      y = static_cast<char>(y - 'a' + 'A');
    }
    if (x != y) {
      return false;
    }
  }
  return true;
}

struct LoadedModule {
  ModuleId id;
  std::unique_ptr<ResourceModule> module;
};

// The player runs on one thread; the registry is not locked.
std::vector<LoadedModule>& Loaded() {
  static std::vector<LoadedModule> modules;
  return modules;
}

ModuleId next_module_id = 1;

}  // namespace

void ResourceModule::Add(std::string_view type, std::string_view name, ResourceBytes bytes) {
  Entry entry{std::string(type),
              std::string(name),
              std::vector<uint8_t>(bytes.begin(), bytes.end()),
              {},
              true};
  entries_.push_back(std::move(entry));
}

void ResourceModule::AddStatic(std::string_view type, std::string_view name, ResourceBytes bytes) {
  entries_.push_back(Entry{std::string(type), std::string(name), {}, bytes, false});
}

std::optional<ResourceBytes> ResourceModule::Find(std::string_view type,
                                                  std::string_view name) const {
  for (const Entry& entry : entries_) {
    if (SameName(entry.type, type) && SameName(entry.name, name)) {
      return entry.isOwned ? ResourceBytes(entry.owned) : entry.external;
    }
  }
  return std::nullopt;
}

const ResourceModule& ProgramModule() {
  static const ResourceModule program = [] {
    ResourceModule module("vantora");
    for (const EmbeddedResource& resource : EmbeddedProgramResources()) {
      module.AddStatic(resource.type, resource.name, ResourceBytes(resource.data, resource.size));
    }
    return module;
  }();
  return program;
}

ModuleId LoadResourceModule(ResourceModule module) {
  ModuleId id = next_module_id++;
  Loaded().push_back(LoadedModule{id, std::make_unique<ResourceModule>(std::move(module))});
  return id;
}

bool FreeResourceModule(ModuleId id) {
  std::vector<LoadedModule>& modules = Loaded();
  for (auto it = modules.begin(); it != modules.end(); ++it) {
    if (it->id == id) {
      modules.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<const ResourceModule*> ResourceModules() {
  std::vector<const ResourceModule*> modules{&ProgramModule()};
  for (const LoadedModule& loaded : Loaded()) {
    modules.push_back(loaded.module.get());
  }
  return modules;
}

std::optional<ResourceBytes> FindResource(std::string_view type, std::string_view name) {
  for (const ResourceModule* module : ResourceModules()) {
    if (std::optional<ResourceBytes> bytes = module->Find(type, name)) {
      return bytes;
    }
  }
  return std::nullopt;
}

}  // namespace vantora::platform
