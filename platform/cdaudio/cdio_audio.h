// SPDX-License-Identifier: GPL-3.0-or-later
// The sound of a disc that libcdio reaches, read with libcdio-paranoia, and the few libcdio habits
// the drive and the sound share.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/audio/disc_audio.h"
#include "platform/audio/sound_output.h"
#include "platform/cdaudio/cd_types.h"

// libcdio's own types, kept out of this header.
struct cdrom_drive_s;
struct cdrom_paranoia_s;

namespace vantora::platform::cdaudio {

// Absolute frame of libcdio's sector 0 (LSN 0): the two seconds before the first track.
inline constexpr int32_t kFirstSectorFrame = 150;

// Sends libcdio's messages nowhere but LastLibcdioMessage(), so it never writes to the terminal.
void QuietLibcdio();
// The first warning or error libcdio gave on this thread since ForgetLibcdioMessage(), on one
// line; "" for none.
const std::string& LibcdioMessage();
void ForgetLibcdioMessage();

// One disc in the drive, as the drive and the sound reading it share it.
struct CdioDisc {
  CdioDisc(std::filesystem::path from, Toc table, bool fromImage)
      : source(std::move(from)), toc(std::move(table)), image(fromImage) {}

  const std::filesystem::path source;  // the drive or image libcdio opens
  const Toc toc;
  const bool image;  // an image file: exact reads, little-endian sound
  // Set by the sound when a read failed, so the drive looks at its disc at once.
  std::atomic<bool> readFailed{false};
};

// The disc's sound, read sector by sector through libcdio-paranoia on a libcdio handle of its own,
// so the thread that plays it never shares a handle with the drive's callers. Reading on from
// where the last read ended costs one sector read per 588 sample frames; the handle is opened at
// the first read and kept.
class ParanoiaAudio final : public audio::DiscAudio {
 public:
  explicit ParanoiaAudio(std::shared_ptr<CdioDisc> disc) : disc_(std::move(disc)) {}
  ~ParanoiaAudio() override;
  ParanoiaAudio(const ParanoiaAudio&) = delete;
  ParanoiaAudio& operator=(const ParanoiaAudio&) = delete;

  bool Read(int64_t first, int16_t* out, size_t frames) override;

  // The disc is gone: the handle is closed (a drive with an open handle cannot eject) and reads
  // give silence and false from now on.
  void Release();

 private:
  static constexpr size_t kSectorValues = 2 * audio::kSamplesPerDiscFrame;

 public:
  // Stands between paranoia and the drive's reads of one sector request: after a few failed
  // reads it gives up and hands paranoia silence, whose retry loop would otherwise never end on
  // a disc that has gone.
  struct ReadGuard {
    long (*read)(cdrom_drive_s*, void*, int32_t, long) = nullptr;  // the drive's own
    int failures = 0;
    bool gaveUp = false;
  };

 private:
  // Whether absolute frame `frame` holds sound that can be read.
  bool Audible(int64_t frame) const;
  bool Open();
  void Close();
  // The sector's samples, in the machine's byte order; nullptr when it cannot be read.
  const int16_t* Sector(int32_t lsn);

  std::mutex mutex_;
  const std::shared_ptr<CdioDisc> disc_;
  bool released_ = false;
  ReadGuard guard_;
  cdrom_drive_s* drive_ = nullptr;
  cdrom_paranoia_s* paranoia_ = nullptr;
  int32_t audioFirst_ = 0;  // the sectors paranoia can read, first and last
  int32_t audioLast_ = -1;
  int32_t next_ = -1;    // the sector paranoia reads next without a seek
  int32_t cached_ = -1;  // the sector held in sector_
  std::array<int16_t, kSectorValues> sector_{};
};

}  // namespace vantora::platform::cdaudio
