// SPDX-License-Identifier: GPL-3.0-or-later
// What making the demo disc costs: the time to synthesize its music and write the FLAC file and
// its sheet into a temporary directory, as the drive does at its first start. The figure to watch
// is the time per disc (under a second in a release build); the FLAC file's size is reported too.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/audio/demo_music.h"

namespace {

using namespace vantora::platform;

void BM_WriteDemoDisc(benchmark::State& state) {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantora-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("cannot create a temporary directory");
    return;
  }
  const std::filesystem::path directory = pattern;
  for (auto _ : state) {
    std::string why;
    if (audio::WriteDemoDisc(directory, &why).empty()) {
      state.SkipWithError(why.c_str());
      break;
    }
  }
  std::error_code ec;
  state.counters["flac_bytes"] =
      static_cast<double>(std::filesystem::file_size(directory / "demo.flac", ec));
  std::filesystem::remove_all(directory, ec);
}
// The argument names no size: it lets the smoke run's filter (/1000) pick the one case.
BENCHMARK(BM_WriteDemoDisc)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
