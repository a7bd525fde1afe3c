// SPDX-License-Identifier: GPL-3.0-or-later
// Positions, lengths, track numbers and the table of contents of an audio disc.
#include "platform/cdaudio/cd_types.h"

#include <algorithm>
#include <cstdio>

#include "platform/text_encoding.h"

namespace vantora::platform::cdaudio {
namespace {

// One or two decimal digits, at most `limit`.
std::optional<int32_t> SmallField(std::string_view text, int32_t limit) {
  if (text.empty() || text.size() > 2) {
    return std::nullopt;
  }
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  if (value > limit) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::string FormatMsf(Frames frames) {
  const Msf msf = ToMsf(frames);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", msf.minutes, msf.seconds, msf.frames);
  return text;
}

std::string FormatTmsf(TrackNumber track, Frames offset) {
  const Msf msf = ToMsf(offset);
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", track.value, msf.minutes, msf.seconds,
                msf.frames);
  return text;
}

std::optional<Frames> ParseMsf(std::string_view text) {
  const size_t first = text.find(':');
  const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) {
    return std::nullopt;
  }
  const auto minutes = SmallField(text.substr(0, first), 99);
  const auto seconds = SmallField(text.substr(first + 1, second - first - 1), 59);
  const auto frames = SmallField(text.substr(second + 1), kFramesPerSecond - 1);
  if (!minutes || !seconds || !frames) {
    return std::nullopt;
  }
  return FromMsf(Msf{*minutes, *seconds, *frames});
}

std::optional<Toc> Toc::Make(std::vector<Frames> starts, Frames leadOut, std::string* why) {
  auto fail = [why](std::string reason) -> std::optional<Toc> {
    if (why != nullptr) {
      *why = std::move(reason);
    }
    return std::nullopt;
  };
  if (starts.empty()) {
    return fail("a disc needs at least one track");
  }
  if (starts.size() > static_cast<size_t>(kMaxTracks)) {
    return fail("a disc holds at most 99 tracks");
  }
  if (starts.front().count < 0) {
    return fail("track 1 starts before the disc");
  }
  for (size_t i = 1; i < starts.size(); ++i) {
    if (starts[i] <= starts[i - 1]) {
      return fail("track " + std::to_string(i + 1) + " does not start after track " +
                  std::to_string(i));
    }
  }
  if (leadOut <= starts.back()) {
    return fail("the disc ends before its last track starts");
  }
  if (leadOut > kLatestFrame) {
    return fail("the disc is longer than 99:59:74");
  }
  return Toc(std::move(starts), leadOut);
}

Frames Toc::End(TrackNumber track) const {
  return track.value < TrackCount() ? starts_[static_cast<size_t>(track.value)] : leadOut_;
}

void Toc::SetKind(TrackNumber track, TrackKind kind) {
  if (HasTrack(track)) {
    kinds_[static_cast<size_t>(track.value - 1)] = kind;
  }
}

TrackNumber Toc::FirstAudioTrack() const {
  const auto audio = std::find(kinds_.begin(), kinds_.end(), TrackKind::Audio);
  return TrackNumber{audio == kinds_.end() ? 0 : static_cast<int32_t>(audio - kinds_.begin()) + 1};
}

TrackNumber Toc::TrackAt(Frames place) const {
  if (starts_.empty()) {
    return TrackNumber{0};
  }
  // The last start at or before the place; upper_bound keeps this O(log n) and never past the end.
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), place);
  const auto index = std::max<std::ptrdiff_t>(after - starts_.begin(), 1);
  return TrackNumber{static_cast<int32_t>(index)};
}

bool DiscNames::empty() const {
  return album.empty() && artist.empty() &&
         std::all_of(tracks.begin(), tracks.end(), [](const std::string& t) { return t.empty(); });
}

std::string DiscName(std::string_view text) {
  std::string name;
  for (const char c : ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    name += byte < 0x20 || byte == 0x7F ? ' ' : c;
  }
  const size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  name.erase(0, first);
  name.resize(Utf8Prefix(name, kLongestDiscName));
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

DiscNames NamesOf(const Disc& disc) {
  DiscNames names{disc.title, disc.artist, disc.trackTitles};
  names.tracks.resize(static_cast<size_t>(disc.toc.TrackCount()));
  return names;
}

}  // namespace vantora::platform::cdaudio
