// SPDX-License-Identifier: GPL-3.0-or-later
// The drive-neutral interface behind the command-string device: any drive, real or virtual.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio/disc_audio.h"
#include "platform/cdaudio/cd_types.h"

namespace vantora::platform::cdaudio {

// Why a drive operation did not happen.
enum class DriveError {
  None,
  Unsupported,  // this drive cannot do that at all
  Unplugged,    // the drive is not connected
  NotReady,     // no disc, tray open or the disc still spinning up
  OutOfRange,   // a place or track the disc does not have
  Hardware,     // the drive tried and failed
  Damaged,      // the drive's own records cannot be read
};

// An operation's outcome: a value, or an error with a line of detail for people.
template <typename T>
struct DriveResult {
  DriveError error = DriveError::None;
  T value{};
  std::string detail;

  bool ok() const { return error == DriveError::None; }
  static DriveResult Ok(T v) { return DriveResult{DriveError::None, std::move(v), {}}; }
  static DriveResult Fail(DriveError e, std::string why = {}) {
    return DriveResult{e, T{}, std::move(why)};
  }
};

// Actions carry no value.
struct Done {};
using DriveStatus = DriveResult<Done>;

// What the drive is doing. Paused is its own state here; the command layer decides how to name it.
enum class DriveMode { NotReady, Open, Stopped, Paused, Playing, Seeking };

enum class Tray { Closed, Open };

// A command string that the user's hand has told the drive to refuse, and the error number it
// gets instead of its answer.
struct InjectedFailure {
  std::string command;
  uint32_t error = 0;

  bool operator==(const InjectedFailure&) const = default;
};

class CdDrive {
 public:
  virtual ~CdDrive() = default;

  // Whether the drive is connected; Unplugged or Damaged otherwise.
  virtual DriveStatus Connected() = 0;
  // Whether the drive can open its tray by command; SetTray is Unsupported when it cannot.
  virtual DriveResult<bool> CanEject() = 0;
  virtual DriveResult<DriveMode> Mode() = 0;
  // A disc in a closed tray, even while it spins up.
  virtual DriveResult<bool> MediaPresent() = 0;
  // The disc's table of contents; NotReady unless the mode is Stopped, Paused, Playing or Seeking,
  // Hardware for a blank disc.
  virtual DriveResult<Toc> ReadToc() = 0;
  // The play head, an absolute place on the disc; NotReady and Hardware like ReadToc.
  virtual DriveResult<Frames> Position() = 0;
  // Plays [from, to) and returns at once; the mode falls back to Stopped at `to`, or where a data
  // track begins. OutOfRange unless start of track 1 <= from <= to <= lead-out; Hardware when
  // `from` lies in a data track.
  virtual DriveStatus Play(Frames from, Frames to) = 0;
  // Holds the play head where it is; nothing to do unless playing.
  virtual DriveStatus Pause() = 0;
  // Ends play or pause; the head stays where it is.
  virtual DriveStatus Stop() = 0;
  // Ends play and moves the head; OutOfRange unless start of track 1 <= to <= lead-out.
  virtual DriveStatus Seek(Frames to) = 0;
  // Opens or closes the tray. Opening ends play; closing on a disc spins it up.
  virtual DriveStatus SetTray(Tray tray) = 0;
  // The names the disc in the drive carries, one track name for each of its tracks; empty names
  // when there is no disc or the tray is open, NotReady while it spins up. A drive that cannot
  // read names gives empty ones.
  virtual DriveResult<DiscNames> Names() { return DriveResult<DiscNames>::Ok({}); }
  // The command strings the user's hand wants refused; a drive without such a hand has none.
  virtual std::vector<InjectedFailure> InjectedFailures() { return {}; }
  // The sound of the disc in the drive now, read by place; nullptr for a drive or disc that
  // cannot be heard (a virtual disc without audio files, no disc). A new object for a new disc.
  virtual std::shared_ptr<audio::DiscAudio> Audio() { return nullptr; }
  // Whether a player in another process uses this drive as well; a drive no other process can
  // reach has none.
  virtual bool HeldElsewhere() { return false; }
};

}  // namespace vantora::platform::cdaudio
