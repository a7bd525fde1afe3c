// SPDX-License-Identifier: GPL-3.0-or-later
// What reading a disc's sound through libcdio-paranoia costs: the CPU time to read a stretch of a
// BIN/CUE image in the 20 ms pieces a pump asks for. The figure to watch is the time for /1000
// (one second of sound): under 20 ms is under 2% of one core. "Image" is how images are read;
// "Verified" reads the same image with every check a real drive gets, so it shows what those
// checks cost the processor (a real drive adds its own waiting, which costs no CPU).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/cdaudio/cdio_audio.h"
#include "platform/cdaudio/cdio_drive.h"
#include "tests/support/cd_image.h"

namespace {

using namespace vantora::platform;

constexpr int32_t kDiscSeconds = 30;
constexpr int64_t kPerFrame = audio::kSamplesPerDiscFrame;

// A one-track image of kDiscSeconds in a temporary directory, and its table of contents.
struct Image {
  Image() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-bench-XXXXXX").string();
    directory = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    cue = vantora::testing::WriteCdImage(directory, "disc", {{kDiscSeconds * 75}});
    toc = cdaudio::CdioDrive(cue).ReadToc().value;
  }
  ~Image() {
    std::error_code ec;
    std::filesystem::remove_all(directory, ec);
  }
  std::filesystem::path directory;
  std::filesystem::path cue;
  cdaudio::Toc toc;
};

void ReadSound(benchmark::State& state, bool image) {
  Image disc;
  cdaudio::ParanoiaAudio sound(std::make_shared<cdaudio::CdioDisc>(disc.cue, disc.toc, image));
  constexpr size_t kPiece = audio::kSampleRate / 50;  // 20 ms
  std::vector<int16_t> samples(2 * kPiece);
  const int64_t start = 150 * kPerFrame;
  const int64_t end = (150 + kDiscSeconds * 75) * kPerFrame;
  int64_t place = start;
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0) / 20; ++i) {
      if (place + static_cast<int64_t>(kPiece) > end) {
        place = start;  // round again
      }
      if (!sound.Read(place, samples.data(), kPiece)) {
        state.SkipWithError("the image could not be read");
        return;
      }
      place += kPiece;
    }
  }
}

void BM_ParanoiaImage(benchmark::State& state) {
  ReadSound(state, true);
}
BENCHMARK(BM_ParanoiaImage)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ParanoiaVerified(benchmark::State& state) {
  ReadSound(state, false);
}
BENCHMARK(BM_ParanoiaVerified)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
