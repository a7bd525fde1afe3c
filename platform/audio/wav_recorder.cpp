// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder: every sample the drive plays, in order, in a WAV file whose header always fits.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/audio/sound_output.h"

namespace vantora::platform::audio {
namespace {

constexpr size_t kHeaderSize = 44;
constexpr uint32_t kBytesPerFrame = kChannels * sizeof(int16_t);
// The RIFF sizes are 32-bit: a recording stops short of 4 GiB (over six hours) rather than wrap.
constexpr uint64_t kLargestData = 0xFFFFFFFFull - kHeaderSize;

void PutLe(uint8_t* at, uint32_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) {
    at[i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// The canonical 44-byte header of 16-bit stereo PCM at 44.1 kHz holding `dataBytes` of samples.
std::vector<uint8_t> Header(uint32_t dataBytes) {
  std::vector<uint8_t> h(kHeaderSize);
  std::memcpy(h.data(), "RIFF", 4);
  PutLe(&h[4], static_cast<uint32_t>(kHeaderSize - 8) + dataBytes, 4);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  PutLe(&h[16], 16, 4);  // the size of the format chunk
  PutLe(&h[20], 1, 2);   // integer PCM
  PutLe(&h[22], kChannels, 2);
  PutLe(&h[24], kSampleRate, 4);
  PutLe(&h[28], kSampleRate * kBytesPerFrame, 4);
  PutLe(&h[32], kBytesPerFrame, 2);
  PutLe(&h[34], 16, 2);
  std::memcpy(&h[36], "data", 4);
  PutLe(&h[40], dataBytes, 4);
  return h;
}

bool WriteAll(int fd, const void* data, size_t size, off_t at) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t put = ::pwrite(fd, bytes, size, at);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      return false;
    }
    bytes += put;
    size -= static_cast<size_t>(put);
    at += put;
  }
  return true;
}

class WavRecorder final : public SoundOutput {
 public:
  WavRecorder(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~WavRecorder() override { ::close(fd_); }
  WavRecorder(const WavRecorder&) = delete;
  WavRecorder& operator=(const WavRecorder&) = delete;

  void Write(const int16_t* samples, size_t frames) override {
    if (failed_ || frames == 0) {
      return;
    }
    uint64_t bytes = uint64_t{frames} * kBytesPerFrame;
    if (dataBytes_ + bytes > kLargestData) {
      bytes = (kLargestData - dataBytes_) / kBytesPerFrame * kBytesPerFrame;
      Stop("the recording reached the largest size a WAV file can hold");
    }
    // The samples go in little-endian order whatever the machine's.
    buffer_.resize(bytes);
    for (size_t i = 0; i < bytes / 2; ++i) {
      const auto value = static_cast<uint16_t>(samples[i]);
      buffer_[2 * i] = static_cast<uint8_t>(value);
      buffer_[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    const auto end = static_cast<off_t>(kHeaderSize + dataBytes_);
    if (!WriteAll(fd_, buffer_.data(), buffer_.size(), end)) {
      Stop(std::strerror(errno));
      return;
    }
    dataBytes_ += bytes;
    const std::vector<uint8_t> header = Header(static_cast<uint32_t>(dataBytes_));
    if (!WriteAll(fd_, header.data(), header.size(), 0)) {
      Stop(std::strerror(errno));
    }
  }
  // What was written has been "heard": nothing waits to be dropped.
  void Discard() override {}
  size_t Pending() const override { return 0; }

 private:
  // Keeps what was recorded so far and says once why the rest is not.
  void Stop(const char* why) {
    if (!failed_) {
      std::fprintf(stderr, "vantora: recording to '%s' stopped: %s\n", name_.c_str(), why);
    }
    failed_ = true;
  }

  int fd_;
  std::string name_;
  uint64_t dataBytes_ = 0;
  bool failed_ = false;
  std::vector<uint8_t> buffer_;
};

class NullOutput final : public SoundOutput {
 public:
  void Write(const int16_t*, size_t) override {}
  void Discard() override {}
  size_t Pending() const override { return 0; }
};

}  // namespace

std::unique_ptr<SoundOutput> OpenRecorder(const std::filesystem::path& file, std::string* why) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (why != nullptr) {
      *why = file.string() + ": " + std::strerror(errno);
    }
    return nullptr;
  }
  const std::vector<uint8_t> header = Header(0);
  if (!WriteAll(fd, header.data(), header.size(), 0)) {
    if (why != nullptr) {
      *why = file.string() + ": " + std::strerror(errno);
    }
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<WavRecorder>(fd, file.string());
}

std::unique_ptr<SoundOutput> OpenNullOutput() {
  return std::make_unique<NullOutput>();
}

}  // namespace vantora::platform::audio
