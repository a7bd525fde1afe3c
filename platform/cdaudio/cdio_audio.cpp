// SPDX-License-Identifier: GPL-3.0-or-later
// The sound of a disc that libcdio reaches, read with libcdio-paranoia, and the few libcdio habits
// the drive and the sound share.
#include "platform/cdaudio/cdio_audio.h"

#define DO_NOT_WANT_PARANOIA_COMPATIBILITY
#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vantora::platform::cdaudio {
namespace {

thread_local std::string tLibcdioMessage;
// The guard of the sector request this thread is making; paranoia's reads come back through it.
thread_local ParanoiaAudio::ReadGuard* tGuard = nullptr;

// Failed reads in one sector request before the guard gives up: a scratch costs a short gap, a
// vanished disc a moment, never a hang.
constexpr int kReadTries = 5;
// Sectors paranoia reads at a time: one second of sound.
constexpr int kReadAhead = 75;
// Four times playing speed: ample to keep ahead, and far quieter than a drive at full speed.
constexpr int kReadSpeed = 4;

void KeepLibcdioMessage(cdio_log_level_t level, const char* message) {
  if (level < CDIO_LOG_WARN || message == nullptr) {
    return;
  }
  std::string text = message;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  // Some messages run on over a second line ("Can't get file status for x:\nNo such file").
  std::replace(text.begin(), text.end(), '\n', ' ');
  // The first complaint names the cause; later ones only say that opening failed.
  if (tLibcdioMessage.empty()) {
    tLibcdioMessage = std::move(text);
  }
}

long GuardedRead(cdrom_drive_t* drive, void* buffer, lsn_t first, long sectors) {
  ParanoiaAudio::ReadGuard* guard = tGuard;
  if (guard == nullptr || guard->read == nullptr) {
    return -1;
  }
  if (!guard->gaveUp) {
    const long got = guard->read(drive, buffer, first, sectors);
    if (got >= sectors) {
      return got;
    }
    guard->gaveUp = ++guard->failures >= kReadTries;
    if (!guard->gaveUp) {
      return got;
    }
  }
  if (buffer != nullptr && sectors > 0) {
    std::memset(buffer, 0, static_cast<size_t>(sectors) * CDIO_CD_FRAMESIZE_RAW);
  }
  return sectors;
}

}  // namespace

void QuietLibcdio() {
  static const bool quiet = [] {
    cdio_log_set_handler(KeepLibcdioMessage);
    return true;
  }();
  (void)quiet;
}

const std::string& LibcdioMessage() {
  return tLibcdioMessage;
}

void ForgetLibcdioMessage() {
  tLibcdioMessage.clear();
}

ParanoiaAudio::~ParanoiaAudio() {
  Close();
}

void ParanoiaAudio::Release() {
  const std::lock_guard lock(mutex_);
  released_ = true;
  Close();
}

bool ParanoiaAudio::Audible(int64_t frame) const {
  const Toc& toc = disc_->toc;
  if (toc.TrackCount() == 0 || frame < toc.Start(TrackNumber{1}).count ||
      frame >= toc.LeadOut().count) {
    return false;
  }
  const Frames place{static_cast<int32_t>(frame)};
  return toc.Kind(toc.TrackAt(place)) == TrackKind::Audio;
}

bool ParanoiaAudio::Open() {
  if (paranoia_ != nullptr) {
    return true;
  }
  if (released_) {
    return false;
  }
  QuietLibcdio();
  CdIo_t* cdio = cdio_open(disc_->source.c_str(), DRIVER_UNKNOWN);
  if (cdio == nullptr) {
    return false;
  }
  drive_ = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
  if (drive_ == nullptr) {
    cdio_destroy(cdio);
    return false;
  }
  cdio_cddap_verbose_set(drive_, CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
  if (cdio_cddap_open(drive_) != 0) {
    Close();
    return false;
  }
  // Image files hold little-endian sound; left to guess, the reader judges by how the first
  // sectors sound and may swap every sample of a quiet or synthetic disc.
  if (disc_->image) {
    drive_->bigendianp = 0;
  }
  paranoia_ = cdio_paranoia_init(drive_);
  if (paranoia_ == nullptr) {
    Close();
    return false;
  }
  // An image reads the same every time: checking each read twice would only cost time. A real
  // drive gets every check, but gives a bad stretch up rather than retrying forever.
  cdio_paranoia_modeset(paranoia_, disc_->image ? PARANOIA_MODE_DISABLE
                                                : PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
  // Paranoia reads ahead by its model of the drive's cache, 1200 sectors (16 s of sound) unless
  // told: a ripper's choice, which would hold up the first sound for seconds on a real drive.
  cdio_paranoia_cachemodel_size(paranoia_, kReadAhead);
  if (!disc_->image) {
    cdio_cddap_speed_set(drive_, kReadSpeed);  // quieter; a drive that cannot just ignores it
  }
  audioFirst_ = cdio_cddap_disc_firstsector(drive_);
  audioLast_ = cdio_cddap_disc_lastsector(drive_);
  guard_.read = drive_->read_audio;
  drive_->read_audio = GuardedRead;
  next_ = -1;
  return true;
}

void ParanoiaAudio::Close() {
  if (paranoia_ != nullptr) {
    cdio_paranoia_free(paranoia_);
    paranoia_ = nullptr;
  }
  if (drive_ != nullptr) {
    cdio_cddap_close(drive_);  // closes the libcdio handle too
    drive_ = nullptr;
  }
  next_ = -1;
  cached_ = -1;
}

const int16_t* ParanoiaAudio::Sector(int32_t lsn) {
  if (lsn == cached_) {
    return sector_.data();
  }
  if (lsn != next_) {
    cdio_paranoia_seek(paranoia_, lsn, SEEK_SET);
  }
  guard_.failures = 0;
  guard_.gaveUp = false;
  tGuard = &guard_;
  const int16_t* samples = cdio_paranoia_read(paranoia_, nullptr);
  tGuard = nullptr;
  if (samples == nullptr || guard_.gaveUp) {
    // Paranoia now holds made-up silence: start afresh at the next read.
    Close();
    return nullptr;
  }
  next_ = lsn + 1;
  cached_ = lsn;
  std::memcpy(sector_.data(), samples, sizeof sector_);
  return sector_.data();
}

bool ParanoiaAudio::Read(int64_t first, int16_t* out, size_t frames) {
  std::fill(out, out + 2 * frames, int16_t{0});
  const std::lock_guard lock(mutex_);
  if (released_) {
    return false;
  }
  constexpr int64_t kPerFrame = audio::kSamplesPerDiscFrame;
  // Far beyond any disc: silence, and no sum below can overflow.
  constexpr int64_t kFarAway = int64_t{1} << 40;
  if (first < -kFarAway || first > kFarAway) {
    return true;
  }
  size_t done = 0;
  while (done < frames) {
    const int64_t place = first + static_cast<int64_t>(done);
    // Whole frames below zero too: sample -1 lies in frame -1.
    const int64_t frame = place >= 0 ? place / kPerFrame : -((-place + kPerFrame - 1) / kPerFrame);
    const int64_t offset = place - frame * kPerFrame;
    const size_t take = std::min(frames - done, static_cast<size_t>(kPerFrame - offset));
    const int32_t lsn = static_cast<int32_t>(frame - kFirstSectorFrame);
    // The reader knows where the audio ends better than the table: the gap before a second
    // session's data is listed as sound but cannot be read.
    if (Audible(frame) && (!Open() || (lsn >= audioFirst_ && lsn <= audioLast_))) {
      const int16_t* samples = paranoia_ != nullptr ? Sector(lsn) : nullptr;
      if (samples == nullptr) {
        std::fill(out, out + 2 * frames, int16_t{0});
        disc_->readFailed = true;
        return false;
      }
      std::memcpy(out + 2 * done, samples + 2 * offset, take * 2 * sizeof(int16_t));
    }
    done += take;
  }
  return true;
}

}  // namespace vantora::platform::cdaudio
