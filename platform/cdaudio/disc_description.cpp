// SPDX-License-Identifier: GPL-3.0-or-later
// Disc descriptions for the virtual drive: our own text format, CUE sheets and the demo disc.
#include "platform/cdaudio/disc_description.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/text_encoding.h"

namespace vantora::platform::cdaudio {
namespace {

// Longer lines are not a description; refusing them keeps error messages short.
constexpr size_t kLongestLine = 1000;
// A description of 99 tracks is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kLargestFile = 1 << 20;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) {
      return false;
    }
  }
  return true;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// One line split into its first word and the rest.
struct Line {
  size_t number = 0;
  std::string_view keyword;
  std::string_view rest;
};

// Splits text at CR, LF or CRLF; drops blank lines and those whose first non-blank is `comment`.
// Fails on a line that is too long or holds a control character.
bool SplitLines(std::string_view text, char comment, std::vector<Line>& lines, std::string& error) {
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = std::min(text.find_first_of("\r\n"), text.size());
    const std::string_view raw = text.substr(0, end);
    size_t next = end;
    if (next < text.size()) {
      next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    }
    text.remove_prefix(next);
    if (raw.size() > kLongestLine) {
      error = "line " + std::to_string(number) + ": longer than 1000 characters";
      return false;
    }
    for (char c : raw) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        error = "line " + std::to_string(number) + ": holds a control character";
        return false;
      }
    }
    std::string_view content = Trim(raw);
    if (content.empty() || (comment != '\0' && content.front() == comment)) {
      continue;
    }
    size_t space = 0;
    while (space < content.size() && !IsBlank(content[space])) {
      ++space;
    }
    lines.push_back(Line{number, content.substr(0, space), Trim(content.substr(space))});
  }
  return true;
}

std::string At(const Line& line) {
  return "line " + std::to_string(line.number) + ": ";
}

// Takes the next blank-separated word off `text`.
std::string_view NextWord(std::string_view& text) {
  text = Trim(text);
  size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) {
    ++end;
  }
  std::string_view word = text.substr(0, end);
  text = Trim(text.substr(end));
  return word;
}

// A decimal number of at most three digits.
std::optional<int32_t> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 3) {
    return std::nullopt;
  }
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  return value;
}

// A text in double quotes loses them; others stay as they are.
std::string_view Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

// The name on a FILE line, taken off `rest`: in double quotes (blanks allowed) or up to the first
// blank. The file's kind follows it.
bool FileName(std::string_view& rest, std::string& name) {
  if (!rest.empty() && rest.front() == '"') {
    const size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) {
      return false;
    }
    name = std::string(rest.substr(1, close - 1));
    rest = Trim(rest.substr(close + 1));
  } else {
    name = std::string(NextWord(rest));
  }
  return !name.empty();
}

DiscReading Fail(std::string message) {
  return DiscReading{std::nullopt, std::move(message)};
}

DiscReading Finish(std::string title, std::vector<Frames> starts, Frames leadOut,
                   const std::string& where, const std::vector<TrackNumber>& dataTracks = {}) {
  std::string why;
  auto toc = Toc::Make(std::move(starts), leadOut, &why);
  if (!toc) {
    return Fail(where + why);
  }
  for (const TrackNumber track : dataTracks) {
    toc->SetKind(track, TrackKind::Data);
  }
  return DiscReading{Disc{std::move(title), std::move(*toc)}, {}};
}

// How many bytes a frame of audio takes in a raw image: 588 stereo 16-bit samples.
constexpr int32_t kAudioSectorBytes = 2352;

// Text of a sheet as UTF-8: a byte-order mark goes, UTF-16 with one is converted, and text that
// is not UTF-8 is read as Windows-1252, as Windows rippers write it.
std::string SheetText(std::string_view bytes) {
  const bool little = bytes.starts_with("\xFF\xFE");
  if (!little && !bytes.starts_with("\xFE\xFF")) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
      bytes.remove_prefix(3);
    }
    return ToUtf8(bytes);
  }
  std::string text;
  auto unit = [&](size_t at) {
    const auto a = static_cast<unsigned char>(bytes[at]);
    const auto b = static_cast<unsigned char>(bytes[at + 1]);
    return little ? static_cast<uint32_t>(a | b << 8) : static_cast<uint32_t>(a << 8 | b);
  };
  for (size_t at = 2; at + 1 < bytes.size(); at += 2) {
    uint32_t code = unit(at);
    if (code >= 0xD800 && code < 0xDC00 && at + 3 < bytes.size() && unit(at + 2) >= 0xDC00 &&
        unit(at + 2) < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
      at += 2;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | code >> 6);
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      text += static_cast<char>(0xE0 | code >> 12);
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | code >> 18);
      text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

// What a TRACK line's type says: audio, or data in sectors of so many bytes.
struct TrackType {
  std::string_view name;
  int32_t bytes;
  bool audio;
};
constexpr TrackType kTrackTypes[] = {
    {"AUDIO", kAudioSectorBytes, true},
    {"MODE1/2352", kAudioSectorBytes, false},
    {"MODE2/2352", kAudioSectorBytes, false},
    {"CDI/2352", kAudioSectorBytes, false},
    {"MODE1/2048", 2048, false},
    {"MODE2/2336", 2336, false},
    {"CDI/2336", 2336, false},
    {"MODE2/2048", 2048, false},
};

const TrackType* FindTrackType(std::string_view word) {
  for (const TrackType& type : kTrackTypes) {
    if (SameWord(word, type.name)) {
      return &type;
    }
  }
  return nullptr;
}

// Lines that say something about the music, not about where it lies: rippers and CD-Text tools
// write them, and the disc plays the same without them.
bool IsCueRemark(std::string_view keyword) {
  static constexpr std::string_view kRemarks[] = {
      "SONGWRITER", "CATALOG", "CDTEXTFILE", "FLAGS",   "ISRC",      "ARRANGER",  "COMPOSER",
      "MESSAGE",    "DISC_ID", "GENRE",      "UPC_EAN", "TOC_INFO1", "TOC_INFO2", "SIZE_INFO"};
  return std::any_of(std::begin(kRemarks), std::end(kRemarks),
                     [keyword](std::string_view remark) { return SameWord(keyword, remark); });
}

// Tracks by several performers name no one artist. Not a name a sheet can hold: it is no UTF-8.
constexpr std::string_view kSeveralArtists = "\xFF";

// A FILE as the sheet names it, with what its tracks say of it.
struct SheetFile {
  std::string name;
  bool raw = false;
  bool bigEndian = false;
  const Line* line = nullptr;
  int32_t sectorBytes = 0;  // of its tracks, once one has an index in it
  Frames lastTime{-1};      // its last index so far
};

// What places the sheet's files and tracks on the disc, in the order the sheet says it.
struct CueEvent {
  enum class Kind { File, Gap, Index } kind;
  Frames time{0};     // the gap, or the index's time in its file
  int32_t index = 0;  // the index's number, or the file's
  bool firstOfTrack = false;
  const Line* line = nullptr;
};

// Extensions of files a sheet may mean when the one it names is not there, in order of preference.
constexpr std::string_view kSoundExtensions[] = {".flac", ".wav", ".wave", ".aiff", ".aif",
                                                 ".ogg",  ".oga", ".opus", ".mp3"};
constexpr std::string_view kRawExtensions[] = {".bin", ".img", ".raw"};
// A folder of a whole collection is looked through only this far.
constexpr size_t kMostFilesLookedAt = 10000;

}  // namespace

std::filesystem::path FindCueFile(const CueFile& file) {
  const std::filesystem::path& named = file.path;
  const bool raw = file.raw;
  std::error_code ec;
  if (std::filesystem::exists(named, ec)) {
    return named;
  }
  auto lookIn = [](const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end;
         !error && it != end && entries.size() < kMostFilesLookedAt; it.increment(error)) {
      entries.push_back(it->path());
    }
    return entries;
  };
  auto find = [](const std::vector<std::filesystem::path>& entries, const std::string& wanted) {
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
      return SameWord(entry.filename().string(), wanted);
    });
    return found == entries.end() ? std::optional<std::filesystem::path>{} : *found;
  };
  std::vector<std::string_view> extensions;
  if (raw) {
    extensions.assign(std::begin(kRawExtensions), std::end(kRawExtensions));
  } else {
    extensions.assign(std::begin(kSoundExtensions), std::end(kSoundExtensions));
  }
  const std::string ownExtension = named.extension().string();
  extensions.insert(extensions.begin(), ownExtension);
  const std::vector<std::filesystem::path> beside = lookIn(named.parent_path());
  const std::string stem = named.stem().string();
  for (std::string_view extension : extensions) {
    if (auto found = find(beside, stem + std::string(extension))) {
      return *found;
    }
  }
  if (!file.sheetStem.empty()) {
    for (std::string_view extension : extensions) {
      if (auto found = find(beside, file.sheetStem + std::string(extension))) {
        return *found;
      }
    }
  }
  return named;
}

DiscReading ParseDiscDescription(std::string_view text) {
  std::vector<Line> lines;
  std::string error;
  if (!SplitLines(text, '#', lines, error)) {
    return Fail(error);
  }
  if (lines.empty()) {
    return Fail("the description is empty");
  }
  const Line& header = lines.front();
  if (!SameWord(header.keyword, "vantora-disc")) {
    return Fail(At(header) + "a disc description starts with \"vantora-disc 1\"");
  }
  if (header.rest != "1") {
    return Fail(At(header) + "unknown description version \"" + std::string(header.rest) + "\"");
  }

  std::string title;
  bool haveTitle = false;
  std::optional<Frames> start;
  std::optional<int32_t> trackCount;
  std::vector<Frames> starts;
  std::vector<TrackNumber> dataTracks;
  Frames next{0};
  for (size_t i = 1; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (SameWord(line.keyword, "title")) {
      if (haveTitle) {
        return Fail(At(line) + "a second title");
      }
      haveTitle = true;
      title = std::string(line.rest);
    } else if (SameWord(line.keyword, "start")) {
      if (start || !starts.empty()) {
        return Fail(At(line) + "\"start\" comes once, before the first track");
      }
      start = ParseMsf(line.rest);
      if (!start) {
        return Fail(At(line) + "start \"" + std::string(line.rest) + "\" is not mm:ss:ff");
      }
    } else if (SameWord(line.keyword, "tracks")) {
      if (trackCount || !starts.empty()) {
        return Fail(At(line) + "\"tracks\" comes once, before the first track");
      }
      trackCount = SmallNumber(line.rest);
      if (!trackCount || *trackCount < 1 || *trackCount > kMaxTracks) {
        return Fail(At(line) + "track count \"" + std::string(line.rest) +
                    "\" is not a number from 1 to 99");
      }
    } else if (SameWord(line.keyword, "track")) {
      if (!trackCount) {
        return Fail(At(line) + "\"tracks\" must come before the first track");
      }
      std::string_view rest = line.rest;
      const std::string_view numberText = NextWord(rest);
      const auto number = SmallNumber(numberText);
      const int32_t expected = static_cast<int32_t>(starts.size()) + 1;
      if (!number || *number != expected) {
        return Fail(At(line) + "expected track " + std::to_string(expected) + ", found \"" +
                    std::string(numberText) + "\"");
      }
      if (expected > *trackCount) {
        return Fail(At(line) + "more tracks than the " + std::to_string(*trackCount) +
                    " announced");
      }
      const std::string_view lengthText = NextWord(rest);
      const auto length = ParseMsf(lengthText);
      if (!length) {
        return Fail(At(line) + "track " + std::to_string(expected) + " length \"" +
                    std::string(lengthText) + "\" is not mm:ss:ff");
      }
      if (SameWord(rest, "data")) {
        dataTracks.push_back(TrackNumber{expected});
      } else if (!rest.empty() && !SameWord(rest, "audio")) {
        return Fail(At(line) + "track " + std::to_string(expected) + " holds \"" +
                    std::string(rest) + "\"; a track holds audio or data");
      }
      if (length->count == 0) {
        return Fail(At(line) + "track " + std::to_string(expected) + " has no length");
      }
      if (starts.empty()) {
        next = start.value_or(kStandardPregap);
      }
      starts.push_back(next);
      next = next + *length;
      if (next > kLatestFrame) {
        return Fail(At(line) + "the disc is longer than 99:59:74");
      }
    } else {
      return Fail(At(line) + "unknown keyword \"" + std::string(line.keyword) + "\"");
    }
  }
  if (!trackCount) {
    return Fail("the description has no \"tracks\" line");
  }
  if (static_cast<int32_t>(starts.size()) != *trackCount) {
    return Fail("the description announces " + std::to_string(*trackCount) +
                " tracks but describes " + std::to_string(starts.size()));
  }
  return Finish(std::move(title), std::move(starts), next, "", dataTracks);
}

DiscReading ParseCueSheet(std::string_view bytes, const std::filesystem::path& directory,
                          const AudioFileProbe& probe, std::string_view sheetStem) {
  const std::string text = SheetText(bytes);
  std::vector<Line> lines;
  std::string error;
  if (!SplitLines(text, '\0', lines, error)) {
    return Fail(error);
  }
  std::string title;
  std::string artist;
  std::string trackArtist;  // the tracks' one performer, or kSeveralArtists
  std::vector<std::string> trackTitles;
  std::vector<SheetFile> files;
  std::vector<CueEvent> events;
  std::optional<Frames> remLength;
  size_t lengthLine = 0;
  std::vector<TrackNumber> dataTracks;
  int32_t track = 0;
  const TrackType* trackType = nullptr;
  bool trackHasStart = false;
  bool trackHasPregap = false;
  int32_t lastIndex = -1;
  const Line* openTrack = nullptr;
  Frames allGaps{0};

  auto closeTrack = [&]() -> std::string {
    if (openTrack != nullptr && !trackHasStart) {
      return At(*openTrack) + "track " + std::to_string(track) + " has no INDEX 01";
    }
    return {};
  };
  auto emptyFile = [&]() -> std::string {
    if (!files.empty() && files.back().lastTime.count < 0) {
      return At(*files.back().line) + "FILE holds no INDEX";
    }
    return {};
  };

  for (const Line& line : lines) {
    std::string_view rest = line.rest;
    if (SameWord(line.keyword, "REM")) {
      if (SameWord(NextWord(rest), "LENGTH")) {
        if (remLength) {
          return Fail(At(line) + "a second REM LENGTH");
        }
        remLength = ParseMsf(rest);
        if (!remLength) {
          return Fail(At(line) + "length \"" + std::string(rest) + "\" is not mm:ss:ff");
        }
        lengthLine = line.number;
      }
    } else if (SameWord(line.keyword, "FILE")) {
      if (std::string why = emptyFile(); !why.empty()) {
        return Fail(why);
      }
      SheetFile file;
      file.line = &line;
      if (!FileName(rest, file.name)) {
        return Fail(At(line) + "FILE needs a file name, in double quotes if it holds blanks");
      }
      file.raw = SameWord(rest, "BINARY") || SameWord(rest, "MOTOROLA");
      file.bigEndian = SameWord(rest, "MOTOROLA");
      if (files.size() == static_cast<size_t>(kMaxTracks) * 2) {
        return Fail(At(line) + "too many FILEs");
      }
      files.push_back(std::move(file));
      events.push_back(CueEvent{.kind = CueEvent::Kind::File,
                                .index = static_cast<int32_t>(files.size() - 1),
                                .line = &line});
    } else if (SameWord(line.keyword, "TRACK")) {
      if (files.empty()) {
        return Fail(At(line) + "TRACK before FILE");
      }
      if (std::string why = closeTrack(); !why.empty()) {
        return Fail(why);
      }
      const std::string_view numberText = NextWord(rest);
      const auto number = SmallNumber(numberText);
      if (!number || *number != track + 1) {
        return Fail(At(line) + "expected track " + std::to_string(track + 1) + ", found \"" +
                    std::string(numberText) + "\"");
      }
      if (*number > kMaxTracks) {
        return Fail(At(line) + "a disc holds at most 99 tracks");
      }
      trackType = FindTrackType(rest);
      if (trackType == nullptr) {
        return Fail(At(line) + "track " + std::to_string(*number) + " is \"" + std::string(rest) +
                    "\"; a track is AUDIO or a data mode such as MODE1/2352");
      }
      track = *number;
      if (!trackType->audio) {
        dataTracks.push_back(TrackNumber{track});
      }
      openTrack = &line;
      trackHasStart = false;
      trackHasPregap = false;
      lastIndex = -1;
    } else if (SameWord(line.keyword, "INDEX")) {
      if (openTrack == nullptr) {
        return Fail(At(line) + "INDEX outside a TRACK");
      }
      SheetFile& file = files.back();
      if (!file.raw && !trackType->audio) {
        return Fail(At(line) + "track " + std::to_string(track) + " is " +
                    std::string(trackType->name) + ", but its FILE holds sound; data tracks " +
                    "lie in BINARY files");
      }
      if (file.raw) {
        if (file.sectorBytes != 0 && file.sectorBytes != trackType->bytes) {
          return Fail(At(line) + "track " + std::to_string(track) + " has " +
                      std::to_string(trackType->bytes) + "-byte sectors in a FILE of " +
                      std::to_string(file.sectorBytes) + "-byte ones");
        }
        file.sectorBytes = trackType->bytes;
      }
      const std::string_view numberText = NextWord(rest);
      const auto index = SmallNumber(numberText);
      if (!index || *index > 99 || *index <= lastIndex) {
        return Fail(At(line) + "index number \"" + std::string(numberText) +
                    "\" is not the next index from 0 to 99");
      }
      const auto time = ParseMsf(rest);
      if (!time) {
        return Fail(At(line) + "index time \"" + std::string(rest) + "\" is not mm:ss:ff");
      }
      if (*time <= file.lastTime) {
        return Fail(At(line) + "index time " + std::string(rest) +
                    " does not come after the one before it");
      }
      if (*index == 1) {
        trackHasStart = true;
      } else if (*index > 1 && !trackHasStart) {
        return Fail(At(line) + "INDEX " + std::string(numberText) + " before INDEX 01");
      }
      events.push_back(CueEvent{.kind = CueEvent::Kind::Index,
                                .time = *time,
                                .index = *index,
                                .firstOfTrack = lastIndex < 0,
                                .line = &line});
      lastIndex = *index;
      file.lastTime = *time;
    } else if (SameWord(line.keyword, "PREGAP") || SameWord(line.keyword, "POSTGAP")) {
      const bool pre = SameWord(line.keyword, "PREGAP");
      if (openTrack == nullptr || (pre ? (lastIndex >= 0 || trackHasPregap) : !trackHasStart)) {
        return Fail(At(line) + std::string(line.keyword) +
                    (pre ? " belongs after TRACK, before its INDEX lines"
                         : " belongs after a track's INDEX 01"));
      }
      const auto gap = ParseMsf(rest);
      if (!gap) {
        return Fail(At(line) + "gap \"" + std::string(rest) + "\" is not mm:ss:ff");
      }
      trackHasPregap = trackHasPregap || pre;
      events.push_back(CueEvent{.kind = CueEvent::Kind::Gap, .time = *gap, .line = &line});
      // Files only add to the gaps: a sheet whose gaps alone overflow ends here, not at its end.
      allGaps = allGaps + *gap;
      if (kStandardPregap + allGaps > kLatestFrame) {
        return Fail(At(line) + "the gaps make the disc longer than 99:59:74");
      }
    } else if (SameWord(line.keyword, "TITLE") || SameWord(line.keyword, "PERFORMER")) {
      const bool named = SameWord(line.keyword, "TITLE");
      std::string name = DiscName(Unquote(rest));
      if (openTrack == nullptr) {
        (named ? title : artist) = std::move(name);
      } else if (named) {
        trackTitles.resize(static_cast<size_t>(track));
        trackTitles.back() = std::move(name);
      } else if (trackArtist.empty()) {
        // A sheet that names only its tracks' performers, all of them the same, names the artist.
        trackArtist = std::move(name);
      } else if (trackArtist != name) {
        trackArtist = kSeveralArtists;
      }
    } else if (!IsCueRemark(line.keyword)) {
      return Fail(At(line) + "unknown command \"" + std::string(line.keyword) + "\"");
    }
  }
  if (std::string why = closeTrack(); !why.empty()) {
    return Fail(why);
  }
  if (openTrack == nullptr) {
    return Fail("the CUE sheet has no tracks");
  }
  if (std::string why = emptyFile(); !why.empty()) {
    return Fail(why);
  }

  // Each file's length on the disc, and its sound.
  std::vector<Frames> lengths;
  std::vector<SoundSource> sources;
  std::vector<bool> audible;
  if (probe) {
    for (const SheetFile& file : files) {
      std::filesystem::path path = file.name;
      if (path.is_relative()) {
        path = directory / path;
      }
      std::error_code ec;
      path = std::filesystem::absolute(path, ec).lexically_normal();
      const int32_t sectorBytes = file.sectorBytes == 0 ? kAudioSectorBytes : file.sectorBytes;
      const AudioFileFacts facts =
          probe(CueFile{path, file.raw, file.bigEndian, sectorBytes,
                        files.size() == 1 ? std::string(sheetStem) : std::string()});
      if (!facts.found.empty()) {
        path = std::filesystem::absolute(facts.found, ec).lexically_normal();
      }
      const std::string name = path.string();
      if (ec || std::any_of(name.begin(), name.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return Fail(At(*file.line) + "the sound file's path holds a control character");
      }
      if (!facts.error.empty()) {
        return Fail(At(*file.line) + name + ": " + facts.error);
      }
      if (facts.length <= file.lastTime) {
        return Fail(At(*file.line) + name + ": lasts " + FormatMsf(facts.length) +
                    ", which ends before the last index");
      }
      lengths.push_back(facts.length);
      sources.push_back(SoundSource{name, facts.format});
      audible.push_back(facts.format == SoundFormat::Detect || sectorBytes == kAudioSectorBytes);
    }
  } else {
    if (files.size() > 1) {
      return Fail("a CUE sheet of several FILEs needs its files to be read");
    }
    if (!remLength) {
      return Fail("the CUE sheet has no \"REM LENGTH mm:ss:ff\" line giving the audio's length");
    }
    if (*remLength <= files.front().lastTime) {
      return Fail("line " + std::to_string(lengthLine) + ": length " + FormatMsf(*remLength) +
                  " ends before the last index");
    }
    lengths.push_back(*remLength);
    audible.push_back(false);
  }

  // Lays the files end to end, with the gaps' silence between them.
  Frames offset{0};
  Frames gaps{0};
  Frames pendingGap{0};  // silence that goes in before the next track's first index
  size_t file = 0;
  std::vector<SoundStretch> stretches;
  std::vector<Frames> starts;
  auto addStretch = [&](SoundStretch stretch) {
    if (!audible[file]) {
      return;
    }
    if (!stretches.empty() && stretches.back().source == stretch.source &&
        stretches.back().file == stretch.file) {
      stretches.back() = stretch;
    } else {
      stretches.push_back(stretch);
    }
  };
  for (const CueEvent& event : events) {
    if (event.kind == CueEvent::Kind::File) {
      if (event.index > 0) {
        offset = offset + lengths[file];
        ++file;
      }
      if (kStandardPregap + gaps + offset > kLatestFrame) {
        return Fail(At(*event.line) + "the files make the disc longer than 99:59:74");
      }
      addStretch(
          SoundStretch{kStandardPregap + gaps + offset, Frames{0}, static_cast<int32_t>(file)});
    } else if (event.kind == CueEvent::Kind::Gap) {
      gaps = gaps + event.time;
      pendingGap = pendingGap + event.time;
      // Checked at every gap, so that the sum stays small and the line that overflows is named.
      if (kStandardPregap + gaps + offset > kLatestFrame) {
        return Fail(At(*event.line) + "the gaps make the disc longer than 99:59:74");
      }
    } else {
      const Frames place = kStandardPregap + gaps + offset + event.time;
      if (place > kLatestFrame) {
        return Fail(At(*event.line) + "the index lies after 99:59:74 on the disc");
      }
      if (event.firstOfTrack && pendingGap.count > 0) {
        addStretch(SoundStretch{place, event.time, static_cast<int32_t>(file)});
        pendingGap = Frames{0};
      }
      if (event.index == 1) {
        starts.push_back(place);
      }
    }
  }
  const std::string where = probe ? At(*files.back().line) + sources.back().file + ": "
                                  : "line " + std::to_string(lengthLine) + ": ";
  DiscReading reading = Finish(std::move(title), std::move(starts),
                               kStandardPregap + gaps + offset + lengths.back(), where, dataTracks);
  if (reading.disc && probe && !stretches.empty()) {
    reading.disc->sound = DiscSound{std::move(sources), std::move(stretches)};
  }
  if (reading.disc) {
    reading.disc->artist = !artist.empty() || trackArtist == kSeveralArtists
                               ? std::move(artist)
                               : std::move(trackArtist);
    if (std::any_of(trackTitles.begin(), trackTitles.end(),
                    [](const std::string& name) { return !name.empty(); })) {
      trackTitles.resize(static_cast<size_t>(reading.disc->toc.TrackCount()));
      reading.disc->trackTitles = std::move(trackTitles);
    }
  }
  return reading;
}

DiscReading ReadDiscFile(const std::filesystem::path& path, const AudioFileProbe& probe) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return Fail(path.string() + ": no such file");
  }
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || size > kLargestFile) {
    return Fail(path.string() + ": too large for a disc description");
  }
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    return Fail(path.string() + ": cannot be read");
  }
  std::string extension = path.extension().string();
  const bool cue = SameWord(extension, ".cue");
  DiscReading reading = cue ? ParseCueSheet(text, path.parent_path(), probe, path.stem().string())
                            : ParseDiscDescription(text);
  if (!reading.disc) {
    reading.error = path.string() + ": " + reading.error;
  }
  return reading;
}

Disc DemoDisc() {
  // Lengths of an ordinary album, some with odd frames so that displays get tested.
  static constexpr Msf kLengths[] = {
      {3, 42, 17}, {4, 5, 0},   {2, 58, 40}, {5, 12, 3},  {3, 30, 70}, {4, 47, 12},
      {3, 3, 3},   {6, 21, 55}, {2, 9, 0},   {4, 44, 44}, {3, 16, 8},  {7, 2, 61},
  };
  std::vector<Frames> starts;
  Frames next = kStandardPregap;
  for (const Msf& length : kLengths) {
    starts.push_back(next);
    next = next + FromMsf(length);
  }
  return Disc{"Vantora Demo Disc", *Toc::Make(std::move(starts), next)};
}

Disc BehindDataTrack(const Disc& disc) {
  const Frames dataLength = FromMsf(Msf{8, 0, 0});
  std::vector<Frames> starts = {kStandardPregap};
  for (const Frames start : disc.toc.Starts()) {
    starts.push_back(start + dataLength);
  }
  Disc mixed{disc.title + " (mixed mode)",
             *Toc::Make(std::move(starts), disc.toc.LeadOut() + dataLength)};
  mixed.toc.SetKind(TrackNumber{1}, TrackKind::Data);
  mixed.artist = disc.artist;
  if (!disc.trackTitles.empty()) {
    mixed.trackTitles = disc.trackTitles;
    mixed.trackTitles.insert(mixed.trackTitles.begin(), std::string());
  }
  if (disc.sound) {
    mixed.sound = disc.sound;
    for (SoundStretch& stretch : mixed.sound->stretches) {
      stretch.disc = stretch.disc + dataLength;
    }
  }
  return mixed;
}

Disc MixedModeDemoDisc() {
  return BehindDataTrack(DemoDisc());
}

std::string FormatDiscDescription(const Disc& disc) {
  std::string text = "vantora-disc 1\n";
  if (!disc.title.empty()) {
    text += "title " + disc.title + "\n";
  }
  const Toc& toc = disc.toc;
  if (toc.TrackCount() > 0) {
    text += "start " + FormatMsf(toc.Start(TrackNumber{1})) + "\n";
  }
  text += "tracks " + std::to_string(toc.TrackCount()) + "\n";
  for (int32_t t = 1; t <= toc.TrackCount(); ++t) {
    text += "track " + std::to_string(t) + " " + FormatMsf(toc.Length(TrackNumber{t}));
    text += toc.Kind(TrackNumber{t}) == TrackKind::Data ? " data\n" : "\n";
  }
  return text;
}

}  // namespace vantora::platform::cdaudio
