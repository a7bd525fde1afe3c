// SPDX-License-Identifier: GPL-3.0-or-later
// A drive that is heard: any CdDrive, with the sound under its play head sent to a sound output.
#include "platform/audio/audible_drive.h"

#include <algorithm>

namespace vantora::platform::audio {

using cdaudio::DriveMode;
using cdaudio::DriveResult;
using cdaudio::DriveStatus;
using cdaudio::Frames;

namespace {

// Sound is read and written in pieces of this many sample frames (about 0.1 s).
constexpr int64_t kChunk = 4096;

}  // namespace

AudibleDrive::AudibleDrive(std::unique_ptr<cdaudio::CdDrive> inner,
                           std::unique_ptr<SoundOutput> output)
    : inner_(std::move(inner)), output_(std::move(output)), pumped_(CurrentClock().Now()) {}

AudibleDrive::~AudibleDrive() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (pumper_.joinable()) {
    pumper_.join();
  }
  // What played since the last pump is sent before the output goes.
  PumpLocked();
  StopSoundingLocked();
}

void AudibleDrive::StopSounding() {
  std::lock_guard lock(mutex_);
  StopSoundingLocked();
}

void AudibleDrive::StopSoundingLocked() {
  const auto mode = inner_->Mode();
  if (mode.ok() && mode.value == DriveMode::Playing && !inner_->HeldElsewhere()) {
    inner_->Stop();
  }
}

bool AudibleDrive::HeldElsewhere() {
  std::lock_guard lock(mutex_);
  return inner_->HeldElsewhere();
}

DriveStatus AudibleDrive::Connected() {
  std::lock_guard lock(mutex_);
  return inner_->Connected();
}

DriveResult<bool> AudibleDrive::CanEject() {
  std::lock_guard lock(mutex_);
  return inner_->CanEject();
}

DriveResult<DriveMode> AudibleDrive::Mode() {
  std::lock_guard lock(mutex_);
  DriveResult<DriveMode> mode = inner_->Mode();
  WakeIfPlaying(mode);
  return mode;
}

DriveResult<bool> AudibleDrive::MediaPresent() {
  std::lock_guard lock(mutex_);
  return inner_->MediaPresent();
}

DriveResult<cdaudio::Toc> AudibleDrive::ReadToc() {
  std::lock_guard lock(mutex_);
  return inner_->ReadToc();
}

DriveResult<Frames> AudibleDrive::Position() {
  std::lock_guard lock(mutex_);
  return inner_->Position();
}

DriveStatus AudibleDrive::Play(Frames from, Frames to) {
  std::lock_guard lock(mutex_);
  PumpLocked();
  const DriveStatus status = inner_->Play(from, to);
  if (status.ok()) {
    // The head is down at `from` as of now; asking where it is could already see it a frame on.
    cursor_ = from;
    playing_ = true;
    wake_.notify_all();
  }
  return status;
}

// Pause and stop hold the head at the frame the drive works out for this instant: the sound is
// sent up to exactly there, so a resume from there neither loses nor repeats a sample.
DriveStatus AudibleDrive::Pause() {
  std::lock_guard lock(mutex_);
  PumpLocked();
  const DriveStatus status = inner_->Pause();
  PumpLocked();
  return status;
}

DriveStatus AudibleDrive::Stop() {
  std::lock_guard lock(mutex_);
  PumpLocked();
  const DriveStatus status = inner_->Stop();
  PumpLocked();
  return status;
}

DriveStatus AudibleDrive::Seek(Frames to) {
  std::lock_guard lock(mutex_);
  PumpLocked();
  const DriveStatus status = inner_->Seek(to);
  if (status.ok()) {
    cursor_ = to;
    playing_ = false;
  }
  return status;
}

DriveStatus AudibleDrive::SetTray(cdaudio::Tray tray) {
  std::lock_guard lock(mutex_);
  PumpLocked();
  const DriveStatus status = inner_->SetTray(tray);
  PumpLocked();
  if (status.ok() && tray == cdaudio::Tray::Open) {
    // The disc has stopped: what is still queued would sound after it.
    output_->Discard();
  }
  return status;
}

cdaudio::DriveResult<cdaudio::DiscNames> AudibleDrive::Names() {
  std::lock_guard lock(mutex_);
  return inner_->Names();
}

std::vector<cdaudio::InjectedFailure> AudibleDrive::InjectedFailures() {
  std::lock_guard lock(mutex_);
  return inner_->InjectedFailures();
}

std::shared_ptr<DiscAudio> AudibleDrive::Audio() {
  std::lock_guard lock(mutex_);
  return inner_->Audio();
}

void AudibleDrive::Pump() {
  std::lock_guard lock(mutex_);
  PumpLocked();
}

void AudibleDrive::StartPumping(std::chrono::milliseconds period) {
  std::lock_guard lock(mutex_);
  if (pumper_.joinable()) {
    return;
  }
  pumper_ = std::thread([this, period] {
    std::unique_lock held(mutex_);
    while (!stopping_) {
      // A silent drive has nothing to send: the thread sleeps until a play wakes it.
      if (playing_) {
        wake_.wait_for(held, period, [this] { return stopping_; });
      } else {
        wake_.wait(held, [this] { return stopping_ || playing_ || seenPlaying_; });
      }
      seenPlaying_ = false;
      if (!stopping_) {
        PumpLocked();
      }
    }
  });
}

void AudibleDrive::WakeIfPlaying(const DriveResult<DriveMode>& mode) {
  // Another process may have started the drive: the first look that sees it play wakes the pump.
  if (!playing_ && mode.ok() && mode.value == DriveMode::Playing) {
    seenPlaying_ = true;
    wake_.notify_all();
  }
}

void AudibleDrive::PumpLocked() {
  const ClockTime now = CurrentClock().Now();
  const ClockTime since = now - pumped_;
  pumped_ = now;
  const bool wasPlaying = playing_;
  const auto mode = inner_->Mode();
  const auto position = inner_->Position();
  playing_ = mode.ok() && mode.value == DriveMode::Playing && position.ok();
  if (!position.ok()) {
    return;
  }
  const Frames head = position.value;
  // The head moves 75 frames a second; one frame more either way for rounding.
  const int64_t allowed =
      std::max<int64_t>(since.count(), 0) * cdaudio::kFramesPerSecond / 1000 + 2;
  if (wasPlaying && head > cursor_ && (head - cursor_).count <= allowed) {
    Send(cursor_, head);
  }
  cursor_ = head;
}

void AudibleDrive::Send(Frames from, Frames to) {
  const std::shared_ptr<DiscAudio> audio = inner_->Audio();
  if (!audio) {
    return;  // a disc without sound plays silently
  }
  int64_t sample = int64_t{from.count} * kSamplesPerDiscFrame;
  const int64_t end = int64_t{to.count} * kSamplesPerDiscFrame;
  buffer_.resize(static_cast<size_t>(kChunk * kChannels));
  while (sample < end) {
    const auto count = static_cast<size_t>(std::min(kChunk, end - sample));
    audio->Read(sample, buffer_.data(), count);  // a bad read is silence, in time
    output_->Write(buffer_.data(), count);
    sample += static_cast<int64_t>(count);
  }
}

}  // namespace vantora::platform::audio
