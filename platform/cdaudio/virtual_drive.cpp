// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual drive: a CD drive whose tray, disc and play head live in a directory, so that the
// player and the user's hand (vantora-drive) can be two processes.
#include "platform/cdaudio/virtual_drive.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/audio/demo_music.h"
#include "platform/audio/sound_file.h"
#include "platform/audio/sound_output.h"
#include "platform/cdaudio/play_head.h"

namespace vantora::platform::cdaudio {

struct VirtualDrive::Now {
  DriveState state;
  DriveView view;
};

namespace {

DriveStatus Ok() {
  return DriveStatus::Ok({});
}

// What a command needs before it can touch the disc.
DriveError Readiness(const DriveView& view) {
  if (!view.plugged) {
    return DriveError::Unplugged;
  }
  return view.Ready() ? DriveError::None : DriveError::NotReady;
}

const char* NotReadyReason(const DriveView& view) {
  if (!view.plugged) {
    return "the drive is unplugged";
  }
  if (view.tray == Tray::Open) {
    return "the tray is open";
  }
  if (!view.hasDisc) {
    return "there is no disc";
  }
  return "the disc is spinning up";
}

// What a command needs before it can read the disc: a ready drive, and tracks to read.
DriveStatus Readable(const DriveState& state, const DriveView& view) {
  if (const DriveError error = Readiness(view); error != DriveError::None) {
    return DriveStatus::Fail(error, NotReadyReason(view));
  }
  if (state.disc->toc.TrackCount() == 0) {
    return DriveStatus::Fail(DriveError::Hardware, "the disc is blank");
  }
  return Ok();
}

// A closed tray with a disc in starts spinning.
void SpinUp(DriveState& state, ClockTime now) {
  if (state.disc && state.tray == Tray::Closed) {
    state.readyAt = now + kSpinUpTime;
    const Toc& toc = state.disc->toc;
    RestHead(state, toc.TrackCount() == 0 ? Frames{0} : toc.Start(TrackNumber{1}), now);
  }
}

// Opening the tray lifts the head off the disc; closing it on a disc spins the disc up.
void MoveTrayTo(DriveState& state, Tray tray) {
  if (state.tray == tray) {
    return;
  }
  state.tray = tray;
  const ClockTime now = CurrentClock().Now();
  if (tray == Tray::Open) {
    RestHead(state, Frames{0}, now);
  } else {
    SpinUp(state, now);
  }
}

// Blanks and control characters as one blank: a failure's command stays one line of the state.
std::string OneLine(std::string_view command) {
  std::string line;
  for (const char c : command) {
    const bool blank = static_cast<unsigned char>(c) <= ' ';
    if (!blank) {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  if (!line.empty() && line.back() == ' ') {
    line.pop_back();
  }
  return line;
}

}  // namespace

DriveStatus VirtualDrive::Present() const {
  namespace fs = std::filesystem;
  const fs::path& directory = store_.Directory();
  std::error_code ec;
  fs::file_status status = fs::status(directory, ec);
  if (status.type() == fs::file_type::not_found && missing_ == MissingDrive::Absent) {
    return DriveStatus::Fail(DriveError::Unplugged, directory.string() + ": no such directory");
  }
  // The nearest part of the path that exists must be a directory, or no drive can ever be there.
  for (fs::path part = directory; !part.empty(); part = part.parent_path()) {
    if (part != directory) {
      status = fs::status(part, ec);
    }
    if (status.type() != fs::file_type::not_found) {
      if (fs::exists(status) && !fs::is_directory(status)) {
        return DriveStatus::Fail(DriveError::Unplugged, part.string() + " is not a directory");
      }
      break;
    }
    if (part == part.parent_path()) {
      break;
    }
  }
  return Ok();
}

DriveResult<VirtualDrive::Now> VirtualDrive::Look() {
  if (const DriveStatus present = Present(); !present.ok()) {
    return DriveResult<Now>::Fail(present.error, present.detail);
  }
  StateReading reading = store_.Read();
  if (!reading.state) {
    return DriveResult<Now>::Fail(DriveError::Damaged, reading.error);
  }
  const Clock& clock = CurrentClock();
  DriveView view = Observe(*reading.state, clock.Now(), clock.Domain());
  return DriveResult<Now>::Ok(Now{std::move(*reading.state), view});
}

DriveStatus VirtualDrive::Change(
    const std::function<DriveStatus(DriveState&, const DriveView&)>& change) {
  if (const DriveStatus present = Present(); !present.ok()) {
    return present;
  }
  return store_.Update([&change](DriveState& state) {
    const Clock& clock = CurrentClock();
    const ClockTime now = clock.Now();
    const DriveView view = Observe(state, now, clock.Domain());
    SettleHead(state, view, now, clock.Domain());
    return change(state, view);
  });
}

DriveStatus VirtualDrive::Connected() {
  auto now = Look();
  if (!now.ok()) {
    return DriveStatus::Fail(now.error, now.detail);
  }
  return now.value.view.plugged
             ? Ok()
             : DriveStatus::Fail(DriveError::Unplugged, "the drive is unplugged");
}

DriveResult<bool> VirtualDrive::CanEject() {
  auto now = Look();
  if (!now.ok()) {
    return DriveResult<bool>::Fail(now.error, now.detail);
  }
  if (!now.value.view.plugged) {
    return DriveResult<bool>::Fail(DriveError::Unplugged, "the drive is unplugged");
  }
  return DriveResult<bool>::Ok(now.value.state.canEject);
}

DriveResult<DriveMode> VirtualDrive::Mode() {
  auto now = Look();
  if (!now.ok()) {
    return DriveResult<DriveMode>::Fail(now.error, now.detail);
  }
  const DriveView& view = now.value.view;
  if (!view.plugged) {
    return DriveResult<DriveMode>::Fail(DriveError::Unplugged, "the drive is unplugged");
  }
  return DriveResult<DriveMode>::Ok(ModeOf(view));
}

DriveResult<bool> VirtualDrive::MediaPresent() {
  auto now = Look();
  if (!now.ok()) {
    return DriveResult<bool>::Fail(now.error, now.detail);
  }
  const DriveView& view = now.value.view;
  if (!view.plugged) {
    return DriveResult<bool>::Fail(DriveError::Unplugged, "the drive is unplugged");
  }
  return DriveResult<bool>::Ok(view.tray == Tray::Closed && view.hasDisc);
}

DriveResult<Toc> VirtualDrive::ReadToc() {
  auto now = Look();
  if (!now.ok()) {
    return DriveResult<Toc>::Fail(now.error, now.detail);
  }
  if (const DriveStatus readable = Readable(now.value.state, now.value.view); !readable.ok()) {
    return DriveResult<Toc>::Fail(readable.error, readable.detail);
  }
  return DriveResult<Toc>::Ok(now.value.state.disc->toc);
}

DriveResult<Frames> VirtualDrive::Position() {
  auto now = Look();
  if (!now.ok()) {
    return DriveResult<Frames>::Fail(now.error, now.detail);
  }
  if (const DriveStatus readable = Readable(now.value.state, now.value.view); !readable.ok()) {
    return DriveResult<Frames>::Fail(readable.error, readable.detail);
  }
  return DriveResult<Frames>::Ok(now.value.view.position);
}

DriveStatus VirtualDrive::Play(Frames from, Frames to) {
  return Change([from, to](DriveState& state, const DriveView& view) {
    if (const DriveStatus readable = Readable(state, view); !readable.ok()) {
      return readable;
    }
    return StartPlay(state, from, to, CurrentClock().Now());
  });
}

DriveStatus VirtualDrive::Pause() {
  return Change([](DriveState& state, const DriveView& view) {
    if (const DriveError error = Readiness(view); error != DriveError::None) {
      return DriveStatus::Fail(error, NotReadyReason(view));
    }
    if (state.head == Head::Playing) {
      state.head = Head::Paused;
    }
    return Ok();
  });
}

VirtualDrive::~VirtualDrive() {
  if (held_ >= 0) {
    ::close(held_);
  }
}

void VirtualDrive::Hold() {
  if (held_ >= 0) {
    return;
  }
  const std::string path = (store_.Directory() / "players").string();
  held_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  // A player that is ending holds it alone for a moment.
  int result;
  do {
    result = held_ >= 0 ? ::flock(held_, LOCK_SH) : 0;
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(held_);
    held_ = -1;
  }
}

bool VirtualDrive::HeldElsewhere() {
  int fd = held_;
  if (fd < 0) {
    const std::string path = (store_.Directory() / "players").string();
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      return false;  // no player has ever held this drive
    }
  }
  // Another holder's shared lock keeps this one from becoming exclusive.
  const bool elsewhere = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (fd != held_) {
    ::close(fd);
  } else if (!elsewhere) {
    ::flock(fd, LOCK_SH);  // held as before, so that other players still see this one
  }
  return elsewhere;
}

DriveStatus VirtualDrive::Stop() {
  return Change([](DriveState& state, const DriveView& view) {
    if (const DriveError error = Readiness(view); error != DriveError::None) {
      return DriveStatus::Fail(error, NotReadyReason(view));
    }
    state.head = Head::Stopped;
    return Ok();
  });
}

DriveStatus VirtualDrive::Seek(Frames to) {
  return Change([to](DriveState& state, const DriveView& view) {
    if (const DriveStatus readable = Readable(state, view); !readable.ok()) {
      return readable;
    }
    return SeekHead(state, to, CurrentClock().Now());
  });
}

DriveStatus VirtualDrive::SetTray(Tray tray) {
  return Change([tray](DriveState& state, const DriveView& view) {
    if (!view.plugged) {
      return DriveStatus::Fail(DriveError::Unplugged, "the drive is unplugged");
    }
    if (!state.canEject) {
      return DriveStatus::Fail(DriveError::Unsupported, "this drive cannot move its tray");
    }
    MoveTrayTo(state, tray);
    return Ok();
  });
}

DriveResult<DiscNames> VirtualDrive::Names() {
  auto now = Look();
  if (!now.ok()) {
    return DriveResult<DiscNames>::Fail(now.error, now.detail);
  }
  const DriveView& view = now.value.view;
  if (!view.plugged) {
    return DriveResult<DiscNames>::Fail(DriveError::Unplugged, "the drive is unplugged");
  }
  if (view.tray == Tray::Open || !view.hasDisc) {
    return DriveResult<DiscNames>::Ok({});
  }
  if (view.spinningUp) {
    return DriveResult<DiscNames>::Fail(DriveError::NotReady, NotReadyReason(view));
  }
  return DriveResult<DiscNames>::Ok(NamesOf(*now.value.state.disc));
}

std::vector<InjectedFailure> VirtualDrive::InjectedFailures() {
  auto now = Look();
  return now.ok() ? std::move(now.value.state.failures) : std::vector<InjectedFailure>{};
}

std::shared_ptr<audio::DiscAudio> VirtualDrive::Audio() {
  auto now = Look();
  const std::optional<Disc>& disc = now.value.state.disc;
  if (!now.ok() || !disc || !disc->sound) {
    soundOf_.reset();
    sound_.reset();
    return nullptr;
  }
  if (soundOf_ != disc->sound) {
    soundOf_ = disc->sound;
    std::vector<audio::SoundFileSpec> files;
    for (const SoundSource& source : soundOf_->sources) {
      files.push_back(audio::SoundFileSpec{
          source.file, source.format == SoundFormat::RawLittle ? audio::Samples::RawLittle
                       : source.format == SoundFormat::RawBig  ? audio::Samples::RawBig
                                                               : audio::Samples::Detect});
    }
    std::vector<audio::Placement> placements;
    for (const SoundStretch& stretch : soundOf_->stretches) {
      placements.push_back(audio::Placement{stretch.disc.count * audio::kSamplesPerDiscFrame,
                                            stretch.file.count * audio::kSamplesPerDiscFrame,
                                            stretch.source});
    }
    std::string why;
    sound_ = audio::OpenDiscSound(files, std::move(placements), &why);
    if (!why.empty()) {
      std::fprintf(stderr, "vantora: the disc plays %s: %s\n", sound_ ? "in part" : "silently",
                   why.c_str());
    }
  }
  return sound_;
}

DriveStatus VirtualDrive::Insert(Disc disc, Arrival arrival) {
  return Change([&disc, arrival](DriveState& state, const DriveView&) {
    state.disc = std::move(disc);
    state.tray = Tray::Closed;
    const ClockTime now = CurrentClock().Now();
    SpinUp(state, now);
    if (arrival == Arrival::Ready) {
      state.readyAt = now;
    }
    return Ok();
  });
}

DriveStatus VirtualDrive::Remove() {
  return Change([](DriveState& state, const DriveView&) {
    state.disc.reset();
    RestHead(state, Frames{0}, CurrentClock().Now());
    return Ok();
  });
}

DriveStatus VirtualDrive::MoveTray(Tray tray) {
  return Change([tray](DriveState& state, const DriveView&) {
    MoveTrayTo(state, tray);
    return Ok();
  });
}

DriveStatus VirtualDrive::SetPlugged(bool plugged) {
  return Change([plugged](DriveState& state, const DriveView&) {
    if (state.plugged == plugged) {
      return Ok();
    }
    state.plugged = plugged;
    const ClockTime now = CurrentClock().Now();
    if (plugged) {
      SpinUp(state, now);
    } else if (state.head != Head::Stopped) {
      RestHead(state, state.position, now);
    }
    return Ok();
  });
}

DriveStatus VirtualDrive::SetCanEject(bool canEject) {
  return Change([canEject](DriveState& state, const DriveView&) {
    state.canEject = canEject;
    return Ok();
  });
}

DriveStatus VirtualDrive::InjectFailure(std::string_view command, uint32_t error) {
  const std::string line = OneLine(command);
  return Change([&line, error](DriveState& state, const DriveView&) {
    if (line.empty() || line.size() > kLongestFailedCommand || error == 0) {
      return DriveStatus::Fail(DriveError::OutOfRange, "a failure needs a command of at most " +
                                                           std::to_string(kLongestFailedCommand) +
                                                           " characters and an error number");
    }
    auto& failures = state.failures;
    std::erase_if(failures, [&line](const InjectedFailure& f) { return f.command == line; });
    if (failures.size() == kMostFailures) {
      return DriveStatus::Fail(DriveError::OutOfRange,
                               "at most " + std::to_string(kMostFailures) + " commands can fail");
    }
    failures.push_back(InjectedFailure{line, error});
    return Ok();
  });
}

DriveStatus VirtualDrive::ClearFailures(const std::function<bool(const InjectedFailure&)>& which) {
  return Change([&which](DriveState& state, const DriveView&) {
    std::erase_if(state.failures, which);
    return Ok();
  });
}

DriveStatus VirtualDrive::Reset() {
  if (const DriveStatus present = Present(); !present.ok()) {
    return present;
  }
  const Clock& clock = CurrentClock();
  DriveState fresh;
  fresh.clockDomain = std::string(clock.Domain());
  fresh.moment = clock.Now();
  fresh.readyAt = fresh.moment;
  return store_.Replace(fresh);
}

namespace {

Frames DiscFramesOf(int64_t samples) {
  return Frames{static_cast<int32_t>(
      std::min<int64_t>((samples + audio::kSamplesPerDiscFrame - 1) / audio::kSamplesPerDiscFrame,
                        kLatestFrame.count + 1))};
}

// A raw image's file, which no format names: its length in frames of `sectorBytes`.
AudioFileFacts ProbeRawFile(const CueFile& file) {
  std::error_code ec;
  const auto status = std::filesystem::status(file.path, ec);
  if (!std::filesystem::exists(status)) {
    return AudioFileFacts{{}, "no such file"};
  }
  const auto size = std::filesystem::file_size(file.path, ec);
  if (!std::filesystem::is_regular_file(status) || ec) {
    return AudioFileFacts{{}, "not a file"};
  }
  const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return AudioFileFacts{{}, std::strerror(errno)};
  }
  ::close(fd);
  if (size == 0) {
    return AudioFileFacts{{}, "holds nothing"};
  }
  const auto sectors = (size + static_cast<uintmax_t>(file.sectorBytes) - 1) /
                       static_cast<uintmax_t>(file.sectorBytes);
  if (sectors > static_cast<uintmax_t>(kLatestFrame.count)) {
    return AudioFileFacts{{}, "lasts longer than 99:59:74"};
  }
  return AudioFileFacts{Frames{static_cast<int32_t>(sectors)},
                        {},
                        file.bigEndian ? SoundFormat::RawBig : SoundFormat::RawLittle};
}

// A sheet's FILE as a disc plays it: a sound file, or raw sectors where the sheet says BINARY
// and the file has no format libsndfile knows.
AudioFileFacts ProbeFoundFile(const CueFile& file) {
  const audio::SoundFileFacts facts = audio::ProbeSoundFile(file.path);
  if (file.raw && !facts.recognised) {
    return ProbeRawFile(file);
  }
  if (!facts.ok()) {
    return AudioFileFacts{{}, facts.error};
  }
  const Frames length = DiscFramesOf(facts.frames);
  if (length > kLatestFrame - kStandardPregap) {
    return AudioFileFacts{{}, "lasts longer than 99:59:74"};
  }
  return AudioFileFacts{length, {}};
}

AudioFileFacts ProbeCueFile(const CueFile& named) {
  CueFile file = named;
  file.path = FindCueFile(named);
  AudioFileFacts read = ProbeFoundFile(file);
  read.found = file.path;
  return read;
}

}  // namespace

bool IsSoundFileName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static constexpr std::string_view kSound[] = {".flac", ".wav", ".wave", ".aiff", ".aif",
                                                ".aifc", ".ogg", ".oga",  ".opus", ".mp3",
                                                ".w64",  ".caf", ".au"};
  return std::find(std::begin(kSound), std::end(kSound), extension) != std::end(kSound);
}

DiscReading ReadSoundFilesDisc(const std::vector<std::filesystem::path>& files) {
  if (files.empty() || files.size() > static_cast<size_t>(kMaxTracks)) {
    return DiscReading{std::nullopt, "a disc holds 1 to 99 sound files"};
  }
  DiscSound sound;
  std::vector<Frames> starts;
  Frames next = kStandardPregap;
  std::string album;
  for (const std::filesystem::path& path : files) {
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::absolute(path, ec).lexically_normal();
    const audio::SoundFileFacts facts = audio::ProbeSoundFile(file);
    if (!facts.ok()) {
      return DiscReading{std::nullopt, path.string() + ": " + facts.error};
    }
    const Frames length = DiscFramesOf(facts.frames);
    if (length > kLatestFrame - next) {
      return DiscReading{std::nullopt, path.string() + ": the disc would last past 99:59:74"};
    }
    starts.push_back(next);
    // A file alone is a disc of the tracks its own cue points mark.
    for (const int64_t cue : files.size() == 1 ? facts.cues : std::vector<int64_t>{}) {
      const Frames start = next + Frames{static_cast<int32_t>(cue / audio::kSamplesPerDiscFrame)};
      if (start > starts.back() && starts.size() < static_cast<size_t>(kMaxTracks)) {
        starts.push_back(start);
      }
    }
    sound.stretches.push_back(
        SoundStretch{next, Frames{0}, static_cast<int32_t>(sound.sources.size())});
    sound.sources.push_back(SoundSource{file.string()});
    album = album.empty() ? facts.title : album;
    next = next + length;
  }
  if (album.empty()) {
    album = files.size() == 1
                ? files.front().stem().string()
                : std::filesystem::absolute(files.front()).parent_path().filename().string();
  }
  auto toc = Toc::Make(std::move(starts), next);
  if (!toc) {
    return DiscReading{std::nullopt, files.front().string() + ": its cue points make no disc"};
  }
  Disc disc{std::move(album), std::move(*toc)};
  disc.sound = std::move(sound);
  return DiscReading{std::move(disc), {}};
}

DiscReading ReadDiscImage(const std::filesystem::path& path) {
  if (IsSoundFileName(path)) {
    return ReadSoundFilesDisc({path});
  }
  return ReadDiscFile(path, ProbeCueFile);
}

namespace {

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : nullptr;
}

// The user's data directory's "vantora" folder.
std::filesystem::path DataDirectory() {
  if (const char* xdg = Env("XDG_DATA_HOME")) {
    return std::filesystem::path(xdg) / "vantora";
  }
  if (const char* home = Env("HOME")) {
    return std::filesystem::path(home) / ".local" / "share" / "vantora";
  }
  return std::filesystem::path(".local") / "share" / "vantora";
}

}  // namespace

std::filesystem::path DefaultDriveDirectory() {
  if (const char* dir = Env("VANTORA_DRIVE")) {
    return dir;
  }
  return DataDirectory() / "drive";
}

std::filesystem::path DemoMusicDirectory() {
  return DataDirectory() / "demo";
}

Disc AudibleDemoDisc() {
  const std::filesystem::path directory = DemoMusicDirectory();
  DiscReading reading = ReadDiscImage(directory / "demo.cue");
  if (!reading.disc) {
    std::string why;
    const std::filesystem::path sheet = audio::WriteDemoDisc(directory, &why);
    reading = sheet.empty() ? DiscReading{std::nullopt, why} : ReadDiscImage(sheet);
  }
  if (!reading.disc) {
    std::fprintf(stderr, "vantora: the demo disc is silent: %s\n", reading.error.c_str());
    return DemoDisc();
  }
  return std::move(*reading.disc);
}

DriveStatus EnsureDefaultDrive(const std::filesystem::path& directory) {
  if (const DriveStatus present = VirtualDrive(directory).Present(); !present.ok()) {
    return present;
  }
  DriveStore store(directory);
  if (store.Exists()) {
    const StateReading reading = store.Read();
    return reading.state ? Ok() : DriveStatus::Fail(DriveError::Damaged, reading.error);
  }
  // Made before the drive is locked: writing the music takes a moment.
  Disc demo = AudibleDemoDisc();
  return store.Update([&demo](DriveState& state) {
    // Only a drive that is still missing gets the demo disc; a second process may have won.
    if (!state.clockDomain.empty()) {
      return Ok();
    }
    const Clock& clock = CurrentClock();
    state.clockDomain = std::string(clock.Domain());
    state.disc = std::move(demo);
    RestHead(state, state.disc->toc.Start(TrackNumber{1}), clock.Now());
    state.readyAt = state.moment;
    return Ok();
  });
}

DriveStatus EnsureNamedDrive(const std::filesystem::path& directory) {
  std::error_code ec;
  if (std::filesystem::status(directory, ec).type() == std::filesystem::file_type::not_found) {
    return DriveStatus::Fail(DriveError::Unplugged, directory.string() + ": no such directory");
  }
  return EnsureDefaultDrive(directory);
}

}  // namespace vantora::platform::cdaudio
