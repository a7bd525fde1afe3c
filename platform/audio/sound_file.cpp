// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files behind disc images, read with libsndfile.
#include "platform/audio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/audio/sound_output.h"

namespace vantora::platform::audio {
namespace {

struct CloseSoundFile {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFileHandle = std::unique_ptr<SNDFILE, CloseSoundFile>;

// Opens the file for reading and checks that a disc can play it; `recognised` tells whether
// libsndfile knew its format.
SoundFileHandle Open(const std::filesystem::path& path, Samples samples, SF_INFO& info,
                     std::string& error, bool* recognised = nullptr) {
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
  if (samples != Samples::Detect) {
    info.samplerate = kSampleRate;
    info.channels = kChannels;
    info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 |
                  (samples == Samples::RawBig ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
  }
  SoundFileHandle file(sf_open(path.c_str(), SFM_READ, &info));
  if (recognised != nullptr) {
    *recognised = file != nullptr;
  }
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

// One open file of the disc's sound.
class SoundSource {
 public:
  SoundSource(SoundFileHandle file, const SF_INFO& info)
      : file_(std::move(file)), channels_(info.channels), frames_(info.frames) {}

  int64_t frames() const { return frames_; }

  // Reads `count` frames from the file at `at` as stereo; what cannot be read stays silent.
  bool Read(int64_t at, int16_t* out, int64_t count) {
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

 private:
  SoundFileHandle file_;
  int channels_;
  int64_t frames_;
  int64_t filePlace_ = 0;  // where the next read starts without a seek; -1 when unknown
  std::vector<int16_t> mono_;
};

class DiscSoundFiles final : public DiscAudio {
 public:
  DiscSoundFiles(std::vector<std::unique_ptr<SoundSource>> sources,
                 std::vector<Placement> placements)
      : sources_(std::move(sources)), placements_(std::move(placements)) {
    // A stretch ends where its file's next one begins in it, or the file ends, and never past
    // the disc's next stretch.
    for (size_t i = 0; i < placements_.size(); ++i) {
      const Placement& piece = placements_[i];
      SoundSource* source = Source(piece);
      int64_t fileEnd = source == nullptr ? piece.file : source->frames();
      int64_t discLimit = INT64_MAX;
      for (size_t j = i + 1; j < placements_.size(); ++j) {
        discLimit = std::min(discLimit, placements_[j].disc);
        if (placements_[j].source == piece.source) {
          fileEnd = std::min(fileEnd, placements_[j].file);
          break;
        }
      }
      ends_.push_back(std::min(piece.disc + std::max<int64_t>(fileEnd - piece.file, 0), discLimit));
    }
  }

  bool Read(int64_t first, int16_t* out, size_t frames) override {
    std::fill(out, out + frames * kChannels, int16_t{0});
    const int64_t end = first + static_cast<int64_t>(frames);
    bool ok = true;
    for (size_t i = 0; i < placements_.size(); ++i) {
      const Placement& piece = placements_[i];
      const int64_t from = std::max(first, piece.disc);
      const int64_t to = std::min(end, ends_[i]);
      if (from < to) {
        ok = Source(piece)->Read(piece.file + (from - piece.disc), out + (from - first) * kChannels,
                                 to - from) &&
             ok;
      }
    }
    return ok;
  }

 private:
  SoundSource* Source(const Placement& piece) const {
    return piece.source >= 0 && static_cast<size_t>(piece.source) < sources_.size()
               ? sources_[static_cast<size_t>(piece.source)].get()
               : nullptr;
  }

  std::vector<std::unique_ptr<SoundSource>> sources_;  // nullptr for a file that did not open
  std::vector<Placement> placements_;
  std::vector<int64_t> ends_;  // where each stretch ends on the disc
};

}  // namespace

SoundFileFacts ProbeSoundFile(const std::filesystem::path& file) {
  SF_INFO info;
  SoundFileFacts facts;
  SoundFileHandle handle = Open(file, Samples::Detect, info, facts.error, &facts.recognised);
  if (!handle) {
    return facts;
  }
  facts.frames = info.frames;
  SF_CUES cues{};
  if (sf_command(handle.get(), SFC_GET_CUE, &cues, sizeof(cues)) == SF_TRUE) {
    for (uint32_t i = 0; i < std::min<uint32_t>(cues.cue_count, 100); ++i) {
      const int64_t at = cues.cue_points[i].sample_offset;
      if (at < info.frames && (facts.cues.empty() || at > facts.cues.back())) {
        facts.cues.push_back(at);
      }
    }
  }
  for (const int tag : {SF_STR_ALBUM, SF_STR_TITLE}) {
    const char* text = sf_get_string(handle.get(), tag);
    if (text != nullptr && *text != '\0' && facts.title.empty()) {
      facts.title = text;
    }
  }
  return facts;
}

std::unique_ptr<DiscAudio> OpenDiscSound(const std::vector<SoundFileSpec>& files,
                                         std::vector<Placement> placements, std::string* why) {
  std::vector<std::unique_ptr<SoundSource>> sources;
  bool any = false;
  for (const SoundFileSpec& spec : files) {
    SF_INFO info;
    std::string error;
    SoundFileHandle handle = Open(spec.path, spec.samples, info, error);
    if (!handle) {
      if (why != nullptr) {
        *why += (why->empty() ? "" : "; ") + spec.path.string() + ": " + error;
      }
      sources.push_back(nullptr);
      continue;
    }
    any = true;
    sources.push_back(std::make_unique<SoundSource>(std::move(handle), info));
  }
  if (!any) {
    return nullptr;
  }
  return std::make_unique<DiscSoundFiles>(std::move(sources), std::move(placements));
}

std::unique_ptr<DiscAudio> OpenSoundFile(const std::filesystem::path& file,
                                         std::vector<Placement> placements, std::string* why) {
  return OpenDiscSound({SoundFileSpec{file}}, std::move(placements), why);
}

}  // namespace vantora::platform::audio
