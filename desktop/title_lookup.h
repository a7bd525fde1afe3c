// SPDX-License-Identifier: GPL-3.0-or-later
// Album, artist and track names of a disc looked up on MusicBrainz by its table of contents.
// Header free of Qt; QtNetwork and QtCore's JSON stay inside.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cdaudio/cd_types.h"

namespace vantora::desktop {

// The disc as MusicBrainz counts it: tracks from the first up to the last audio track. Data
// tracks after it (an enhanced CD's second session) are left out and the lead-out moved to
// 11400 frames before the first of them, as the service's disc IDs expect. Every function below
// gives "" for a table without an audio track.
std::string MusicBrainzDiscId(const platform::cdaudio::Toc& toc);

// "first last leadout offset1 ... offsetN", the service's toc parameter with blanks.
std::string TocText(const platform::cdaudio::Toc& toc);

// Where a person adds the disc to the service:
// <base>/cdtoc/attach?id=<discid>&tracks=<N>&toc=<TocText with '+' for the blanks>.
std::string SubmissionUrl(const platform::cdaudio::Toc& toc);

// $VANTORA_MUSICBRAINZ_URL without a trailing '/', else https://musicbrainz.org.
std::string ServiceBase();

// Names cut to a sane length, line breaks and other control characters made blanks.
struct FoundNames {
  std::string album;
  std::string artist;
  std::vector<std::string> tracks;  // one per audio track of the disc, in order
};

// Reads a reply of the service's discid or fuzzy-TOC lookup and picks the medium that fits the
// disc: as many tracks as it has audio tracks, our disc ID among the medium's discs first, then
// the least sum of differences between the tracks' lengths. Nullopt, with the reason in `why`,
// when the text is not such a reply or nothing fits. Any input is safe.
std::optional<FoundNames> ParseReleases(std::string_view json, const platform::cdaudio::Toc& toc,
                                        std::string* why);

struct LookupResult {
  std::optional<FoundNames> names;
  std::string why;       // with no names: what went wrong, or that the service has no such disc
  bool unknown = false;  // the service answered and does not know the disc
};

// Asks the service on the thread that runs the Qt event loop. Requests go out one at a time and a
// second after the last answer at the soonest; each gives up after `timeout`.
class TitleLookup {
 public:
  // Needs a QCoreApplication; returns nullptr without one. Reads ServiceBase() now.
  static std::unique_ptr<TitleLookup> Start(
      std::chrono::milliseconds timeout = std::chrono::seconds(10));

  TitleLookup(const TitleLookup&) = delete;
  TitleLookup& operator=(const TitleLookup&) = delete;
  // Drops whatever is queued or in flight: no `done` runs afterwards.
  ~TitleLookup();

  // Looks the disc up by its disc ID, then by its table of contents if that finds nothing that
  // fits. `done` runs once, later, from the event loop; never inside Ask.
  void Ask(const platform::cdaudio::Toc& toc, std::function<void(LookupResult)> done);

  struct Impl;

 private:
  explicit TitleLookup(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantora::desktop
