// SPDX-License-Identifier: GPL-3.0-or-later
// vantora-dump: prints windows of a definition set as text, one control per line, for a person
// to check a definition.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/resources/resources.h"
#include "windows/definition.h"
#include "windows/description.h"

namespace {

namespace win = vantora::windows;

constexpr const char* kUsage =
    "usage: vantora-dump TAG [WINDOW]      a definition set among the program's resources\n"
    "       vantora-dump --file FILE [WINDOW]  a compiled definition resource file\n"
    "Without WINDOW every window of the set is printed.\n";

int Fail(const std::string& message) {
  std::cerr << "vantora-dump: " << message << "\n";
  return 1;
}

int DumpResource(std::span<const uint8_t> resource, const std::string* window) {
  win::LookupError why = win::LookupError::None;
  std::optional<win::DefinitionSet> set = win::ReadDefinitionSet(resource, &why);
  if (!set) {
    return Fail(std::string(win::LookupErrorText(why)));
  }
  if (window == nullptr) {
    std::cout << win::DumpDefinitionSet(*set);
    return 0;
  }
  for (const win::WindowDefinition& definition : set->windows) {
    if (definition.name == *window) {
      std::cout << win::DumpWindow(definition);
      return 0;
    }
  }
  return Fail("no window " + *window + " in " + set->tag);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args.size() > 3) {
    std::cerr << kUsage;
    return args.empty() || args[0] != "--help" ? 2 : 0;
  }
  if (args[0] == "--file") {
    if (args.size() < 2) {
      std::cerr << kUsage;
      return 2;
    }
    std::ifstream in(args[1], std::ios::binary);
    if (!in) {
      return Fail("cannot read " + args[1]);
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return DumpResource(bytes, args.size() == 3 ? &args[2] : nullptr);
  }
  if (args.size() > 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string& tag = args[0];
  if (args.size() == 2) {
    win::LookupError why = win::LookupError::None;
    std::optional<win::WindowDefinition> window = win::FindWindowDefinition(tag, args[1], &why);
    if (!window) {
      return Fail(args[1] + ": " + std::string(win::LookupErrorText(why)));
    }
    std::cout << win::DumpWindow(*window);
    return 0;
  }
  // The whole set: the first module whose resource carries the tag.
  std::string name = win::DefinitionResourceName(tag);
  for (const vantora::platform::ResourceModule* module : vantora::platform::ResourceModules()) {
    std::optional<vantora::platform::ResourceBytes> bytes =
        module->Find(vantora::platform::kDefinitionResourceType, name);
    if (bytes && win::ResourceTag(*bytes) == tag) {
      return DumpResource(*bytes, nullptr);
    }
  }
  return Fail("no definition set " + tag + " (resource " + name + ")");
}
