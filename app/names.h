// SPDX-License-Identifier: GPL-3.0-or-later
// Names for albums the store does not know: those the disc carries, else those a look-up finds.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantora::app {

// An album's names from outside the store: the disc's own, or a look-up's.
struct FoundNames {
  std::string album;
  std::string artist;
  std::vector<std::string> tracks;  // track 1 first; "" for a track without one
};

// What the look-up answered: names, or none; `unknown` when the service does not know the disc.
struct LookupAnswer {
  std::optional<FoundNames> names;
  bool unknown = false;
};

// Asks for the names of the disc in the drive; `done` runs later, on this thread, with the answer.
// Set by the program; without one there is no look-up.
using TitleLookupHook = std::function<void(std::function<void(LookupAnswer)> done)>;
void SetTitleLookupHook(TitleLookupHook hook);

// The disc in the drive as the look-up service knows it: its ID ("" when it has none) and the
// address of the page that adds it there. Set by the program.
struct DiscIdentity {
  std::string id;
  std::string addUrl;
};
void SetDiscIdentityHook(std::function<DiscIdentity()> hook);
DiscIdentity DISCIDENTITY();
// Whether the look-up found that its service does not know the album now loaded.
bool ALBUMUNKNOWNONLINE();
// Opens an address in the user's browser. Set by the program.
void SetOpenLinkHook(std::function<void(const std::string&)> hook);
void OPENLINK(const std::string& url);

// The names the disc in the drive carries (CD-Text, a cue sheet's lines); nullopt for none.
std::optional<FoundNames> DISCNAMES();

// Asks the look-up, when the user has turned it on, for the album now loaded if the store has no
// names for it. The answer is taken by TAKEFOUNDNAMES.
void ASKFORNAMES();

// Takes the look-up's answer, if one came for the album still loaded and the user has not named
// it meanwhile: the names go into its section as if saved, and the album is loaded again. True
// when it did.
bool TAKEFOUNDNAMES();

}  // namespace vantora::app
