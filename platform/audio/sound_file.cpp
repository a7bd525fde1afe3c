// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files behind disc images, read with libsndfile.
#include "platform/audio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/audio/sound_output.h"

namespace vantora::platform::audio {
namespace {

struct CloseSoundFile {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFileHandle = std::unique_ptr<SNDFILE, CloseSoundFile>;

// Opens the file for reading and checks that a disc can play it.
SoundFileHandle Open(const std::filesystem::path& path, SF_INFO& info, std::string& error) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    error = "no such file";
    return nullptr;
  }
  if (!std::filesystem::is_regular_file(status)) {
    error = "not a file";
    return nullptr;
  }
  // The system's reason beats libsndfile's for a file that cannot be opened at all.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  ::close(fd);
  info = SF_INFO{};
  SoundFileHandle file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    error = std::string("not a sound file that can be read (") + sf_strerror(nullptr) + ")";
    return nullptr;
  }
  if (info.samplerate != kSampleRate) {
    error = "sampled at " + std::to_string(info.samplerate) + " Hz; a disc plays 44100 Hz";
  } else if (info.channels != 1 && info.channels != 2) {
    error = "has " + std::to_string(info.channels) + " channels; a disc plays one or two";
  } else if (info.frames <= 0) {
    error = "holds no sound";
  } else if (!info.seekable) {
    error = "cannot be read from a chosen place";
  }
  if (!error.empty()) {
    return nullptr;
  }
  // Floating-point files are scaled to the 16-bit range rather than clipped.
  sf_command(file.get(), SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
  return file;
}

class SoundFileAudio final : public DiscAudio {
 public:
  SoundFileAudio(SoundFileHandle file, const SF_INFO& info, std::vector<Placement> placements)
      : file_(std::move(file)),
        channels_(info.channels),
        frames_(info.frames),
        placements_(std::move(placements)) {}

  bool Read(int64_t first, int16_t* out, size_t frames) override {
    std::fill(out, out + frames * kChannels, int16_t{0});
    const int64_t end = first + static_cast<int64_t>(frames);
    bool ok = true;
    for (size_t i = 0; i < placements_.size(); ++i) {
      const Placement& piece = placements_[i];
      const int64_t fileEnd =
          i + 1 < placements_.size() ? std::min(placements_[i + 1].file, frames_) : frames_;
      const int64_t discEnd = piece.disc + std::max<int64_t>(fileEnd - piece.file, 0);
      const int64_t from = std::max(first, piece.disc);
      const int64_t to = std::min(end, discEnd);
      if (from < to) {
        ok = ReadFile(piece.file + (from - piece.disc), out + (from - first) * kChannels,
                      to - from) &&
             ok;
      }
    }
    return ok;
  }

 private:
  // Reads `count` frames from the file at `at` as stereo; what cannot be read stays silent.
  bool ReadFile(int64_t at, int16_t* out, int64_t count) {
    if (at != filePlace_ && sf_seek(file_.get(), at, SEEK_SET) != at) {
      filePlace_ = -1;
      return false;
    }
    filePlace_ = at;
    sf_count_t got = 0;
    if (channels_ == 2) {
      got = sf_readf_short(file_.get(), out, count);
    } else {
      mono_.resize(static_cast<size_t>(count));
      got = sf_readf_short(file_.get(), mono_.data(), count);
      for (sf_count_t i = 0; i < got; ++i) {
        out[2 * i] = out[2 * i + 1] = mono_[static_cast<size_t>(i)];
      }
    }
    got = std::max<sf_count_t>(got, 0);
    filePlace_ += got;
    return got == count;
  }

  SoundFileHandle file_;
  int channels_;
  int64_t frames_;
  std::vector<Placement> placements_;
  int64_t filePlace_ = 0;  // where the next read starts without a seek; -1 when unknown
  std::vector<int16_t> mono_;
};

}  // namespace

SoundFileFacts ProbeSoundFile(const std::filesystem::path& file) {
  SF_INFO info;
  SoundFileFacts facts;
  if (Open(file, info, facts.error)) {
    facts.frames = info.frames;
  }
  return facts;
}

std::unique_ptr<DiscAudio> OpenSoundFile(const std::filesystem::path& file,
                                         std::vector<Placement> placements, std::string* why) {
  SF_INFO info;
  std::string error;
  SoundFileHandle handle = Open(file, info, error);
  if (!handle) {
    if (why != nullptr) {
      *why = file.string() + ": " + error;
    }
    return nullptr;
  }
  return std::make_unique<SoundFileAudio>(std::move(handle), info, std::move(placements));
}

}  // namespace vantora::platform::audio
