// SPDX-License-Identifier: GPL-3.0-or-later
// The command-string device for `cdaudio`: our stand-in for the platform's mciSendStringA, driving
// any CdDrive.
#include "platform/cdaudio/command_device.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>

#include "platform/cdaudio/virtual_drive.h"

namespace vantora::platform {

using cdaudio::DriveError;
using cdaudio::DriveMode;
using cdaudio::Frames;
using cdaudio::Toc;
using cdaudio::TrackNumber;

namespace {

using TimeFormat = CommandDevice::TimeFormat;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return lower;
}

// A word of a command: as typed (for names and values) and in lower case (for keywords).
struct Token {
  std::string text;
  std::string word;
};

// Splits at blanks; a double-quoted part may hold blanks and loses its quotes.
uint32_t Tokenize(std::string_view command, std::vector<Token>& tokens) {
  size_t i = 0;
  while (i < command.size()) {
    const char c = command[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    std::string text;
    if (c == '"') {
      const size_t close = command.find('"', i + 1);
      if (close == std::string_view::npos) {
        return kMciErrNoClosingQuote;
      }
      text = std::string(command.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      const size_t end = std::min(command.find_first_of(" \t\r\n", i), command.size());
      text = std::string(command.substr(i, end - i));
      i = end;
    }
    tokens.push_back(Token{text, LowerCase(text)});
  }
  return 0;
}

enum class Verb { Open, Close, Status, Set, Play, Pause, Stop, Seek, Capability };

enum class Flag {
  Wait,
  Notify,
  // open
  Shareable,
  Alias,
  // status items and their modifier
  Ready,
  Mode,
  MediaPresent,
  NumberOfTracks,
  Length,
  CurrentTrack,
  StartPosition,
  Position,
  TimeFormatItem,
  Type,
  Track,
  // set
  SetTimeFormat,
  DoorOpen,
  DoorClosed,
  // play and seek
  From,
  To,
  ToStart,
  ToEnd,
  // capability items
  CanEject,
  CanPlay,
  CanRecord,
  CanSave,
  CompoundDevice,
  DeviceType,
  HasAudio,
  HasVideo,
  UsesFiles,
  Count
};

// A keyword of one to three words, which may come in any order; some take the next word as value.
struct Phrase {
  Flag flag;
  std::array<std::string_view, 3> words;
  bool takesValue = false;

  size_t Size() const {
    return static_cast<size_t>(
        std::count_if(words.begin(), words.end(), [](std::string_view w) { return !w.empty(); }));
  }
};

constexpr Phrase kCommon[] = {{Flag::Wait, {"wait"}}, {Flag::Notify, {"notify"}}};
constexpr Phrase kOpen[] = {{Flag::Shareable, {"shareable"}}, {Flag::Alias, {"alias"}, true}};
constexpr Phrase kStatus[] = {
    {Flag::Ready, {"ready"}},
    {Flag::Mode, {"mode"}},
    {Flag::MediaPresent, {"media", "present"}},
    {Flag::NumberOfTracks, {"number", "of", "tracks"}},
    {Flag::Length, {"length"}},
    {Flag::CurrentTrack, {"current", "track"}},
    {Flag::StartPosition, {"start", "position"}},
    {Flag::Position, {"position"}},
    {Flag::TimeFormatItem, {"time", "format"}},
    {Flag::Type, {"type"}},
    {Flag::Track, {"track"}, true},
};
constexpr Phrase kSet[] = {
    {Flag::SetTimeFormat, {"time", "format"}, true},
    {Flag::DoorOpen, {"door", "open"}},
    {Flag::DoorClosed, {"door", "closed"}},
};
constexpr Phrase kPlay[] = {{Flag::From, {"from"}, true}, {Flag::To, {"to"}, true}};
constexpr Phrase kSeek[] = {
    {Flag::ToStart, {"to", "start"}}, {Flag::ToEnd, {"to", "end"}}, {Flag::To, {"to"}, true}};
constexpr Phrase kCapability[] = {
    {Flag::CanEject, {"can", "eject"}},
    {Flag::CanPlay, {"can", "play"}},
    {Flag::CanRecord, {"can", "record"}},
    {Flag::CanSave, {"can", "save"}},
    {Flag::CompoundDevice, {"compound", "device"}},
    {Flag::DeviceType, {"device", "type"}},
    {Flag::HasAudio, {"has", "audio"}},
    {Flag::HasVideo, {"has", "video"}},
    {Flag::UsesFiles, {"uses", "files"}},
};

std::span<const Phrase> PhrasesOf(Verb verb) {
  switch (verb) {
    case Verb::Open:
      return kOpen;
    case Verb::Status:
      return kStatus;
    case Verb::Set:
      return kSet;
    case Verb::Play:
      return kPlay;
    case Verb::Seek:
      return kSeek;
    case Verb::Capability:
      return kCapability;
    case Verb::Close:
    case Verb::Pause:
    case Verb::Stop:
      break;
  }
  return {};
}

std::optional<Verb> VerbOf(std::string_view word) {
  static constexpr std::pair<std::string_view, Verb> kVerbs[] = {
      {"open", Verb::Open}, {"close", Verb::Close}, {"status", Verb::Status},
      {"set", Verb::Set},   {"play", Verb::Play},   {"pause", Verb::Pause},
      {"stop", Verb::Stop}, {"seek", Verb::Seek},   {"capability", Verb::Capability},
  };
  for (const auto& [name, verb] : kVerbs) {
    if (name == word) {
      return verb;
    }
  }
  return std::nullopt;
}

// The keywords of one command, each at most once, with their values.
struct Flags {
  std::array<bool, static_cast<size_t>(Flag::Count)> present{};
  std::array<std::string, static_cast<size_t>(Flag::Count)> values;

  bool Has(Flag flag) const { return present[static_cast<size_t>(flag)]; }
  const std::string& Value(Flag flag) const { return values[static_cast<size_t>(flag)]; }
  int CountOf(std::initializer_list<Flag> flags) const {
    return static_cast<int>(
        std::count_if(flags.begin(), flags.end(), [this](Flag f) { return Has(f); }));
  }
};

// Whether tokens [at, at + phrase size) hold exactly the phrase's words, in any order.
bool Matches(const Phrase& phrase, const std::vector<Token>& tokens, size_t at) {
  const size_t size = phrase.Size();
  if (at + size > tokens.size()) {
    return false;
  }
  std::array<bool, 3> used{};
  for (size_t t = at; t < at + size; ++t) {
    bool found = false;
    for (size_t w = 0; w < size && !found; ++w) {
      if (!used[w] && tokens[t].word == phrase.words[w]) {
        used[w] = true;
        found = true;
      }
    }
    if (!found) {
      return false;
    }
  }
  return true;
}

uint32_t ParseFlags(Verb verb, const std::vector<Token>& tokens, size_t at, Flags& flags) {
  const std::span<const Phrase> own = PhrasesOf(verb);
  while (at < tokens.size()) {
    const Phrase* best = nullptr;
    for (std::span<const Phrase> table : {own, std::span<const Phrase>(kCommon)}) {
      for (const Phrase& phrase : table) {
        if ((best == nullptr || phrase.Size() > best->Size()) && Matches(phrase, tokens, at)) {
          best = &phrase;
        }
      }
    }
    if (best == nullptr) {
      return kMciErrUnrecognizedKeyword;
    }
    const size_t index = static_cast<size_t>(best->flag);
    if (flags.present[index]) {
      return kMciErrDuplicateFlags;
    }
    flags.present[index] = true;
    at += best->Size();
    if (best->takesValue) {
      if (at == tokens.size()) {
        return kMciErrMissingParameter;
      }
      flags.values[index] = tokens[at].text;
      ++at;
    }
  }
  return 0;
}

uint32_t ErrorOf(DriveError error) {
  switch (error) {
    case DriveError::None:
      return 0;
    case DriveError::Unsupported:
      return kMciErrUnsupportedFunction;
    case DriveError::Unplugged:
    case DriveError::NotReady:
      return kMciErrDeviceNotReady;
    case DriveError::OutOfRange:
      return kMciErrOutOfRange;
    case DriveError::Hardware:
      return kMciErrHardware;
    case DriveError::Damaged:
      return kMciErrDriverInternal;
  }
  return kMciErrDriverInternal;
}

// A table of contents without tracks is a blank disc, which the platform's drives refuse as a
// hardware fault.
uint32_t ReadableToc(const cdaudio::DriveResult<Toc>& toc) {
  if (!toc.ok()) {
    return ErrorOf(toc.error);
  }
  return toc.value.TrackCount() == 0 ? kMciErrHardware : 0;
}

// The platform's drives end the disc one frame before the lead-out (the reported length ends
// there), so a head that ran out or was sent to the end reads that last frame.
Frames Reported(Frames head, const Toc& toc) {
  return std::min(head, toc.LeadOut() - Frames{1});
}

// A plain decimal number of at most 32 bits.
std::optional<uint32_t> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 10) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// A place as a command gives it, before the disc is known.
struct Place {
  std::array<int32_t, 4> fields{};  // tmsf: track, minutes, seconds, frames; msf: from minutes on
  uint32_t milliseconds = 0;
};

// Colon-separated fields of 0 to 255 each: up to three in msf (minutes first), up to four in tmsf
// (the track first); a lone number in ms.
std::optional<Place> ParsePlace(std::string_view text, TimeFormat format) {
  Place place;
  if (format == TimeFormat::Milliseconds) {
    const auto ms = Decimal(text);
    if (!ms) {
      return std::nullopt;
    }
    place.milliseconds = *ms;
    return place;
  }
  const size_t first = format == TimeFormat::Tmsf ? 0 : 1;
  size_t field = first;
  for (;;) {
    const size_t colon = std::min(text.find(':'), text.size());
    const auto value = Decimal(text.substr(0, colon));
    if (!value || *value > 255 || field >= place.fields.size()) {
      return std::nullopt;
    }
    place.fields[field++] = static_cast<int32_t>(*value);
    if (colon == text.size()) {
      return place;
    }
    text.remove_prefix(colon + 1);
  }
}

Frames FramesOfMs(uint64_t ms) {
  return Frames{
      static_cast<int32_t>(std::min<uint64_t>(ms * cdaudio::kFramesPerSecond / 1000, INT32_MAX))};
}

uint64_t MsOf(Frames frames) {
  return static_cast<uint64_t>(std::max(frames.count, 0)) * 1000 / cdaudio::kFramesPerSecond;
}

// The absolute frame of a place on this disc; OutOfRange for a track the disc does not have.
std::optional<Frames> Locate(const Place& place, TimeFormat format, const Toc& toc) {
  if (format == TimeFormat::Milliseconds) {
    return FramesOfMs(place.milliseconds);
  }
  const Frames offset =
      cdaudio::FromMsf(cdaudio::Msf{place.fields[1], place.fields[2], place.fields[3]});
  if (format == TimeFormat::Msf) {
    return offset;
  }
  const TrackNumber track{place.fields[0]};
  if (!toc.HasTrack(track)) {
    return std::nullopt;
  }
  return toc.Start(track) + offset;
}

// A position reply: msf absolute, tmsf from the start of the track that holds it, ms absolute.
std::string FormatPosition(Frames place, TimeFormat format, const Toc& toc) {
  switch (format) {
    case TimeFormat::Msf:
      break;
    case TimeFormat::Tmsf: {
      const TrackNumber track = toc.TrackAt(place);
      return cdaudio::FormatTmsf(track, std::max(place - toc.Start(track), Frames{0}));
    }
    case TimeFormat::Milliseconds:
      return std::to_string(MsOf(place));
  }
  return cdaudio::FormatMsf(place);
}

// Lengths are durations: mm:ss:ff in msf and tmsf alike, ms in ms.
std::string FormatLength(Frames length, TimeFormat format) {
  return format == TimeFormat::Milliseconds ? std::to_string(MsOf(length))
                                            : cdaudio::FormatMsf(length);
}

const char* FormatName(TimeFormat format) {
  switch (format) {
    case TimeFormat::Msf:
      break;
    case TimeFormat::Tmsf:
      return "tmsf";
    case TimeFormat::Milliseconds:
      return "milliseconds";
  }
  return "msf";
}

// One command on one session, with the drive at hand.
class Command {
 public:
  Command(cdaudio::CdDrive& drive, CommandDevice::Session& session, const Flags& flags,
          std::string& reply)
      : drive_(drive), session_(session), flags_(flags), reply_(reply) {}

  uint32_t Status();
  uint32_t Set();
  uint32_t Play();
  uint32_t Seek();
  uint32_t Capability();
  uint32_t Pause() { return ErrorOf(drive_.Pause().error); }
  uint32_t Stop() { return ErrorOf(drive_.Stop().error); }

 private:
  // The track that "track N" names; 0 with the error set when it is bad.
  uint32_t TrackOf(const Toc& toc, TrackNumber& track) const;
  uint32_t Answer(std::string text) {
    reply_ = std::move(text);
    return 0;
  }

  cdaudio::CdDrive& drive_;
  CommandDevice::Session& session_;
  const Flags& flags_;
  std::string& reply_;
};

uint32_t Command::TrackOf(const Toc& toc, TrackNumber& track) const {
  const auto number = Decimal(flags_.Value(Flag::Track));
  if (!number) {
    return kMciErrBadInteger;
  }
  if (*number < 1 || *number > static_cast<uint32_t>(toc.TrackCount())) {
    return kMciErrOutOfRange;
  }
  track = TrackNumber{static_cast<int32_t>(*number)};
  return 0;
}

uint32_t Command::Status() {
  const int items = flags_.CountOf(
      {Flag::Ready, Flag::Mode, Flag::MediaPresent, Flag::NumberOfTracks, Flag::Length,
       Flag::CurrentTrack, Flag::StartPosition, Flag::Position, Flag::TimeFormatItem, Flag::Type});
  if (items == 0) {
    return kMciErrMissingParameter;
  }
  const bool takesTrack =
      flags_.Has(Flag::Length) || flags_.Has(Flag::Position) || flags_.Has(Flag::Type);
  if (items > 1 || (flags_.Has(Flag::Track) && !takesTrack)) {
    return kMciErrFlagsNotCompatible;
  }
  if (flags_.Has(Flag::Type) && !flags_.Has(Flag::Track)) {
    return kMciErrMissingParameter;
  }
  if (flags_.Has(Flag::Track) && !Decimal(flags_.Value(Flag::Track))) {
    return kMciErrBadInteger;
  }

  if (flags_.Has(Flag::TimeFormatItem)) {
    return Answer(FormatName(session_.format));
  }
  if (flags_.Has(Flag::Ready) || flags_.Has(Flag::Mode)) {
    const auto mode = drive_.Mode();
    // A vanished drive reads as one that is not ready, so a player keeps polling calmly.
    if (mode.error == DriveError::Unplugged) {
      return Answer(flags_.Has(Flag::Ready) ? "false" : "not ready");
    }
    if (!mode.ok()) {
      return ErrorOf(mode.error);
    }
    if (flags_.Has(Flag::Ready)) {
      const bool ready = mode.value != DriveMode::NotReady && mode.value != DriveMode::Open;
      return Answer(ready ? "true" : "false");
    }
    switch (mode.value) {
      case DriveMode::NotReady:
        return Answer("not ready");
      case DriveMode::Open:
        return Answer("open");
      case DriveMode::Playing:
        return Answer("playing");
      case DriveMode::Seeking:
        return Answer("seeking");
      case DriveMode::Stopped:
      case DriveMode::Paused:  // the platform names a paused drive "stopped"
        break;
    }
    return Answer("stopped");
  }
  if (flags_.Has(Flag::MediaPresent)) {
    const auto present = drive_.MediaPresent();
    if (present.error == DriveError::Unplugged) {
      return Answer("false");
    }
    if (!present.ok()) {
      return ErrorOf(present.error);
    }
    return Answer(present.value ? "true" : "false");
  }

  const auto toc = drive_.ReadToc();
  if (const uint32_t error = ReadableToc(toc); error != 0) {
    return error;
  }
  const Toc& disc = toc.value;
  TrackNumber track;
  if (flags_.Has(Flag::Track)) {
    if (const uint32_t error = TrackOf(disc, track); error != 0) {
      return error;
    }
  }
  const Frames firstStart = disc.Start(TrackNumber{1});
  if (flags_.Has(Flag::NumberOfTracks)) {
    return Answer(std::to_string(disc.TrackCount()));
  }
  if (flags_.Has(Flag::Type)) {
    return Answer(disc.Kind(track) == cdaudio::TrackKind::Audio ? "audio" : "other");
  }
  if (flags_.Has(Flag::Length)) {
    // The platform's drives report the disc and its last track one frame short of the lead-out.
    if (!flags_.Has(Flag::Track)) {
      return Answer(FormatLength(disc.LeadOut() - firstStart - Frames{1}, session_.format));
    }
    const Frames shortBy{track == disc.LastTrack() ? 1 : 0};
    return Answer(FormatLength(disc.Length(track) - shortBy, session_.format));
  }
  if (flags_.Has(Flag::StartPosition)) {
    return Answer(FormatPosition(firstStart, session_.format, disc));
  }
  if (flags_.Has(Flag::Position) && flags_.Has(Flag::Track)) {
    return Answer(FormatPosition(disc.Start(track), session_.format, disc));
  }
  const auto position = drive_.Position();
  if (!position.ok()) {
    return ErrorOf(position.error);
  }
  const Frames head = Reported(position.value, disc);
  if (flags_.Has(Flag::CurrentTrack)) {
    return Answer(std::to_string(disc.TrackAt(head).value));
  }
  return Answer(FormatPosition(head, session_.format, disc));
}

uint32_t Command::Set() {
  if (flags_.CountOf({Flag::SetTimeFormat, Flag::DoorOpen, Flag::DoorClosed}) == 0) {
    return kMciErrMissingParameter;
  }
  if (flags_.Has(Flag::DoorOpen) && flags_.Has(Flag::DoorClosed)) {
    return kMciErrFlagsNotCompatible;
  }
  if (flags_.Has(Flag::SetTimeFormat)) {
    const std::string format = LowerCase(flags_.Value(Flag::SetTimeFormat));
    if (format == "msf") {
      session_.format = TimeFormat::Msf;
    } else if (format == "tmsf") {
      session_.format = TimeFormat::Tmsf;
    } else if (format == "milliseconds" || format == "ms") {
      session_.format = TimeFormat::Milliseconds;
    } else {
      return kMciErrBadTimeFormat;
    }
  }
  if (flags_.Has(Flag::DoorOpen) || flags_.Has(Flag::DoorClosed)) {
    const auto tray = flags_.Has(Flag::DoorOpen) ? cdaudio::Tray::Open : cdaudio::Tray::Closed;
    return ErrorOf(drive_.SetTray(tray).error);
  }
  return 0;
}

uint32_t Command::Play() {
  std::optional<Place> from;
  std::optional<Place> to;
  if (flags_.Has(Flag::From) && !(from = ParsePlace(flags_.Value(Flag::From), session_.format))) {
    return kMciErrBadInteger;
  }
  if (flags_.Has(Flag::To) && !(to = ParsePlace(flags_.Value(Flag::To), session_.format))) {
    return kMciErrBadInteger;
  }
  const auto toc = drive_.ReadToc();
  if (const uint32_t error = ReadableToc(toc); error != 0) {
    return error;
  }
  Frames start;
  if (from) {
    const auto place = Locate(*from, session_.format, toc.value);
    if (!place) {
      return kMciErrOutOfRange;
    }
    start = *place;
  } else {
    const auto position = drive_.Position();
    if (!position.ok()) {
      return ErrorOf(position.error);
    }
    start = position.value;
  }
  Frames end = toc.value.LeadOut();
  if (to) {
    const auto place = Locate(*to, session_.format, toc.value);
    if (!place) {
      return kMciErrOutOfRange;
    }
    end = *place;
  }
  if (start < toc.value.Start(TrackNumber{1}) || end < start || end > toc.value.LeadOut()) {
    return kMciErrOutOfRange;
  }
  return ErrorOf(drive_.Play(start, end).error);
}

uint32_t Command::Seek() {
  const int targets = flags_.CountOf({Flag::ToStart, Flag::ToEnd, Flag::To});
  if (targets == 0) {
    return kMciErrMissingParameter;
  }
  if (targets > 1) {
    return kMciErrFlagsNotCompatible;
  }
  std::optional<Place> to;
  if (flags_.Has(Flag::To) && !(to = ParsePlace(flags_.Value(Flag::To), session_.format))) {
    return kMciErrBadInteger;
  }
  const auto toc = drive_.ReadToc();
  if (const uint32_t error = ReadableToc(toc); error != 0) {
    return error;
  }
  // "to start" goes to the music: past a data track that opens a mixed-mode disc.
  const TrackNumber firstAudio = toc.value.FirstAudioTrack();
  Frames target = toc.value.Start(firstAudio.value == 0 ? TrackNumber{1} : firstAudio);
  if (flags_.Has(Flag::ToEnd)) {
    target = toc.value.LeadOut();
  } else if (to) {
    const auto place = Locate(*to, session_.format, toc.value);
    if (!place || *place < toc.value.Start(TrackNumber{1}) || *place > toc.value.LeadOut()) {
      return kMciErrOutOfRange;
    }
    target = *place;
  }
  return ErrorOf(drive_.Seek(target).error);
}

uint32_t Command::Capability() {
  const int items = flags_.CountOf({Flag::CanEject, Flag::CanPlay, Flag::CanRecord, Flag::CanSave,
                                    Flag::CompoundDevice, Flag::DeviceType, Flag::HasAudio,
                                    Flag::HasVideo, Flag::UsesFiles});
  if (items == 0) {
    return kMciErrMissingParameter;
  }
  if (items > 1) {
    return kMciErrFlagsNotCompatible;
  }
  if (flags_.Has(Flag::CanEject)) {
    const auto can = drive_.CanEject();
    if (!can.ok()) {
      return ErrorOf(can.error);
    }
    return Answer(can.value ? "true" : "false");
  }
  if (flags_.Has(Flag::DeviceType)) {
    return Answer("cdaudio");
  }
  const bool yes = flags_.Has(Flag::CanPlay) || flags_.Has(Flag::HasAudio);
  return Answer(yes ? "true" : "false");
}

// A command string taken apart: what it asks of which device.
struct Request {
  std::optional<Verb> verb;
  std::string name;  // lower case
  Flags flags;
};

uint32_t ParseRequest(std::string_view command, Request& request) {
  std::vector<Token> tokens;
  if (const uint32_t error = Tokenize(command, tokens); error != 0) {
    return error;
  }
  if (tokens.empty()) {
    return kMciErrMissingCommandString;
  }
  request.verb = VerbOf(tokens[0].word);
  if (!request.verb) {
    return kMciErrUnrecognizedCommand;
  }
  if (tokens.size() < 2) {
    return kMciErrMissingDeviceName;
  }
  request.name = tokens[1].word;
  return ParseFlags(*request.verb, tokens, 2, request.flags);
}

// The same verb and keywords with the same values, whatever the device's name; "wait" and
// "notify" change nothing about the answer.
bool SameRequest(const Request& a, const Request& b) {
  if (a.verb != b.verb) {
    return false;
  }
  for (size_t i = 0; i < static_cast<size_t>(Flag::Count); ++i) {
    const auto flag = static_cast<Flag>(i);
    if (flag == Flag::Wait || flag == Flag::Notify) {
      continue;
    }
    if (a.flags.Has(flag) != b.flags.Has(flag) ||
        LowerCase(a.flags.Value(flag)) != LowerCase(b.flags.Value(flag))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsDeviceCommand(std::string_view command, std::string* why) {
  auto fail = [why](std::string reason) {
    if (why != nullptr) {
      *why = std::move(reason);
    }
    return false;
  };
  Request request;
  const uint32_t error = ParseRequest(command, request);
  if (error == kMciErrMissingCommandString) {
    return fail("the command is empty");
  }
  if (error == kMciErrUnrecognizedCommand) {
    return fail("unknown verb in \"" + std::string(command) + "\"");
  }
  if (error == kMciErrMissingDeviceName || (error == 0 && request.name != "cdaudio")) {
    return fail("\"" + std::string(command) + "\" does not name the device cdaudio");
  }
  if (error != 0) {
    return fail("\"" + std::string(command) + "\" is not a command the device takes (error " +
                std::to_string(error) + ")");
  }
  return true;
}

bool SameDeviceRequest(std::string_view a, std::string_view b) {
  Request first;
  Request second;
  return ParseRequest(a, first) == 0 && ParseRequest(b, second) == 0 && SameRequest(first, second);
}

CommandDevice::CommandDevice(std::unique_ptr<cdaudio::CdDrive> drive) : drive_(std::move(drive)) {}

cdaudio::DiscNames CommandDevice::DiscNames() {
  cdaudio::DriveResult<cdaudio::DiscNames> names = drive_->Names();
  return names.ok() ? std::move(names.value) : cdaudio::DiscNames{};
}

uint32_t CommandDevice::Send(std::string_view command, std::string& reply) {
  reply.clear();
  const uint32_t error = Execute(command, reply);
  if (error != 0) {
    reply.clear();
  }
  log_.Record(command, error, reply);
  return error;
}

uint32_t CommandDevice::SendString(const char* command, char* reply, uint32_t replySize,
                                   void* /*callback: there is no window to notify*/) {
  if (reply != nullptr && replySize > 0) {
    reply[0] = '\0';
  }
  std::string text;
  uint32_t error = command == nullptr ? kMciErrMissingCommandString : Execute(command, text);
  if (error != 0) {
    text.clear();
  }
  if (reply != nullptr && replySize > 0) {
    const size_t fits = std::min<size_t>(text.size(), replySize - 1);
    std::memcpy(reply, text.data(), fits);
    reply[fits] = '\0';
    if (fits < text.size()) {
      error = kMciErrParamOverflow;
    }
  }
  log_.Record(command == nullptr ? "" : command, error, text);
  return error;
}

uint32_t CommandDevice::Execute(std::string_view command, std::string& reply) {
  Request request;
  if (const uint32_t error = ParseRequest(command, request); error != 0) {
    return error;
  }
  const std::optional<Verb> verb = request.verb;
  const std::string& name = request.name;
  const Flags& flags = request.flags;
  auto named = std::find_if(sessions_.begin(), sessions_.end(),
                            [&name](const Session& s) { return s.alias == name; });

  if (name == "cdaudio" || named != sessions_.end()) {
    for (const cdaudio::InjectedFailure& failure : drive_->InjectedFailures()) {
      Request injected;
      if (failure.error != 0 && ParseRequest(failure.command, injected) == 0 &&
          SameRequest(injected, request)) {
        return failure.error;
      }
    }
  }

  if (*verb == Verb::Open) {
    if (name != "cdaudio") {
      return kMciErrInvalidDeviceName;
    }
    const std::string alias = flags.Has(Flag::Alias) ? LowerCase(flags.Value(Flag::Alias)) : name;
    if (std::any_of(sessions_.begin(), sessions_.end(),
                    [&alias](const Session& s) { return s.alias == alias; })) {
      return flags.Has(Flag::Alias) ? kMciErrDuplicateAlias : kMciErrDeviceOpen;
    }
    const bool shareable = flags.Has(Flag::Shareable);
    if (!sessions_.empty() &&
        (!shareable || std::any_of(sessions_.begin(), sessions_.end(),
                                   [](const Session& s) { return !s.shareable; }))) {
      return kMciErrMustUseShareable;
    }
    const auto connected = drive_->Connected();
    if (connected.error == DriveError::Unplugged) {
      return kMciErrCannotLoadDriver;
    }
    if (!connected.ok()) {
      return ErrorOf(connected.error);
    }
    uint32_t id = 1;
    while (std::any_of(sessions_.begin(), sessions_.end(),
                       [id](const Session& s) { return s.id == id; })) {
      ++id;
    }
    sessions_.push_back(Session{alias, id, shareable, TimeFormat::Msf});
    reply = std::to_string(id);
    return 0;
  }

  if (*verb == Verb::Close) {
    if (name == "all") {
      sessions_.clear();
      return 0;
    }
    if (named == sessions_.end()) {
      return kMciErrInvalidDeviceName;
    }
    sessions_.erase(named);
    return 0;
  }

  // A command for a device that is not open opens it just for this command.
  Session passing;
  Session* session = named != sessions_.end() ? &*named : nullptr;
  if (session == nullptr) {
    if (name != "cdaudio") {
      return kMciErrInvalidDeviceName;
    }
    const auto connected = drive_->Connected();
    if (connected.error == DriveError::Unplugged) {
      return kMciErrCannotLoadDriver;
    }
    if (!connected.ok()) {
      return ErrorOf(connected.error);
    }
    session = &passing;
  }

  Command run(*drive_, *session, flags, reply);
  switch (*verb) {
    case Verb::Status:
      return run.Status();
    case Verb::Set:
      return run.Set();
    case Verb::Play:
      return run.Play();
    case Verb::Pause:
      return run.Pause();
    case Verb::Stop:
      return run.Stop();
    case Verb::Seek:
      return run.Seek();
    case Verb::Capability:
      return run.Capability();
    case Verb::Open:
    case Verb::Close:
      break;
  }
  return kMciErrUnrecognizedCommand;
}

namespace {

std::unique_ptr<CommandDevice>& Installed() {
  static std::unique_ptr<CommandDevice> device;
  return device;
}

}  // namespace

CommandDevice& InstalledCommandDevice() {
  auto& device = Installed();
  if (!device) {
    device = std::make_unique<CommandDevice>(
        std::make_unique<cdaudio::VirtualDrive>(cdaudio::DefaultDriveDirectory()));
  }
  return *device;
}

std::unique_ptr<CommandDevice> InstallCommandDevice(std::unique_ptr<CommandDevice> device) {
  std::swap(Installed(), device);
  return device;
}

uint32_t mciSendStringA(const char* command, char* reply, uint32_t replySize, void* callback) {
  return InstalledCommandDevice().SendString(command, reply, replySize, callback);
}

}  // namespace vantora::platform
