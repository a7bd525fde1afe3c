// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual drive's state file: what it says, how it is read and written, and how two processes
// share it.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cdaudio/cd_drive.h"
#include "platform/cdaudio/cd_types.h"
#include "platform/clock.h"

namespace vantora::platform::cdaudio {

// What the play head does.
enum class Head { Stopped, Paused, Playing };

// Everything a virtual drive remembers. The play head is stored as a place at a moment plus what
// it does, never as a running thread: any process that reads the file works out where the head is
// now from the one clock, so the drive keeps playing while no process looks at it.
struct DriveState {
  bool plugged = true;
  bool canEject = true;  // whether commands may open and close the tray
  Tray tray = Tray::Closed;
  std::optional<Disc> disc;  // a blank disc has no tracks
  Head head = Head::Stopped;
  Frames position;       // the head at `moment`
  Frames playEnd;        // while playing: where the play stops
  ClockTime moment{0};   // when `position` held
  ClockTime readyAt{0};  // when the disc has finished spinning up
  // The clock domain of `moment` and `readyAt`. Times from another domain (another boot, a
  // test's manual clock) cannot be compared with now: the drive then counts as settled, with
  // play stopped where it was last recorded.
  std::string clockDomain;
  // Command strings the user's hand wants refused, at most kMostFailures of them.
  std::vector<InjectedFailure> failures;
};

inline constexpr size_t kMostFailures = 100;
// Command strings are short; a longer one cannot be a command the player sends.
inline constexpr size_t kLongestFailedCommand = 200;

// The drive as it is at one moment, worked out from its state.
struct DriveView {
  bool plugged = true;
  Tray tray = Tray::Closed;
  bool hasDisc = false;
  bool spinningUp = false;
  Head head = Head::Stopped;
  Frames position;
  Frames playEnd;

  // A disc in a closed tray, spun up, in a connected drive.
  bool Ready() const { return plugged && tray == Tray::Closed && hasDisc && !spinningUp; }
};

DriveView Observe(const DriveState& state, ClockTime now, std::string_view clockDomain);

// The state file's text (see docs/disc-format.md, "The drive directory").
std::string FormatDriveState(const DriveState& state);

struct StateReading {
  std::optional<DriveState> state;
  std::string error;  // "line 3: ..." when the text is damaged
};
StateReading ParseDriveState(std::string_view text);

// What stat says of a state file: which file it is and when it last changed.
struct FileSignature {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified = 0;  // nanoseconds since the epoch
  int64_t changed = 0;
  bool operator==(const FileSignature&) const = default;
};

// A drive directory: the state file "state" and the lock file "lock". Readers take a shared
// advisory lock, writers an exclusive one around read-modify-write, and the new state replaces
// the old by rename, so no reader ever sees half a file.
class DriveStore {
 public:
  explicit DriveStore(std::filesystem::path directory)
      : directory_(std::move(directory)), stateFile_(directory_ / "state") {}

  const std::filesystem::path& Directory() const { return directory_; }
  const std::filesystem::path& StateFile() const { return stateFile_; }

  // The stored state; a drive without a state file is a fresh one: connected, tray closed, empty.
  StateReading Read() const;

  // Reads, lets `change` edit the state and writes it back if `change` succeeds, all under the
  // exclusive lock. A damaged state is not touched: the result is Damaged and `change` not called.
  DriveStatus Update(const std::function<DriveStatus(DriveState&)>& change);

  // Writes `state` whatever was there; a damaged state file is kept beside it as "state.damaged".
  DriveStatus Replace(const DriveState& state);

  // True when the directory holds a state file.
  bool Exists() const;

 private:
  std::filesystem::path directory_;
  std::filesystem::path stateFile_;
  // The last text read and what it parsed to: a player polls far more often than the state
  // changes, and the same text needs no second parse.
  mutable std::string lastText_;
  mutable std::optional<StateReading> lastReading_;
  // The state file's signature when lastText_ was read from it: while it stays the same and the
  // file has settled, the file is not read again (other processes replace it to change it).
  mutable std::optional<FileSignature> lastSignature_;
};

}  // namespace vantora::platform::cdaudio
