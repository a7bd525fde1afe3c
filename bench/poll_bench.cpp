// SPDX-License-Identifier: GPL-3.0-or-later
// One tick of the player's status poll on the virtual drive and the model window system, as the
// main window's timer event runs it: while the disc is stopped (two queries), and while it plays
// (the time queries and the display too).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/cdplayer.h"
#include "app/device.h"
#include "app/state.h"
#include "platform/cdaudio/command_device.h"
#include "platform/cdaudio/virtual_drive.h"
#include "platform/clock.h"
#include "platform/model_window_system.h"
#include "platform/profile/profile.h"
#include "runtime/window.h"

namespace {

using namespace vantora;

// The player's main window on a drive with the demo disc, in a temporary directory.
class Player {
 public:
  Player() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-bench-XXXXXX").string();
    directory_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    setenv("VANTORA_CONFIG_DIR", directory_.c_str(), 1);
    platform::cdaudio::EnsureDefaultDrive(directory_ / "drive");
    previousDevice_ = platform::InstallCommandDevice(std::make_unique<platform::CommandDevice>(
        std::make_unique<platform::cdaudio::VirtualDrive>(directory_ / "drive")));
    platform::SetCurrentWindowSystem(&model_);
    app::ResetState();
    app::MAINWINDOW = runtime::WINDOWCREATE(
        "P2$CDPLAYWIN", "cdplayer$CDPLAYER",
        {&app::STAYONTOP, &app::CONTROLPANEL, &app::AUTOPLAY, &app::LOOKUPTITLES,
         &app::CURRENTTITLE, &app::PLAYQUEUE, &app::ALBUMARTIST, &app::SELECTEDPLAYLIST,
         &app::PLAYLISTQUEUE, &app::ALBUMTITLE, &app::STATUSTEXT, &app::TIMETEXT, &app::TIMELABEL});
    runtime::WINDOWOPEN(app::MAINWINDOW);
    runtime::EVENTLOOP();  // EVENT:OpenWindow: the device opens and the first poll runs
    app::MAINWINDOWEVENT();
  }
  ~Player() {
    runtime::ResetWindows();
    platform::SetCurrentWindowSystem(nullptr);
    platform::InstallCommandDevice(std::move(previousDevice_));
    app::ResetState();
    platform::FlushProfiles();
    std::error_code ec;
    std::filesystem::remove_all(directory_, ec);
  }
  // One timer event of the main window while the device is open: the loop body's poll and the
  // window's redisplay of what it changed.
  void Tick() {
    clock_.Advance(platform::ClockTime{750});
    runtime::EVENTLOOP();
    app::MAINWINDOWEVENT();
  }

 private:
  platform::ManualClock clock_;
  platform::ScopedClock useClock_{clock_};
  platform::ModelWindowSystem model_{&clock_};
  std::filesystem::path directory_;
  std::unique_ptr<platform::CommandDevice> previousDevice_;
};

void BM_PollTickStopped(benchmark::State& state) {
  Player player;
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) {
      player.Tick();
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PollTickStopped)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_PollTickPlaying(benchmark::State& state) {
  Player player;
  app::REPEATMODE = 2;  // the disc starts again at its end: every tick measured plays
  app::PLAYENTRY(1, 1);
  player.Tick();  // the change to "playing" and its scan, once
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) {
      player.Tick();
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PollTickPlaying)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
