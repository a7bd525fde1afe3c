// SPDX-License-Identifier: GPL-3.0-or-later
// The program's resources: read-only byte blocks found by type and name across loaded modules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantora::platform {

using ResourceBytes = std::span<const uint8_t>;

// Resource type of the compiled window definitions.
inline constexpr std::string_view kDefinitionResourceType = "DABDUMP";
// Resource type of every image the program ships (icons, bitmaps, GIFs): the bytes carry their own
// format, so one generic type serves them all and a lookup needs only the name.
inline constexpr std::string_view kImageResourceType = "IMAGE";

// The resource name under which an image file is stored: the file name without a leading "~",
// upper-cased, with every "." turned into "_" ("~QPX_PLAY.ICO" and "qpx_play.ico" give
// "QPX_PLAY_ICO").
inline std::string ResourceNameForFile(std::string_view fileName) {
  if (!fileName.empty() && fileName.front() == '~') {
    fileName.remove_prefix(1);
  }
  std::string name(fileName);
  for (char& c : name) {
    if (c == '.') {
      c = '_';
    } else if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return name;
}

// One module's table of resources. Types and names match without regard to ASCII letter case, as
// the platform's resource functions do; the first entry added under a type and name wins.
class ResourceModule {
 public:
  explicit ResourceModule(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  size_t Count() const { return entries_.size(); }

  // Adds a copy of the bytes.
  void Add(std::string_view type, std::string_view name, ResourceBytes bytes);
  // Adds bytes that live as long as the program (the embedded ones); nothing is copied.
  void AddStatic(std::string_view type, std::string_view name, ResourceBytes bytes);

  // The bytes of the resource, or nullopt when the module has none of that type and name.
  std::optional<ResourceBytes> Find(std::string_view type, std::string_view name) const;

 private:
  struct Entry {
    std::string type;
    std::string name;
    std::vector<uint8_t> owned;
    ResourceBytes external;
    bool isOwned = false;
  };
  std::string name_;
  std::vector<Entry> entries_;
};

// The program's own module: every resource the build embedded, under the name "vantora".
const ResourceModule& ProgramModule();

// Further modules, searched after the program's own in the order they were loaded.
using ModuleId = uint32_t;
ModuleId LoadResourceModule(ResourceModule module);
// Returns false when no module with that id is loaded.
bool FreeResourceModule(ModuleId id);

// Every module in search order: the program's own first. The pointers stay valid until a module
// is loaded or freed.
std::vector<const ResourceModule*> ResourceModules();

// The first resource of that type and name in search order.
std::optional<ResourceBytes> FindResource(std::string_view type, std::string_view name);

// A module loaded for the lifetime of this object (tests add modules this way).
class ScopedResourceModule {
 public:
  explicit ScopedResourceModule(ResourceModule module)
      : id_(LoadResourceModule(std::move(module))) {}
  ~ScopedResourceModule() { FreeResourceModule(id_); }
  ScopedResourceModule(const ScopedResourceModule&) = delete;
  ScopedResourceModule& operator=(const ScopedResourceModule&) = delete;

  ModuleId Id() const { return id_; }

 private:
  ModuleId id_;
};

// The build's table of embedded resources (generated from the files of resources/ and the compiled
// window descriptions); the program's module is filled from it on first use.
struct EmbeddedResource {
  const char* type;
  const char* name;
  const uint8_t* data;
  size_t size;
};
std::span<const EmbeddedResource> EmbeddedProgramResources();

}  // namespace vantora::platform
