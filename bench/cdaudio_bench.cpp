// SPDX-License-Identifier: GPL-3.0-or-later
// The command-string device on the virtual drive: what one status poll and one play command cost,
// each reading (and the play writing) the drive's state file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/virtual_drive.h"

namespace {

using namespace vantora::platform;

// A drive with the demo disc in, in a temporary directory removed at the end.
struct Drive {
  Drive() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-bench-XXXXXX").string();
    directory = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    cdaudio::EnsureDefaultDrive(directory);
    device.emplace(std::make_unique<cdaudio::VirtualDrive>(directory));
    std::string reply;
    device->Send("open cdaudio shareable", reply);
  }
  ~Drive() {
    std::error_code ec;
    std::filesystem::remove_all(directory, ec);
  }
  std::filesystem::path directory;
  std::optional<CommandDevice> device;
};

// One tick of the player's poll: ready, mode, then the times it shows while playing.
void BM_PollTick(benchmark::State& state) {
  Drive drive;
  std::string reply;
  const auto ticks = state.range(0);
  for (auto _ : state) {
    for (int64_t i = 0; i < ticks; ++i) {
      drive.device->Send("status cdaudio ready", reply);
      drive.device->Send("status cdaudio mode", reply);
      drive.device->Send("status cdaudio current track", reply);
      drive.device->Send("status cdaudio position", reply);
      benchmark::DoNotOptimize(reply);
    }
  }
  state.SetItemsProcessed(state.iterations() * ticks);
}
BENCHMARK(BM_PollTick)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// Starting a track as the player does: format, play, format.
void BM_PlayEntry(benchmark::State& state) {
  Drive drive;
  std::string reply;
  const auto plays = state.range(0);
  for (auto _ : state) {
    for (int64_t i = 0; i < plays; ++i) {
      drive.device->Send("set cdaudio time format tmsf", reply);
      drive.device->Send("play cdaudio from " + std::to_string(1 + i % 12), reply);
      drive.device->Send("set cdaudio time format msf", reply);
    }
  }
  state.SetItemsProcessed(state.iterations() * plays);
}
BENCHMARK(BM_PlayEntry)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
