// SPDX-License-Identifier: GPL-3.0-or-later
// A drive that answers as a test scripts it: any mode, any table of contents, any operation
// failing in any way, and injected command failures. For what the virtual drive never does.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/cdaudio/cd_drive.h"

namespace vantora::platform::cdaudio::testing {

class ScriptedDrive final : public CdDrive {
 public:
  // The drive's operations, each of which can be made to fail.
  enum class Operation {
    Connected,
    CanEject,
    Mode,
    MediaPresent,
    ReadToc,
    Position,
    Play,
    Pause,
    Stop,
    Seek,
    SetTray,
    Count
  };

  // What the drive reports. Actions that succeed change it as a drive would, without a clock:
  // Play starts playing at `from`, Pause holds a play, Stop ends it, Seek stops at the place,
  // opening the tray reads Open and closing it Stopped (NotReady without media).
  DriveMode mode = DriveMode::Stopped;
  bool canEject = true;
  bool mediaPresent = true;
  // Three tracks from 00:02:00 at 03:02:00 and 03:12:00; the lead-out at 04:12:30.
  Toc toc = *Toc::Make({Frames{150}, Frames{13650}, Frames{14400}}, Frames{18930});
  Frames position{150};
  std::vector<InjectedFailure> injected;

  // Makes `operation` fail with `error` until Succeed; a failed action changes nothing.
  void Fail(Operation operation, DriveError error, std::string detail = {}) {
    failures_[Index(operation)] = {error, std::move(detail)};
  }
  void Succeed(Operation operation) { failures_[Index(operation)] = {DriveError::None, {}}; }

  DriveStatus Connected() override { return Answer(Operation::Connected, Done{}); }
  DriveResult<bool> CanEject() override { return Answer(Operation::CanEject, canEject); }
  DriveResult<DriveMode> Mode() override { return Answer(Operation::Mode, mode); }
  DriveResult<bool> MediaPresent() override {
    return Answer(Operation::MediaPresent, mediaPresent);
  }
  DriveResult<Toc> ReadToc() override { return Answer(Operation::ReadToc, toc); }
  DriveResult<Frames> Position() override { return Answer(Operation::Position, position); }
  DriveStatus Play(Frames from, Frames /*to*/) override {
    return Act(Operation::Play, [&] {
      mode = DriveMode::Playing;
      position = from;
    });
  }
  DriveStatus Pause() override {
    return Act(Operation::Pause, [&] {
      if (mode == DriveMode::Playing) {
        mode = DriveMode::Paused;
      }
    });
  }
  DriveStatus Stop() override {
    return Act(Operation::Stop, [&] {
      if (mode == DriveMode::Playing || mode == DriveMode::Paused) {
        mode = DriveMode::Stopped;
      }
    });
  }
  DriveStatus Seek(Frames to) override {
    return Act(Operation::Seek, [&] {
      mode = DriveMode::Stopped;
      position = to;
    });
  }
  DriveStatus SetTray(Tray tray) override {
    return Act(Operation::SetTray, [&] {
      mode = tray == Tray::Open ? DriveMode::Open
                                : (mediaPresent ? DriveMode::Stopped : DriveMode::NotReady);
    });
  }
  std::vector<InjectedFailure> InjectedFailures() override { return injected; }

 private:
  struct Failure {
    DriveError error = DriveError::None;
    std::string detail;
  };

  static size_t Index(Operation operation) { return static_cast<size_t>(operation); }

  template <typename T>
  DriveResult<T> Answer(Operation operation, T value) const {
    const Failure& failure = failures_[Index(operation)];
    if (failure.error != DriveError::None) {
      return DriveResult<T>::Fail(failure.error, failure.detail);
    }
    return DriveResult<T>::Ok(std::move(value));
  }
  template <typename Change>
  DriveStatus Act(Operation operation, Change change) {
    DriveStatus status = Answer(operation, Done{});
    if (status.ok()) {
      change();
    }
    return status;
  }

  std::array<Failure, static_cast<size_t>(Operation::Count)> failures_{};
};

}  // namespace vantora::platform::cdaudio::testing
