// SPDX-License-Identifier: GPL-3.0-or-later
// A drive that is heard: any CdDrive, with the sound under its play head sent to a sound output.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/audio/sound_output.h"
#include "platform/cdaudio/cd_drive.h"
#include "platform/clock.h"

namespace vantora::platform::audio {

// Wraps a drive and passes every call through, one at a time. Pump() sends the sound the head has
// played since the last pump to the output, in whole disc frames, so that what the output gets is
// exactly the disc's samples from where play began to where the head is: a pause, stop or seek
// sends what played up to that moment first, and a play that runs to its end sends exactly up to
// that end. The head itself is the inner drive's, worked out from the one clock as before.
class AudibleDrive final : public cdaudio::CdDrive {
 public:
  AudibleDrive(std::unique_ptr<cdaudio::CdDrive> inner, std::unique_ptr<SoundOutput> output);
  // Stops the pump thread, if it runs, and sends what played since the last pump.
  ~AudibleDrive() override;
  AudibleDrive(const AudibleDrive&) = delete;
  AudibleDrive& operator=(const AudibleDrive&) = delete;

  cdaudio::DriveStatus Connected() override;
  cdaudio::DriveResult<bool> CanEject() override;
  cdaudio::DriveResult<cdaudio::DriveMode> Mode() override;
  cdaudio::DriveResult<bool> MediaPresent() override;
  cdaudio::DriveResult<cdaudio::Toc> ReadToc() override;
  cdaudio::DriveResult<cdaudio::Frames> Position() override;
  cdaudio::DriveStatus Play(cdaudio::Frames from, cdaudio::Frames to) override;
  cdaudio::DriveStatus Pause() override;
  cdaudio::DriveStatus Stop() override;
  cdaudio::DriveStatus Seek(cdaudio::Frames to) override;
  cdaudio::DriveStatus SetTray(cdaudio::Tray tray) override;
  cdaudio::DriveResult<cdaudio::DiscNames> Names() override;
  std::vector<cdaudio::InjectedFailure> InjectedFailures() override;
  std::shared_ptr<DiscAudio> Audio() override;
  bool HeldElsewhere() override;

  // The listener's sound ends with the player, and so does the drive's play: a drive that plays
  // is stopped, unless another player uses it too. Called as the player ends, however it ends.
  void StopSounding();

  // Sends what the head has played since the last pump. A head found further on than the time
  // since then allows, or behind, was moved by someone else: its sound is skipped, not sent.
  void Pump();
  // Pumps every `period` on a thread of its own until the drive is destroyed; the program's way.
  // The thread pumps only while the drive plays: a play wakes it, and so does a look that finds
  // the drive playing for someone else. Tests on the manual clock call Pump() themselves instead.
  void StartPumping(std::chrono::milliseconds period);

 private:
  void PumpLocked();
  void StopSoundingLocked();
  void WakeIfPlaying(const cdaudio::DriveResult<cdaudio::DriveMode>& mode);
  void Send(cdaudio::Frames from, cdaudio::Frames to);

  std::mutex mutex_;
  std::unique_ptr<cdaudio::CdDrive> inner_;
  std::unique_ptr<SoundOutput> output_;
  cdaudio::Frames cursor_;  // how far the sound has been sent
  bool playing_ = false;    // whether the head played at the last pump
  ClockTime pumped_{0};     // when the last pump looked
  std::vector<int16_t> buffer_;

  std::thread pumper_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool seenPlaying_ = false;  // a look found the drive playing while the pump slept
};

}  // namespace vantora::platform::audio
