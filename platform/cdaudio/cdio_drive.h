// SPDX-License-Identifier: GPL-3.0-or-later
// A CD drive that libcdio reaches: a real drive such as /dev/sr0, or a CD image libcdio reads
// (BIN/CUE, cdrdao TOC, NRG), which stands for a drive with that disc in and a tray that stays
// shut.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/cdaudio/cd_drive.h"
#include "platform/clock.h"

namespace vantora::platform::cdaudio {

// How often the drive looks at its source again (the device's tray and disc, or the image's
// files), on the one clock; the sound failing to read makes it look at once.
inline constexpr ClockTime kCdioLookInterval{500};

// The play head is kept in memory, as a place at a moment plus what it does, on the one clock;
// the disc's sound is read by place through Audio(), on whatever thread asks. Calls may come from
// several threads.
class CdioDrive final : public CdDrive {
 public:
  // Nothing is opened until the first operation.
  explicit CdioDrive(std::filesystem::path source);
  ~CdioDrive() override;
  CdioDrive(const CdioDrive&) = delete;
  CdioDrive& operator=(const CdioDrive&) = delete;

  // Unplugged, with the reason, while the source is missing or libcdio cannot open it.
  DriveStatus Connected() override;
  // True for a real drive; an image has no tray to move.
  DriveResult<bool> CanEject() override;
  DriveResult<DriveMode> Mode() override;
  DriveResult<bool> MediaPresent() override;
  DriveResult<Toc> ReadToc() override;
  DriveResult<Frames> Position() override;
  DriveStatus Play(Frames from, Frames to) override;
  DriveStatus Pause() override;
  DriveStatus Stop() override;
  DriveStatus Seek(Frames to) override;
  DriveStatus SetTray(Tray tray) override;
  // The disc's CD-Text in its first language, read once as the disc is found; for an image, what
  // libcdio makes of its sheet's TITLE and PERFORMER lines or CDTEXTFILE.
  DriveResult<DiscNames> Names() override;
  // Read with libcdio-paranoia; nullptr while no disc with audio tracks is in.
  std::shared_ptr<audio::DiscAudio> Audio() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The machine's CD drive: the first one libcdio finds whose device exists; nullopt when there is
// none.
std::optional<std::filesystem::path> FindCdDrive();

}  // namespace vantora::platform::cdaudio
