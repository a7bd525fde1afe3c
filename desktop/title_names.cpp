// SPDX-License-Identifier: GPL-3.0-or-later
// The disc's identity for MusicBrainz and the reading of its replies; no network here, so the
// fuzz target links only QtCore and libdiscid.
#include <discid/discid.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include "desktop/title_lookup.h"

namespace vantora::desktop {
namespace {

using platform::cdaudio::Toc;
using platform::cdaudio::TrackKind;
using platform::cdaudio::TrackNumber;

// Bounds that keep a hostile reply's cost small; real replies stay far below them.
constexpr qsizetype kMostReplyBytes = 8 << 20;
constexpr qsizetype kMostReleases = 200;
constexpr qsizetype kMostMedia = 50;
constexpr qsizetype kMostDiscs = 50;
constexpr qsizetype kMostCredits = 30;
constexpr qsizetype kMostChars = 200;
constexpr double kLongestTrackMs = 100.0 * 60 * 1000;
// An enhanced CD's second session starts this far after the audio session's lead-out.
constexpr int32_t kSessionGap = 11400;
constexpr std::string_view kNothingFits = "no release fits ";

// The tracks the service counts and where they lie.
struct Layout {
  int first = 1;
  int last = 0;
  int32_t leadOut = 0;
  std::vector<int32_t> offsets;  // tracks first..last
  std::vector<double> audioMs;   // the audio tracks among them
};

Layout LayoutOf(const Toc& toc) {
  Layout layout;
  for (int track = toc.TrackCount(); track >= 1; --track) {
    if (toc.Kind(TrackNumber{track}) == TrackKind::Audio) {
      layout.last = track;
      break;
    }
  }
  if (layout.last == 0) {
    return layout;
  }
  layout.leadOut = toc.LeadOut().count;
  if (layout.last < toc.TrackCount()) {
    const int32_t data = toc.Start(TrackNumber{layout.last + 1}).count;
    const int32_t moved = data - kSessionGap;
    layout.leadOut = moved > toc.Start(TrackNumber{layout.last}).count ? moved : data;
  }
  for (int track = 1; track <= layout.last; ++track) {
    const int32_t start = toc.Start(TrackNumber{track}).count;
    layout.offsets.push_back(start);
    if (toc.Kind(TrackNumber{track}) == TrackKind::Audio) {
      const int32_t end =
          track == layout.last ? layout.leadOut : toc.Start(TrackNumber{track + 1}).count;
      layout.audioMs.push_back((end - start) * 1000.0 / platform::cdaudio::kFramesPerSecond);
    }
  }
  return layout;
}

// A name as the player can keep it: bounded, on one line, whole characters.
std::string Clean(const QString& text) {
  QString cut = text.left(kMostChars);
  if (!cut.isEmpty() && cut.back().isHighSurrogate()) {
    cut.chop(1);
  }
  for (QChar& c : cut) {
    if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator) {
      c = u' ';
    }
  }
  return cut.trimmed().toStdString();
}

QString StringAt(const QJsonObject& object, QLatin1StringView key) {
  return object.value(key).toString().left(kMostChars);
}

std::string ArtistOf(const QJsonArray& credits) {
  QString joined;
  for (qsizetype i = 0; i < std::min(credits.size(), kMostCredits) && joined.size() < kMostChars;
       ++i) {
    const QJsonObject credit = credits.at(i).toObject();
    QString name = StringAt(credit, QLatin1StringView("name"));
    if (name.isEmpty()) {
      name =
          StringAt(credit.value(QLatin1StringView("artist")).toObject(), QLatin1StringView("name"));
    }
    joined += name + StringAt(credit, QLatin1StringView("joinphrase"));
  }
  return Clean(joined);
}

struct Candidate {
  bool ourDisc = false;
  double misfit = std::numeric_limits<double>::infinity();
  QJsonObject release;
  QJsonArray tracks;

  bool BetterThan(const Candidate& other) const {
    return ourDisc != other.ourDisc ? ourDisc : misfit < other.misfit;
  }
};

bool HoldsDisc(const QJsonObject& medium, const QString& discId) {
  const QJsonArray discs = medium.value(QLatin1StringView("discs")).toArray();
  for (qsizetype i = 0; i < std::min(discs.size(), kMostDiscs); ++i) {
    if (discs.at(i).toObject().value(QLatin1StringView("id")).toString() == discId) {
      return true;
    }
  }
  return false;
}

// Sum of |reply's length - disc's length| in ms; a track without a usable length counts as 0 ms.
double Misfit(const QJsonArray& tracks, const std::vector<double>& audioMs) {
  double sum = 0;
  for (size_t i = 0; i < audioMs.size(); ++i) {
    double length = tracks.at(static_cast<qsizetype>(i))
                        .toObject()
                        .value(QLatin1StringView("length"))
                        .toDouble(0);
    if (!std::isfinite(length) || length < 0 || length > kLongestTrackMs) {
      length = 0;
    }
    sum += std::abs(length - audioMs[i]);
  }
  return sum;
}

}  // namespace

bool NothingFits(std::string_view why) {
  return why.starts_with(kNothingFits);
}

std::string MusicBrainzDiscId(const Toc& toc) {
  const Layout layout = LayoutOf(toc);
  if (layout.last == 0) {
    return {};
  }
  int offsets[100] = {};
  offsets[0] = layout.leadOut;
  for (int track = layout.first; track <= layout.last; ++track) {
    offsets[track] = layout.offsets[static_cast<size_t>(track - layout.first)];
  }
  const std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
  if (!disc || discid_put(disc.get(), layout.first, layout.last, offsets) == 0) {
    return {};
  }
  return discid_get_id(disc.get());
}

std::string TocText(const Toc& toc) {
  const Layout layout = LayoutOf(toc);
  if (layout.last == 0) {
    return {};
  }
  std::string text = std::to_string(layout.first) + ' ' + std::to_string(layout.last) + ' ' +
                     std::to_string(layout.leadOut);
  for (const int32_t offset : layout.offsets) {
    text += ' ' + std::to_string(offset);
  }
  return text;
}

std::string SubmissionUrl(const Toc& toc) {
  const std::string id = MusicBrainzDiscId(toc);
  if (id.empty()) {
    return {};
  }
  std::string plus = TocText(toc);
  std::replace(plus.begin(), plus.end(), ' ', '+');
  return ServiceBase() + "/cdtoc/attach?id=" + id +
         "&tracks=" + std::to_string(LayoutOf(toc).last) + "&toc=" + plus;
}

std::string ServiceBase() {
  const char* set = std::getenv("VANTORA_MUSICBRAINZ_URL");
  std::string base = set != nullptr && *set != '\0' ? set : "https://musicbrainz.org";
  while (!base.empty() && base.back() == '/') {
    base.pop_back();
  }
  return base;
}

std::optional<FoundNames> ParseReleases(std::string_view json, const Toc& toc, std::string* why) {
  auto fail = [why](std::string reason) {
    if (why != nullptr) {
      *why = std::move(reason);
    }
    return std::nullopt;
  };
  if (json.size() > static_cast<size_t>(kMostReplyBytes)) {
    return fail("reply too large");
  }
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    return fail("not JSON");
  }
  const QJsonValue releasesValue = document.object().value(QLatin1StringView("releases"));
  const Layout layout = LayoutOf(toc);
  const std::string count = std::to_string(layout.audioMs.size());
  if (!releasesValue.isArray()) {
    return fail(std::string(kNothingFits) + count + " tracks");
  }
  const QJsonArray releases = releasesValue.toArray();
  const QString discId = QString::fromStdString(MusicBrainzDiscId(toc));
  const auto wanted = static_cast<qsizetype>(layout.audioMs.size());
  Candidate best;
  bool found = false;
  for (qsizetype r = 0; r < std::min(releases.size(), kMostReleases) && wanted > 0; ++r) {
    const QJsonObject release = releases.at(r).toObject();
    const QJsonArray media = release.value(QLatin1StringView("media")).toArray();
    for (qsizetype m = 0; m < std::min(media.size(), kMostMedia); ++m) {
      const QJsonObject medium = media.at(m).toObject();
      const QJsonArray tracks = medium.value(QLatin1StringView("tracks")).toArray();
      if (tracks.size() != wanted) {
        continue;
      }
      Candidate candidate{HoldsDisc(medium, discId), Misfit(tracks, layout.audioMs), release,
                          tracks};
      if (!found || candidate.BetterThan(best)) {
        best = std::move(candidate);
        found = true;
      }
    }
  }
  if (!found) {
    return fail(std::string(kNothingFits) + count + " tracks");
  }
  FoundNames names;
  names.album = Clean(StringAt(best.release, QLatin1StringView("title")));
  names.artist = ArtistOf(best.release.value(QLatin1StringView("artist-credit")).toArray());
  for (qsizetype i = 0; i < best.tracks.size(); ++i) {
    const QJsonObject track = best.tracks.at(i).toObject();
    QString title = StringAt(track, QLatin1StringView("title"));
    if (title.isEmpty()) {
      title = StringAt(track.value(QLatin1StringView("recording")).toObject(),
                       QLatin1StringView("title"));
    }
    names.tracks.push_back(Clean(title));
  }
  return names;
}

}  // namespace vantora::desktop
