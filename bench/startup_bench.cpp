// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up cost: the time from process start to the first painted main window, and the peak
// resident memory, of the player beside a bare Qt window of the same size. Every run is a fresh
// child process (startup_player or startup_bare) that prints when its first frame was painted and
// exits; the time counts from just before the spawn, the memory is the child's peak resident set.
// Counters are medians over the iterations (taken in turns, player and bare); for figures run a
// release build by hand with --benchmark_min_time=5. The children take Qt's platform from the
// environment, offscreen when there is no display (run under xvfb-run to measure on X11).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace vantora::bench {
namespace {

namespace fs = std::filesystem;

// A sanitizer build starts many times slower; a child that takes this long is stuck.
constexpr long long kChildTimeoutMs = 60000;

// The system-wide monotonic clock, which the children read for their first frame too.
long long MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct ChildRun {
  std::string error;  // empty when the child exited with status 0
  std::string output;
  long long spawnedAt = 0;
  double peakMiB = 0;
  double cpuSeconds = 0;  // user and system
};

// The end of a child's messages, for a report that outlives the temporary directory.
std::string Tail(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.size() > 600 ? "..." + text.substr(text.size() - 600) : text;
}

// Runs `args` with its standard output captured and its standard error in `errorLog`.
ChildRun RunChild(const std::vector<std::string>& args, const fs::path& errorLog) {
  ChildRun run;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    run.error = std::string("pipe: ") + std::strerror(errno);
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorLog.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  run.spawnedAt = MonotonicNanoseconds();
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    run.error = args[0] + ": " + std::strerror(spawned);
    return run;
  }
  bool timedOut = false;
  char buffer[4096];
  for (;;) {
    const long long left =
        run.spawnedAt / 1000000 + kChildTimeoutMs - MonotonicNanoseconds() / 1000000;
    pollfd fd{out[0], POLLIN, 0};
    const int ready = left > 0 ? poll(&fd, 1, static_cast<int>(left)) : 0;
    if (ready == 0) {
      timedOut = true;
      break;
    }
    const ssize_t got = ready > 0 ? read(out[0], buffer, sizeof buffer) : -1;
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;  // the child has exited (or closed its output)
    }
    run.output.append(buffer, static_cast<size_t>(got));
  }
  close(out[0]);
  if (timedOut) {
    kill(pid, SIGKILL);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (timedOut) {
    run.error = args[0] + ": still running after " + std::to_string(kChildTimeoutMs / 1000) + " s";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    run.error = args[0] + ": " +
                (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                   : "signal " + std::to_string(WTERMSIG(status))) +
                "; it said: " + Tail(errorLog);
  }
  return run;
}

struct FirstFrame {
  double seconds = 0;  // from the spawn
  int width = 0;
  int height = 0;
  std::string platform;
};

std::optional<FirstFrame> FindFirstFrame(const ChildRun& run) {
  std::istringstream lines(run.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string tag;
    long long at = 0;
    FirstFrame frame;
    if (fields >> tag >> at >> frame.width >> frame.height >> frame.platform &&
        tag == "first-frame") {
      frame.seconds = static_cast<double>(at - run.spawnedAt) / 1e9;
      return frame;
    }
  }
  return std::nullopt;
}

// A settings file of `albums` albums of twelve titled tracks and a playlist each, as a long-time
// user's file holds them: the player reads the file as it starts.
bool WriteAlbums(const fs::path& file, int albums) {
  std::ofstream out(file, std::ios::binary);
  for (int album = 0; album < albums; ++album) {
    out << '[' << 10 + album % 89 << 27120124501LL + 7919LL * album << "]\r\n"
        << "Title=Album number " << album << "\r\nArtist=Artist number " << album % 97 << "\r\n";
    for (int track = 1; track <= 12; ++track) {
      out << "Track " << track << "=Title of track " << track << " of album " << album << "\r\n";
    }
    out << "PlayList Count=1\r\nPlayList 1 Title=Favourites\r\nPlayList 1= 4 1 3 5 7\r\n\r\n";
  }
  return static_cast<bool>(out.flush());
}

// A drive and a settings directory per album count, in a directory that goes away at exit, each
// made ready by one whole run of the real program (demo disc inserted, settings written), so the
// measured starts are a returning user's.
class Homes {
 public:
  ~Homes() {
    std::error_code ignored;
    for (auto& [albums, dir] : dirs_) {
      fs::remove_all(dir, ignored);
    }
  }

  // The directory for `albums`, or an empty path with `error` set.
  fs::path Use(int albums, std::string& error) {
    auto it = dirs_.find(albums);
    if (it == dirs_.end()) {
      std::string pattern = (fs::temp_directory_path() / "vantora-startup-XXXXXX").string();
      if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a temporary directory";
        return {};
      }
      it = dirs_.emplace(albums, pattern).first;
      const fs::path dir = it->second;
      std::error_code ec;
      fs::create_directory(dir / "config", ec);
      fs::create_directory(dir / "drive", ec);
      if (ec || !WriteAlbums(dir / "config" / "ZQ_CD.INI", albums)) {
        error = "cannot write the settings file in " + dir.string();
        return {};
      }
      setenv("VANTORA_CONFIG_DIR", (dir / "config").c_str(), 1);
      const ChildRun whole = RunChild({VANTORA_EXECUTABLE, "--drive", (dir / "drive").string(),
                                       "--screenshot", (dir / "settled.png").string()},
                                      dir / "vantora.log");
      if (!whole.error.empty()) {
        error = whole.error;
        return {};
      }
    }
    setenv("VANTORA_CONFIG_DIR", (fs::path(it->second) / "config").c_str(), 1);
    return it->second;
  }

 private:
  std::map<int, std::string> dirs_;
};

Homes& TheHomes() {
  static Homes homes;
  return homes;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The player's start with range(0) albums in its settings file, each iteration a start of the
// player and one of the bare window; the iteration time is the player's.
void BM_StartUp(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  }
  std::string error;
  const fs::path dir = TheHomes().Use(static_cast<int>(state.range(0)), error);
  if (dir.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::vector<std::string> player = {VANTORA_STARTUP_PLAYER, "--drive",
                                           (dir / "drive").string()};
  // A first run of each, not counted, warms the file cache and gives the window's size.
  const ChildRun sizing = RunChild(player, dir / "player.log");
  const std::optional<FirstFrame> size = FindFirstFrame(sizing);
  if (!sizing.error.empty() || !size || size->width <= 0 || size->height <= 0) {
    state.SkipWithError(
        (sizing.error.empty() ? "the player showed no frame" : sizing.error).c_str());
    return;
  }
  const std::vector<std::string> bare = {VANTORA_STARTUP_BARE, std::to_string(size->width),
                                         std::to_string(size->height)};
  RunChild(bare, dir / "bare.log");

  std::vector<double> playerSeconds, bareSeconds, playerCpu, bareCpu, playerMiB, bareMiB;
  bool bareFirst = false;
  for (auto _ : state) {
    // Turns, so that neither program always follows the other.
    ChildRun b;
    if (bareFirst) {
      b = RunChild(bare, dir / "bare.log");
    }
    const ChildRun p = RunChild(player, dir / "player.log");
    if (!bareFirst) {
      b = RunChild(bare, dir / "bare.log");
    }
    bareFirst = !bareFirst;
    const std::optional<FirstFrame> pFrame = FindFirstFrame(p);
    const std::optional<FirstFrame> bFrame = FindFirstFrame(b);
    if (!p.error.empty() || !b.error.empty() || !pFrame || !bFrame) {
      error = !p.error.empty() ? p.error : !b.error.empty() ? b.error : "no first frame reported";
      state.SkipWithError(error.c_str());
      break;
    }
    if (bFrame->width != size->width || bFrame->height != size->height) {
      state.SkipWithError("the bare window came up at another size than the player's");
      break;
    }
    state.SetIterationTime(pFrame->seconds);
    playerSeconds.push_back(pFrame->seconds);
    bareSeconds.push_back(bFrame->seconds);
    playerCpu.push_back(p.cpuSeconds);
    bareCpu.push_back(b.cpuSeconds);
    playerMiB.push_back(p.peakMiB);
    bareMiB.push_back(b.peakMiB);
  }
  if (playerSeconds.empty()) {
    return;
  }
  const double start = Median(playerSeconds) / Median(bareSeconds);
  const double memory = Median(playerMiB) / Median(bareMiB);
  state.counters["player_ms"] = Median(playerSeconds) * 1e3;
  state.counters["bare_ms"] = Median(bareSeconds) * 1e3;
  state.counters["start_ratio"] = start;
  state.counters["player_cpu_ms"] = Median(playerCpu) * 1e3;
  state.counters["bare_cpu_ms"] = Median(bareCpu) * 1e3;
  state.counters["player_MiB"] = Median(playerMiB);
  state.counters["bare_MiB"] = Median(bareMiB);
  state.counters["memory_ratio"] = memory;
  // The goals: both within 1.3 times the bare window's.
  state.SetLabel(std::to_string(size->width) + "x" + std::to_string(size->height) + " " +
                 size->platform + (start <= 1.3 ? ", start within 1.3x" : ", start over 1.3x") +
                 (memory <= 1.3 ? ", memory within 1.3x" : ", memory over 1.3x"));
}
// The argument is the number of albums in the settings file: none, and a long-time user's 1000
// (the smoke run's size, by the /1000/ in its name).
BENCHMARK(BM_StartUp)->Arg(0)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantora::bench

BENCHMARK_MAIN();
