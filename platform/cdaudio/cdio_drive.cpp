// SPDX-License-Identifier: GPL-3.0-or-later
// A CD drive that libcdio reaches: a real drive such as /dev/sr0, or a CD image libcdio reads
// (BIN/CUE, cdrdao TOC, NRG), which stands for a drive with that disc in and a tray that stays
// shut.
#include "platform/cdaudio/cdio_drive.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/cdaudio/cdio_audio.h"
#include "platform/cdaudio/drive_state.h"
#include "platform/cdaudio/play_head.h"

namespace vantora::platform::cdaudio {
namespace {

struct CdioCloser {
  void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
using CdioHandle = std::unique_ptr<CdIo_t, CdioCloser>;

CdioHandle OpenCdio(const std::filesystem::path& source, std::string& why) {
  QuietLibcdio();
  ForgetLibcdioMessage();
  CdioHandle cdio(cdio_open(source.c_str(), DRIVER_UNKNOWN));
  if (!cdio) {
    const std::string& message = LibcdioMessage();
    why = source.string() + ": not a CD drive or an image libcdio reads" +
          (message.empty() ? std::string() : " (" + message + ")");
  }
  return cdio;
}

// The disc's table of contents as libcdio reads it, its tracks numbered from 1 whatever numbers
// the disc gives them. NotReady when the table cannot be read.
DriveResult<Toc> ReadTable(CdIo_t* cdio) {
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK) {
    return DriveResult<Toc>::Fail(DriveError::NotReady, "the table of contents cannot be read");
  }
  if (count == 0) {
    return DriveResult<Toc>::Ok(Toc{});
  }
  std::vector<Frames> starts;
  for (int32_t i = 0; i < count && i < kMaxTracks + 1; ++i) {
    const lsn_t lsn = cdio_get_track_lsn(cdio, static_cast<track_t>(first + i));
    if (lsn == CDIO_INVALID_LSN) {
      return DriveResult<Toc>::Fail(DriveError::NotReady, "a track's start cannot be read");
    }
    starts.push_back(Frames{lsn + kFirstSectorFrame});
  }
  const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  std::string why;
  std::optional<Toc> toc;
  if (leadOut != CDIO_INVALID_LSN) {
    toc = Toc::Make(std::move(starts), Frames{leadOut + kFirstSectorFrame}, &why);
  }
  if (!toc) {
    return DriveResult<Toc>::Fail(DriveError::Hardware, "the table of contents is damaged: " + why);
  }
  for (int32_t t = 1; t <= toc->TrackCount(); ++t) {
    if (cdio_get_track_format(cdio, static_cast<track_t>(first + t - 1)) != TRACK_FORMAT_AUDIO) {
      toc->SetKind(TrackNumber{t}, TrackKind::Data);
    }
  }
  return DriveResult<Toc>::Ok(std::move(*toc));
}

// A CD-Text field as UTF-8. libcdio gives UTF-8, but reads an image's sheet as Latin-1, and discs
// burnt at home often hold UTF-8 under a Latin-1 label: text of Latin-1 characters only is taken
// back to its bytes and read as sheets are, UTF-8 when it is that, else Windows-1252.
std::string CdTextName(const char* field) {
  if (field == nullptr) {
    return {};
  }
  const std::string_view text(field);
  std::string bytes;
  for (size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      bytes += text[at];
      continue;
    }
    const auto next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
    if ((byte != 0xC2 && byte != 0xC3) || (next & 0xC0) != 0x80) {
      return DiscName(text);  // beyond Latin-1: libcdio decoded it by its label
    }
    bytes += static_cast<char>((byte & 0x03) << 6 | (next & 0x3F));
    ++at;
  }
  return DiscName(bytes);
}

// The disc's CD-Text in its first language, by the disc's own track numbers from `first`; empty
// names when it has none.
DiscNames ReadCdText(CdIo_t* cdio, track_t first, int32_t tracks) {
  DiscNames names;
  cdtext_t* text = cdio_get_cdtext(cdio);
  if (text == nullptr) {
    return names;
  }
  if (const cdtext_lang_t* languages = cdtext_list_languages_v2(text); languages != nullptr) {
    for (int i = 0; i < 8; ++i) {
      if (languages[i] != CDTEXT_LANGUAGE_BLOCK_UNUSED && languages[i] != CDTEXT_LANGUAGE_INVALID) {
        cdtext_set_language_index(text, i);
        break;
      }
    }
  }
  names.album = CdTextName(cdtext_get_const(text, CDTEXT_FIELD_TITLE, 0));
  names.artist = CdTextName(cdtext_get_const(text, CDTEXT_FIELD_PERFORMER, 0));
  for (int32_t t = 0; t < tracks; ++t) {
    const auto track = static_cast<track_t>(first + t);
    names.tracks.push_back(CdTextName(cdtext_get_const(text, CDTEXT_FIELD_TITLE, track)));
  }
  return names;
}

// The names of a disc whose table `toc` has just been read through `cdio`.
DiscNames ReadNames(CdIo_t* cdio, const Toc& toc) {
  const track_t first = cdio_get_first_track_num(cdio);
  if (first == CDIO_INVALID_TRACK || toc.TrackCount() == 0) {
    return {};
  }
  return ReadCdText(cdio, first, toc.TrackCount());
}

// What a file was when the disc was read from it; a different one is a different disc.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified = 0;  // nanoseconds

  bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> StampOf(const std::filesystem::path& file, std::string& why) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    why = file.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return FileStamp{info.st_dev, info.st_ino, info.st_size,
                   int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
}

// What a real drive says of its tray and disc.
enum class DriveReport { Gone, TrayOpen, NoDisc, DiscIn };

// Asks the drive itself, without waiting for a disc: one open and two requests, cheap enough for
// every look. `changed` tells whether the disc was changed since the last look.
DriveReport AskDrive(const std::filesystem::path& device, bool& changed, std::string& why) {
  const int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = device.string() + ": " + std::strerror(errno);
    return DriveReport::Gone;
  }
  const int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
  const int error = errno;
  changed = ::ioctl(fd, CDROM_MEDIA_CHANGED, CDSL_CURRENT) == 1;
  ::close(fd);
  if (status < 0 && (error == ENOTTY || error == EINVAL)) {
    why = device.string() + ": not a CD drive";
    return DriveReport::Gone;
  }
  switch (status) {
    case CDS_TRAY_OPEN:
      return DriveReport::TrayOpen;
    case CDS_NO_DISC:
    case CDS_DRIVE_NOT_READY:
      return DriveReport::NoDisc;
    default:  // a disc, or a drive that cannot tell: the table of contents decides
      return DriveReport::DiscIn;
  }
}

bool HasAudio(const Toc& toc) {
  for (int32_t t = 1; t <= toc.TrackCount(); ++t) {
    if (toc.Kind(TrackNumber{t}) == TrackKind::Audio) {
      return true;
    }
  }
  return false;
}

}  // namespace

struct CdioDrive::Impl {
  explicit Impl(std::filesystem::path from) : source(std::move(from)) {}

  // The drive as of now, after a look at the source when one is due.
  DriveView Now();
  void Look(ClockTime now, std::string_view domain);
  void LookAtImage(ClockTime now, std::string_view domain, bool again);
  void LookAtDevice(ClockTime now, std::string_view domain, bool again);
  // The disc in the drive is `toc`, named `names`; the same disc again keeps its head.
  void Found(Toc toc, DiscNames names, ClockTime now, std::string_view domain);
  // No disc can be read: the head is lifted and the sound let go.
  void DropDisc(ClockTime now, std::string why);
  // What a command that reads the disc needs: a ready drive with tracks.
  DriveStatus Readable(const DriveView& view) const;
  // Pauses (a playing head only) or stops the head where it is.
  DriveStatus Halt(Head head);

  const std::filesystem::path source;
  std::mutex mutex;
  // The tray, the disc's table and the head. `plugged` is false while the source is missing or
  // cannot be opened; `disc` is empty unless its table has been read.
  DriveState state;
  std::string why;  // why the drive is unplugged or its disc cannot be read
  bool device = false;
  // An image's files (the sheet and the sound it names) as they were when its table was read.
  std::vector<std::filesystem::path> files;
  std::vector<FileStamp> stamps;
  std::optional<ClockTime> lookedAt;
  std::string lookedDomain;
  std::shared_ptr<CdioDisc> disc;  // the disc in the drive, as its sound sees it
  std::shared_ptr<ParanoiaAudio> audio;
};

DriveView CdioDrive::Impl::Now() {
  const Clock& clock = CurrentClock();
  const ClockTime now = clock.Now();
  Look(now, clock.Domain());
  return Observe(state, now, clock.Domain());
}

void CdioDrive::Impl::Look(ClockTime now, std::string_view domain) {
  const bool failed = disc && disc->readFailed.exchange(false);
  if (!failed && lookedAt && lookedDomain == domain && now - *lookedAt < kCdioLookInterval) {
    return;
  }
  lookedAt = now;
  lookedDomain = std::string(domain);
  SettleHead(state, Observe(state, now, domain), now, domain);
  struct stat info {};
  if (::stat(source.c_str(), &info) != 0) {
    state.plugged = false;
    DropDisc(now, source.string() + ": " + std::strerror(errno));
    return;
  }
  device = S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode);
  if (!device && !S_ISREG(info.st_mode)) {
    state.plugged = false;
    DropDisc(now, source.string() + ": not a CD drive or a CD image");
    return;
  }
  if (device) {
    LookAtDevice(now, domain, failed);
  } else {
    LookAtImage(now, domain, failed);
  }
}

void CdioDrive::Impl::LookAtImage(ClockTime now, std::string_view domain, bool again) {
  state.tray = Tray::Closed;
  std::string reason;
  if (state.plugged && state.disc && !again) {
    bool same = true;
    for (size_t i = 0; i < files.size() && same; ++i) {
      const auto stamp = StampOf(files[i], reason);
      same = stamp && *stamp == stamps[i];
    }
    if (same) {
      return;
    }
  }
  const CdioHandle cdio = OpenCdio(source, reason);
  if (!cdio) {
    state.plugged = false;
    DropDisc(now, reason);
    return;
  }
  // A CUE sheet's sound lives in the file it names.
  files = {source};
  if (const char* data = cdio_get_arg(cdio.get(), "source"); data != nullptr && source != data) {
    files.emplace_back(data);
  }
  stamps.clear();
  for (const auto& file : files) {
    const auto stamp = StampOf(file, reason);
    if (!stamp) {
      state.plugged = false;
      DropDisc(now, reason);
      return;
    }
    stamps.push_back(*stamp);
  }
  state.plugged = true;
  DriveResult<Toc> toc = ReadTable(cdio.get());
  if (!toc.ok()) {
    DropDisc(now, source.string() + ": " + toc.detail);
    return;
  }
  DiscNames names = ReadNames(cdio.get(), toc.value);
  Found(std::move(toc.value), std::move(names), now, domain);
}

void CdioDrive::Impl::LookAtDevice(ClockTime now, std::string_view domain, bool again) {
  bool changed = false;
  std::string reason;
  const DriveReport report = AskDrive(source, changed, reason);
  state.plugged = report != DriveReport::Gone;
  state.tray = report == DriveReport::TrayOpen ? Tray::Open : Tray::Closed;
  switch (report) {
    case DriveReport::Gone:
      DropDisc(now, reason);
      return;
    case DriveReport::TrayOpen:
      DropDisc(now, "the tray is open");
      return;
    case DriveReport::NoDisc:
      DropDisc(now, "there is no disc, or it is spinning up");
      return;
    case DriveReport::DiscIn:
      break;
  }
  if (state.disc && !changed && !again) {
    return;
  }
  // A fresh handle: libcdio keeps the table it read first for as long as a handle lives.
  const CdioHandle cdio = OpenCdio(source, reason);
  DriveResult<Toc> toc =
      cdio ? ReadTable(cdio.get()) : DriveResult<Toc>::Fail(DriveError::NotReady, reason);
  if (!toc.ok()) {
    DropDisc(now, toc.detail);
    return;
  }
  DiscNames names = ReadNames(cdio.get(), toc.value);
  Found(std::move(toc.value), std::move(names), now, domain);
}

void CdioDrive::Impl::Found(Toc toc, DiscNames names, ClockTime now, std::string_view domain) {
  why.clear();
  if (!state.disc || state.disc->toc != toc) {
    DropDisc(now, {});
    state.readyAt = now;
    state.clockDomain = std::string(domain);
    RestHead(state, toc.TrackCount() == 0 ? Frames{0} : toc.Start(TrackNumber{1}), now);
    disc = std::make_shared<CdioDisc>(source, toc, !device);
    state.disc.emplace();
    state.disc->toc = std::move(toc);
  }
  // An image renamed in its sheet alone is the same disc, with new names.
  state.disc->title = std::move(names.album);
  state.disc->artist = std::move(names.artist);
  state.disc->trackTitles = std::move(names.tracks);
}

void CdioDrive::Impl::DropDisc(ClockTime now, std::string reason) {
  why = std::move(reason);
  if (audio) {
    audio->Release();
    audio.reset();
  }
  disc.reset();
  state.disc.reset();
  RestHead(state, Frames{0}, now);
}

DriveStatus CdioDrive::Impl::Readable(const DriveView& view) const {
  if (!view.plugged) {
    return DriveStatus::Fail(DriveError::Unplugged, why);
  }
  if (!view.Ready()) {
    return DriveStatus::Fail(DriveError::NotReady, why.empty() ? "the drive is not ready" : why);
  }
  if (state.disc->toc.TrackCount() == 0) {
    return DriveStatus::Fail(DriveError::Hardware, "the disc is blank");
  }
  return DriveStatus::Ok({});
}

DriveStatus CdioDrive::Impl::Halt(Head head) {
  const DriveView view = Now();
  if (const DriveStatus readable = Readable(view);
      readable.error == DriveError::Unplugged || readable.error == DriveError::NotReady) {
    return readable;
  }
  const Clock& clock = CurrentClock();
  SettleHead(state, view, clock.Now(), clock.Domain());
  if (head == Head::Stopped || state.head == Head::Playing) {
    state.head = head;
  }
  return DriveStatus::Ok({});
}

CdioDrive::CdioDrive(std::filesystem::path source)
    : impl_(std::make_unique<Impl>(std::move(source))) {}

CdioDrive::~CdioDrive() = default;

DriveStatus CdioDrive::Connected() {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  return view.plugged ? DriveStatus::Ok({}) : DriveStatus::Fail(DriveError::Unplugged, impl_->why);
}

DriveResult<bool> CdioDrive::CanEject() {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (!view.plugged) {
    return DriveResult<bool>::Fail(DriveError::Unplugged, impl_->why);
  }
  return DriveResult<bool>::Ok(impl_->device);
}

DriveResult<DriveMode> CdioDrive::Mode() {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (!view.plugged) {
    return DriveResult<DriveMode>::Fail(DriveError::Unplugged, impl_->why);
  }
  return DriveResult<DriveMode>::Ok(ModeOf(view));
}

DriveResult<bool> CdioDrive::MediaPresent() {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (!view.plugged) {
    return DriveResult<bool>::Fail(DriveError::Unplugged, impl_->why);
  }
  return DriveResult<bool>::Ok(view.tray == Tray::Closed && view.hasDisc);
}

DriveResult<Toc> CdioDrive::ReadToc() {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (const DriveStatus readable = impl_->Readable(view); !readable.ok()) {
    return DriveResult<Toc>::Fail(readable.error, readable.detail);
  }
  return DriveResult<Toc>::Ok(impl_->state.disc->toc);
}

DriveResult<Frames> CdioDrive::Position() {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (const DriveStatus readable = impl_->Readable(view); !readable.ok()) {
    return DriveResult<Frames>::Fail(readable.error, readable.detail);
  }
  return DriveResult<Frames>::Ok(view.position);
}

DriveStatus CdioDrive::Play(Frames from, Frames to) {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (const DriveStatus readable = impl_->Readable(view); !readable.ok()) {
    return readable;
  }
  const Clock& clock = CurrentClock();
  SettleHead(impl_->state, view, clock.Now(), clock.Domain());
  return StartPlay(impl_->state, from, to, clock.Now());
}

DriveStatus CdioDrive::Pause() {
  const std::lock_guard lock(impl_->mutex);
  return impl_->Halt(Head::Paused);
}

DriveStatus CdioDrive::Stop() {
  const std::lock_guard lock(impl_->mutex);
  return impl_->Halt(Head::Stopped);
}

DriveStatus CdioDrive::Seek(Frames to) {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (const DriveStatus readable = impl_->Readable(view); !readable.ok()) {
    return readable;
  }
  return SeekHead(impl_->state, to, CurrentClock().Now());
}

DriveStatus CdioDrive::SetTray(Tray tray) {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (!view.plugged) {
    return DriveStatus::Fail(DriveError::Unplugged, impl_->why);
  }
  if (!impl_->device) {
    return DriveStatus::Fail(DriveError::Unsupported, "a CD image has no tray");
  }
  if (view.tray == tray) {
    return DriveStatus::Ok({});
  }
  const ClockTime now = CurrentClock().Now();
  driver_return_code_t result;
  if (tray == Tray::Open) {
    // A drive with a handle open on it refuses to eject.
    impl_->DropDisc(now, "the tray is open");
    result = cdio_eject_media_drive(impl_->source.c_str());
  } else {
    driver_id_t driver = DRIVER_DEVICE;
    result = cdio_close_tray(impl_->source.c_str(), &driver);
  }
  // The drive's own word on the tray and the disc comes at the next look, which is now.
  impl_->lookedAt.reset();
  if (result != DRIVER_OP_SUCCESS) {
    return DriveStatus::Fail(DriveError::Hardware, impl_->source.string() + ": cannot " +
                                                       (tray == Tray::Open ? "open" : "close") +
                                                       " the tray: " + cdio_driver_errmsg(result));
  }
  impl_->state.tray = tray;
  return DriveStatus::Ok({});
}

DriveResult<DiscNames> CdioDrive::Names() {
  const std::lock_guard lock(impl_->mutex);
  const DriveView view = impl_->Now();
  if (!view.plugged) {
    return DriveResult<DiscNames>::Fail(DriveError::Unplugged, impl_->why);
  }
  if (view.tray == Tray::Open || !view.hasDisc) {
    return DriveResult<DiscNames>::Ok({});
  }
  return DriveResult<DiscNames>::Ok(NamesOf(*impl_->state.disc));
}

std::shared_ptr<audio::DiscAudio> CdioDrive::Audio() {
  const std::lock_guard lock(impl_->mutex);
  impl_->Now();
  if (!impl_->disc || !HasAudio(impl_->disc->toc)) {
    return nullptr;
  }
  if (!impl_->audio) {
    impl_->audio = std::make_shared<ParanoiaAudio>(impl_->disc);
  }
  return impl_->audio;
}

std::optional<std::filesystem::path> FindCdDrive() {
  QuietLibcdio();
  char** devices = cdio_get_devices(DRIVER_DEVICE);
  std::optional<std::filesystem::path> found;
  for (char** device = devices; device != nullptr && *device != nullptr && !found; ++device) {
    struct stat info {};
    if (::stat(*device, &info) == 0 && S_ISBLK(info.st_mode)) {
      found = *device;
    }
  }
  cdio_free_device_list(devices);
  return found;
}

}  // namespace vantora::platform::cdaudio
