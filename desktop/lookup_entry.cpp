// SPDX-License-Identifier: GPL-3.0-or-later
// The look-up module's one entry: its functions, for desktop/lookup_module.cpp.
#include <utility>

#include "desktop/lookup_module.h"

namespace {

using vantora::desktop::LoadedTitleLookup;
using vantora::desktop::LookupResult;
using vantora::desktop::TitleLookup;

TitleLookup* Start() {
  return TitleLookup::Start().release();
}

void Ask(TitleLookup* lookup, const vantora::platform::cdaudio::Toc& toc,
         std::function<void(LookupResult)>& done) {
  lookup->Ask(toc, std::move(done));
}

void End(TitleLookup* lookup) {
  delete lookup;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const LoadedTitleLookup::Entries*
vantora_title_lookup() {
  static const LoadedTitleLookup::Entries entries{Start, Ask, End};
  return &entries;
}
