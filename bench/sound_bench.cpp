// SPDX-License-Identifier: GPL-3.0-or-later
// What hearing a disc costs: the CPU time to play a stretch of a FLAC disc image (or of a BIN/CUE
// image on the libcdio drive) through the audible drive into an output, pumped every 20 ms as the
// program pumps, on the manual clock so that only the work is timed. The figure to watch is the
// time for /1000 (one second of sound): under 20 ms is under 2% of one core.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/audible_drive.h"
#include "platform/cdaudio/cdio_drive.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"
#include "tests/support/cd_image.h"

namespace {

using namespace vantora::platform;

constexpr int kDiscSeconds = 30;

// Something like music, so that the FLAC decoder works as hard as on a real rip: two tones and a
// little noise.
void WriteMusic(const std::filesystem::path& path) {
  SF_INFO info{};
  info.samplerate = audio::kSampleRate;
  info.channels = audio::kChannels;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    return;
  }
  std::vector<int16_t> samples(static_cast<size_t>(audio::kSampleRate) * audio::kChannels);
  uint32_t noise = 1;
  for (int second = 0; second < kDiscSeconds; ++second) {
    for (size_t i = 0; i < samples.size(); ++i) {
      const double t = (second * audio::kSampleRate + static_cast<double>(i / 2)) / 44100.0;
      noise = noise * 1664525u + 1013904223u;
      samples[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t) +
                                        5000 * std::sin(2 * M_PI * (i % 2 ? 659 : 523) * t) +
                                        static_cast<int>(noise >> 22) - 512);
    }
    sf_writef_short(file, samples.data(), audio::kSampleRate);
  }
  sf_close(file);
}

// A drive holding the FLAC image on the virtual drive, or a BIN/CUE image of the same length on
// the libcdio drive, heard through `output`, in a temporary directory.
struct HeardImage {
  explicit HeardImage(bool record, bool binCue = false) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-bench-XXXXXX").string();
    directory = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    std::string why;
    if (binCue) {
      const auto cue = vantora::testing::WriteCdImage(directory, "disc", {{kDiscSeconds * 75}});
      drive = std::make_unique<audio::AudibleDrive>(
          std::make_unique<cdaudio::CdioDrive>(cue),
          record ? audio::OpenRecorder(directory / "heard.wav", &why) : audio::OpenNullOutput());
      return;
    }
    WriteMusic(directory / "music.flac");
    std::ofstream(directory / "music.cue")
        << "FILE \"music.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const cdaudio::DiscReading image = cdaudio::ReadDiscImage(directory / "music.cue");
    cdaudio::VirtualDrive hand(directory / "drive");
    if (image.disc) {
      hand.Insert(*image.disc);
    }
    clock.Advance(cdaudio::kSpinUpTime);
    drive = std::make_unique<audio::AudibleDrive>(
        std::make_unique<cdaudio::VirtualDrive>(directory / "drive"),
        record ? audio::OpenRecorder(directory / "heard.wav", &why) : audio::OpenNullOutput());
  }
  ~HeardImage() {
    drive.reset();
    std::error_code ec;
    std::filesystem::remove_all(directory, ec);
  }
  std::filesystem::path directory;
  ManualClock clock{ClockTime{1000}};
  ScopedClock scoped{clock};
  std::unique_ptr<audio::AudibleDrive> drive;
};

void HearSound(benchmark::State& state, bool record, bool binCue = false) {
  HeardImage image(record, binCue);
  const int64_t pumps = state.range(0) / 20;
  const cdaudio::Frames start{150};
  const cdaudio::Frames end{150 + kDiscSeconds * 75};
  if (!image.drive->Play(start, end).ok()) {
    state.SkipWithError("the image does not play");
    return;
  }
  int64_t played = 0;
  for (auto _ : state) {
    if (played + state.range(0) > (kDiscSeconds - 1) * 1000) {
      state.PauseTiming();
      image.drive->Play(start, end);  // round again
      played = 0;
      state.ResumeTiming();
    }
    for (int64_t i = 0; i < pumps; ++i) {
      image.clock.Advance(ClockTime{20});
      image.drive->Pump();
    }
    played += state.range(0);
  }
}

void BM_HearFlacIntoNothing(benchmark::State& state) {
  HearSound(state, false);
}
BENCHMARK(BM_HearFlacIntoNothing)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_HearFlacIntoRecorder(benchmark::State& state) {
  HearSound(state, true);
}
BENCHMARK(BM_HearFlacIntoRecorder)->Arg(1000)->Unit(benchmark::kMillisecond);

// The BIN/CUE image on the libcdio drive, its sound read through libcdio-paranoia.
void BM_HearBinCueIntoNothing(benchmark::State& state) {
  HearSound(state, false, true);
}
BENCHMARK(BM_HearBinCueIntoNothing)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_HearBinCueIntoRecorder(benchmark::State& state) {
  HearSound(state, true, true);
}
BENCHMARK(BM_HearBinCueIntoRecorder)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
