// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/lookup_module.h"

#include <utility>

#include "platform/modules.h"

namespace vantora::desktop {

std::unique_ptr<LoadedTitleLookup> LoadedTitleLookup::Start(std::string* why) {
  using Table = const Entries* (*)();
  auto* table =
      reinterpret_cast<Table>(platform::ModuleEntry("lookup", "vantora_title_lookup", why));
  if (table == nullptr) {
    return nullptr;
  }
  const Entries& entries = *table();
  TitleLookup* lookup = entries.start();
  if (lookup == nullptr) {
    if (why != nullptr) {
      *why = "the look-up needs the application object";
    }
    return nullptr;
  }
  return std::unique_ptr<LoadedTitleLookup>(new LoadedTitleLookup(entries, lookup));
}

LoadedTitleLookup::~LoadedTitleLookup() {
  entries_.end(lookup_);
}

void LoadedTitleLookup::Ask(const platform::cdaudio::Toc& toc,
                            std::function<void(LookupResult)> done) {
  entries_.ask(lookup_, toc, done);
}

}  // namespace vantora::desktop
