// SPDX-License-Identifier: GPL-3.0-or-later
// Where the disc's sound goes: the desktop's output, or a recorder that keeps exactly what played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vantora::platform::audio {

// The disc's own format: interleaved 16-bit stereo at 44.1 kHz, 588 sample frames to each
// 1/75-second frame of the disc.
inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;
inline constexpr int64_t kSamplesPerDiscFrame = kSampleRate / 75;

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // Plays `frames` stereo sample frames (2 * frames values) after those written before.
  virtual void Write(const int16_t* samples, size_t frames) = 0;
  // Drops what was written and not yet heard: the head moved elsewhere or stopped.
  virtual void Discard() = 0;
  // Sample frames written and not yet heard.
  virtual size_t Pending() const = 0;
  // How loud the listener hears it, 0 (silent) to 1 (as on the disc). An output that keeps the
  // samples themselves, as the recorder does, has no volume and keeps them exact.
  virtual void SetVolume(double /*volume*/) {}
};

// A WAV file (16-bit stereo, 44.1 kHz) holding every sample written, in order; its header is
// kept valid after each write, so a player that ends abruptly still leaves a readable file.
// nullptr, with the reason in `why`, when the file cannot be made.
std::unique_ptr<SoundOutput> OpenRecorder(const std::filesystem::path& file, std::string* why);

// An output that drops every sample at once: for measuring what playing costs.
std::unique_ptr<SoundOutput> OpenNullOutput();

}  // namespace vantora::platform::audio
