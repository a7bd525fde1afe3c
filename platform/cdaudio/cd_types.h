// SPDX-License-Identifier: GPL-3.0-or-later
// Positions, lengths, track numbers and the table of contents of an audio disc.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantora::platform::cdaudio {

inline constexpr int32_t kFramesPerSecond = 75;
inline constexpr int32_t kFramesPerMinute = 60 * kFramesPerSecond;
inline constexpr int32_t kMaxTracks = 99;

// A place on the disc or a stretch of it, counted in frames of 1/75 second. Absolute places count
// from the very start of the disc, so the first track usually starts at frame 150.
struct Frames {
  int32_t count = 0;

  constexpr auto operator<=>(const Frames&) const = default;
  constexpr Frames operator+(Frames other) const { return Frames{count + other.count}; }
  constexpr Frames operator-(Frames other) const { return Frames{count - other.count}; }
};

// The two seconds before the first track that every disc starts with.
inline constexpr Frames kStandardPregap{2 * kFramesPerSecond};

// The latest place a disc can describe: 99:59:74, so that minutes keep two digits.
inline constexpr Frames kLatestFrame{99 * kFramesPerMinute + 59 * kFramesPerSecond + 74};

// A track number, 1 for the first track.
struct TrackNumber {
  int32_t value = 0;

  constexpr auto operator<=>(const TrackNumber&) const = default;
};

// Frames split into minutes, seconds and frames (mm:ss:ff).
struct Msf {
  int32_t minutes = 0;
  int32_t seconds = 0;
  int32_t frames = 0;

  constexpr bool operator==(const Msf&) const = default;
};

constexpr Msf ToMsf(Frames frames) {
  const int32_t count = frames.count < 0 ? 0 : frames.count;
  return Msf{count / kFramesPerMinute, count / kFramesPerSecond % 60, count % kFramesPerSecond};
}

// Plain arithmetic: no field is checked, so 0:90:00 is 1:30:00.
constexpr Frames FromMsf(Msf msf) {
  return Frames{msf.minutes * kFramesPerMinute + msf.seconds * kFramesPerSecond + msf.frames};
}

// "mm:ss:ff", two digits per field (more digits only for minutes beyond 99).
std::string FormatMsf(Frames frames);

// "tt:mm:ss:ff": a track and an offset into it.
std::string FormatTmsf(TrackNumber track, Frames offset);

// Reads a strict "mm:ss:ff" (minutes 0-99, seconds 0-59, frames 0-74, one or two digits each).
std::optional<Frames> ParseMsf(std::string_view text);

// What a track holds: music, or data that a drive cannot play as sound.
enum class TrackKind : uint8_t { Audio, Data };

// Where each track starts, what it holds and where the disc ends (the lead-out).
class Toc {
 public:
  // An empty table with no tracks, as on a blank disc; Make gives one with tracks.
  Toc() = default;

  // Checks the table: 1 to 99 tracks, starts from frame 0 on strictly ascending, the lead-out
  // after the last start and no later than kLatestFrame. On failure says why in `why`. Every
  // track holds audio until SetKind says otherwise.
  static std::optional<Toc> Make(std::vector<Frames> starts, Frames leadOut,
                                 std::string* why = nullptr);

  int32_t TrackCount() const { return static_cast<int32_t>(starts_.size()); }
  bool HasTrack(TrackNumber track) const { return track.value >= 1 && track.value <= TrackCount(); }
  TrackNumber LastTrack() const { return TrackNumber{TrackCount()}; }
  // Start and end (the next track's start, or the lead-out) of a track that HasTrack.
  Frames Start(TrackNumber track) const { return starts_[static_cast<size_t>(track.value - 1)]; }
  Frames End(TrackNumber track) const;
  Frames Length(TrackNumber track) const { return End(track) - Start(track); }
  Frames LeadOut() const { return leadOut_; }
  // The track that holds a place: the first track before it starts, the last one at and after
  // the lead-out; track 0 for an empty table.
  TrackNumber TrackAt(Frames place) const;
  const std::vector<Frames>& Starts() const { return starts_; }
  // What a track that HasTrack holds; SetKind ignores a track the table does not have.
  TrackKind Kind(TrackNumber track) const { return kinds_[static_cast<size_t>(track.value - 1)]; }
  void SetKind(TrackNumber track, TrackKind kind);
  // The first track that holds audio; track 0 when none does.
  TrackNumber FirstAudioTrack() const;

  bool operator==(const Toc&) const = default;

 private:
  Toc(std::vector<Frames> starts, Frames leadOut)
      : starts_(std::move(starts)), kinds_(starts_.size(), TrackKind::Audio), leadOut_(leadOut) {}

  std::vector<Frames> starts_;
  std::vector<TrackKind> kinds_;
  Frames leadOut_;
};

// One stretch of a disc image's sound: the frames of file `source` from `file` on lie at the
// disc's frames from `disc` on, up to where the file's next stretch begins in it (or the file
// ends), and never past where the disc's next stretch begins.
struct SoundStretch {
  Frames disc;
  Frames file;
  int32_t source = 0;  // which of the disc's sound files

  bool operator==(const SoundStretch&) const = default;
};
// How a disc image's file holds its sound: a format libsndfile recognises, or raw CD sectors of
// 16-bit stereo samples (2352 bytes a frame), little- or big-endian.
enum class SoundFormat : uint8_t { Detect, RawLittle, RawBig };
struct SoundSource {
  std::string file;  // an absolute path
  SoundFormat format = SoundFormat::Detect;

  bool operator==(const SoundSource&) const = default;
};
struct DiscSound {
  std::vector<SoundSource> sources;
  std::vector<SoundStretch> stretches;

  bool operator==(const DiscSound&) const = default;
};
struct Disc {
  std::string title;  // the album
  Toc toc;
  std::optional<DiscSound> sound{};
  std::string artist{};
  // Track 1 first, "" for a track without one; none at all when no track has one.
  std::vector<std::string> trackTitles{};

  bool operator==(const Disc&) const = default;
};

// The names a disc carries: its CD-Text, or its CUE sheet's TITLE and PERFORMER lines.
struct DiscNames {
  std::string album;
  std::string artist;
  std::vector<std::string> tracks;  // track 1 first; "" for a track without a name

  bool empty() const;  // no name at all
  bool operator==(const DiscNames&) const = default;
};

// The longest name a disc keeps, in bytes: CD-Text allows little more per field.
inline constexpr size_t kLongestDiscName = 255;

// A name as a disc keeps it: control characters as blanks, no blanks at either end, at most
// kLongestDiscName bytes cut on a character's boundary. Text that is not UTF-8 is read as
// Windows-1252.
std::string DiscName(std::string_view text);

// The names of `disc`: one track name for each of its tracks.
DiscNames NamesOf(const Disc& disc);

}  // namespace vantora::platform::cdaudio
