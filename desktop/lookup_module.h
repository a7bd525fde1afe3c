// SPDX-License-Identifier: GPL-3.0-or-later
// The title look-up as the player uses it: in a module of its own, so that Qt Network and what it
// pulls in are loaded when the user first looks a disc up, not when the player starts.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "desktop/title_lookup.h"

namespace vantora::desktop {

class LoadedTitleLookup {
 public:
  // A TitleLookup::Start() from the module; nullptr, with the reason in `why`, when the module
  // cannot be loaded or there is no application object.
  static std::unique_ptr<LoadedTitleLookup> Start(std::string* why);
  LoadedTitleLookup(const LoadedTitleLookup&) = delete;
  LoadedTitleLookup& operator=(const LoadedTitleLookup&) = delete;
  ~LoadedTitleLookup();

  // As TitleLookup::Ask.
  void Ask(const platform::cdaudio::Toc& toc, std::function<void(LookupResult)> done);

  // The module's entry points (desktop/lookup_entry.cpp).
  struct Entries {
    TitleLookup* (*start)();
    void (*ask)(TitleLookup*, const platform::cdaudio::Toc&, std::function<void(LookupResult)>&);
    void (*end)(TitleLookup*);
  };

 private:
  LoadedTitleLookup(const Entries& entries, TitleLookup* lookup)
      : entries_(entries), lookup_(lookup) {}
  Entries entries_;
  TitleLookup* lookup_;
};

}  // namespace vantora::desktop
