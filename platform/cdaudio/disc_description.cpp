// SPDX-License-Identifier: GPL-3.0-or-later
// Disc descriptions for the virtual drive: our own text format, CUE sheets and the demo disc.
#include "platform/cdaudio/disc_description.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

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

// The name on a FILE line: in double quotes (blanks allowed) or up to the first blank; the file's
// kind after it says nothing the sound reader does not find out for itself.
bool FileName(std::string_view rest, std::string& name) {
  if (!rest.empty() && rest.front() == '"') {
    const size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) {
      return false;
    }
    name = std::string(rest.substr(1, close - 1));
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

}  // namespace

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

DiscReading ParseCueSheet(std::string_view text, const std::filesystem::path& directory,
                          const AudioFileProbe& probe) {
  std::vector<Line> lines;
  std::string error;
  if (!SplitLines(text, '\0', lines, error)) {
    return Fail(error);
  }
  std::string title;
  const Line* fileLine = nullptr;
  std::string fileName;
  std::optional<Frames> fileLength;
  size_t lengthLine = 0;
  // Silence added by PREGAP and POSTGAP so far: it moves every later place on the disc.
  Frames gaps{0};
  // Silence that goes in before the next track's first index: its PREGAP, or the POSTGAP of the
  // track before. The file's sound continues after it in a new stretch.
  Frames pendingGap{0};
  std::vector<SoundStretch> stretches = {SoundStretch{kStandardPregap, Frames{0}}};
  std::vector<Frames> starts;
  int32_t track = 0;
  bool trackHasStart = false;
  bool trackHasPregap = false;
  int32_t lastIndex = -1;
  Frames lastIndexTime{-1};
  const Line* openTrack = nullptr;

  auto closeTrack = [&]() -> std::string {
    if (openTrack != nullptr && !trackHasStart) {
      return At(*openTrack) + "track " + std::to_string(track) + " has no INDEX 01";
    }
    return {};
  };

  for (const Line& line : lines) {
    std::string_view rest = line.rest;
    if (SameWord(line.keyword, "REM")) {
      if (SameWord(NextWord(rest), "LENGTH")) {
        if (fileLength) {
          return Fail(At(line) + "a second REM LENGTH");
        }
        fileLength = ParseMsf(rest);
        if (!fileLength) {
          return Fail(At(line) + "length \"" + std::string(rest) + "\" is not mm:ss:ff");
        }
        lengthLine = line.number;
      }
    } else if (SameWord(line.keyword, "FILE")) {
      if (fileLine != nullptr) {
        return Fail(At(line) + "only one FILE is supported");
      }
      fileLine = &line;
      if (!FileName(rest, fileName)) {
        return Fail(At(line) + "FILE needs a file name, in double quotes if it holds blanks");
      }
    } else if (SameWord(line.keyword, "TRACK")) {
      if (fileLine == nullptr) {
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
      if (!SameWord(rest, "AUDIO")) {
        return Fail(At(line) + "track " + std::to_string(*number) + " is \"" + std::string(rest) +
                    "\"; only AUDIO tracks can be played");
      }
      track = *number;
      openTrack = &line;
      trackHasStart = false;
      trackHasPregap = false;
      lastIndex = -1;
    } else if (SameWord(line.keyword, "INDEX")) {
      if (openTrack == nullptr) {
        return Fail(At(line) + "INDEX outside a TRACK");
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
      if (kStandardPregap + gaps + *time > kLatestFrame) {
        return Fail(At(line) + "the index lies after 99:59:74 on the disc");
      }
      if (*time <= lastIndexTime) {
        return Fail(At(line) + "index time " + std::string(rest) +
                    " does not come after the one before it");
      }
      if (lastIndex < 0 && pendingGap.count > 0) {
        const SoundStretch stretch{kStandardPregap + gaps + *time, *time};
        if (stretches.back().file == stretch.file) {
          stretches.back() = stretch;
        } else {
          stretches.push_back(stretch);
        }
        pendingGap = Frames{0};
      }
      if (*index == 1) {
        starts.push_back(kStandardPregap + gaps + *time);
        trackHasStart = true;
      } else if (*index > 1 && !trackHasStart) {
        return Fail(At(line) + "INDEX " + std::string(numberText) + " before INDEX 01");
      }
      lastIndex = *index;
      lastIndexTime = *time;
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
      gaps = gaps + *gap;
      pendingGap = pendingGap + *gap;
      // Checked at every gap, so that the sum stays small and the line that overflows is named.
      if (kStandardPregap + gaps > kLatestFrame) {
        return Fail(At(line) + "the gaps make the disc longer than 99:59:74");
      }
    } else if (SameWord(line.keyword, "TITLE")) {
      if (openTrack == nullptr) {
        title = std::string(Unquote(rest));
      }
    } else if (SameWord(line.keyword, "PERFORMER") || SameWord(line.keyword, "SONGWRITER") ||
               SameWord(line.keyword, "CATALOG") || SameWord(line.keyword, "CDTEXTFILE") ||
               SameWord(line.keyword, "FLAGS") || SameWord(line.keyword, "ISRC")) {
      // Facts about the music, not about where it lies.
    } else {
      return Fail(At(line) + "unknown command \"" + std::string(line.keyword) + "\"");
    }
  }
  if (std::string why = closeTrack(); !why.empty()) {
    return Fail(why);
  }
  if (starts.empty()) {
    return Fail("the CUE sheet has no tracks");
  }
  if (probe) {
    // The file's own length wins over any REM LENGTH.
    std::filesystem::path file = std::filesystem::path(fileName);
    if (file.is_relative()) {
      file = directory / file;
    }
    std::error_code ec;
    file = std::filesystem::absolute(file, ec).lexically_normal();
    const std::string path = file.string();
    if (ec || std::any_of(path.begin(), path.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
      return Fail(At(*fileLine) + "the sound file's path holds a control character");
    }
    const AudioFileFacts facts = probe(file);
    if (!facts.error.empty()) {
      return Fail(At(*fileLine) + path + ": " + facts.error);
    }
    if (facts.length <= lastIndexTime) {
      return Fail(At(*fileLine) + path + ": lasts " + FormatMsf(facts.length) +
                  ", which ends before the last index");
    }
    DiscReading reading =
        Finish(std::move(title), std::move(starts), kStandardPregap + gaps + facts.length,
               At(*fileLine) + path + ": ");
    if (reading.disc) {
      reading.disc->sound = DiscSound{path, std::move(stretches)};
    }
    return reading;
  }
  if (!fileLength) {
    return Fail("the CUE sheet has no \"REM LENGTH mm:ss:ff\" line giving the audio's length");
  }
  if (*fileLength <= lastIndexTime) {
    return Fail("line " + std::to_string(lengthLine) + ": length " + FormatMsf(*fileLength) +
                " ends before the last index");
  }
  return Finish(std::move(title), std::move(starts), kStandardPregap + gaps + *fileLength,
                "line " + std::to_string(lengthLine) + ": ");
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
  DiscReading reading =
      cue ? ParseCueSheet(text, path.parent_path(), probe) : ParseDiscDescription(text);
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

Disc MixedModeDemoDisc() {
  Disc demo = DemoDisc();
  const Frames dataLength = FromMsf(Msf{8, 0, 0});
  std::vector<Frames> starts = {kStandardPregap};
  for (const Frames start : demo.toc.Starts()) {
    starts.push_back(start + dataLength);
  }
  Disc mixed{"Vantora Demo Disc (mixed mode)",
             *Toc::Make(std::move(starts), demo.toc.LeadOut() + dataLength)};
  mixed.toc.SetKind(TrackNumber{1}, TrackKind::Data);
  return mixed;
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
