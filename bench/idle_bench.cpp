// SPDX-License-Identifier: GPL-3.0-or-later
// Idle cost: the CPU time the player takes while it sits stopped, with a disc in and with none,
// beside a bare Qt window with a timer as often as the player's poll (idle_bare). All three run at
// once as child processes; after they settle, their user and system time (/proc/PID/stat) is
// taken over the argument's milliseconds and given per minute. The real figure is the /60000 case;
// /1000 is the smoke run's. The children take Qt's platform from the environment, offscreen when
// there is no display; under a session bus and a sound server (dbus-run-session, pulseaudio) the
// player runs as it does on a desktop, its media keys and sound output included.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vantora::bench {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The goal: a tenth of a percent of one core.
constexpr double kGoalMsPerMinute = 60;
// Time for a child to start, find its drive and settle before it is measured.
constexpr auto kSettle = 4s;

// Settings of a returning user who does not want a disc to start playing by itself.
constexpr char kSettings[] = "[CD Player Settings]\r\nProduct=Vantora\r\nAuto Play=0\r\n";

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A child process with its own additions to the environment and its output in a log file.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::vector<std::string>& env,
        const fs::path& log)
      : log_(log) {
    std::vector<std::string> environment = env;
    for (char** var = environ; *var != nullptr; ++var) {
      environment.emplace_back(*var);  // the first of a name wins
    }
    std::vector<char*> argv, envp;
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    for (const std::string& var : environment) {
      envp.push_back(const_cast<char*>(var.c_str()));
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = 0;
      error_ = args[0] + ": " + std::strerror(spawned);
    }
  }
  ~Child() {
    if (pid_ == 0) {
      return;
    }
    kill(pid_, SIGTERM);
    for (int waited = 0; waited < 50; ++waited) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        return;
      }
      std::this_thread::sleep_for(100ms);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Waits for the child to end by itself; true when it exited with status 0.
  bool Succeeded() {
    int status = 0;
    const bool ended = pid_ != 0 && waitpid(pid_, &status, 0) == pid_;
    pid_ = 0;
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // User and system time so far, in milliseconds; negative once the child is gone.
  double CpuMs() const {
    const std::string text = Read("/proc/" + std::to_string(pid_) + "/stat");
    // The name in parentheses may hold spaces; the fields after it do not.
    const size_t close = text.rfind(')');
    if (pid_ == 0 || close == std::string::npos || waitpid(pid_, nullptr, WNOHANG) != 0) {
      return -1;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
      if (index == 14) {
        utime = std::atoll(field.c_str());
      } else if (index == 15) {
        stime = std::atoll(field.c_str());
        break;
      }
    }
    return static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

  // Why the child cannot be measured: it did not start, or it ended; with the end of its log.
  std::string Problem() const {
    if (!error_.empty()) {
      return error_;
    }
    const std::string log = Read(log_);
    return "a child ended early; it said: " +
           (log.size() > 600 ? log.substr(log.size() - 600) : log);
  }

 private:
  pid_t pid_ = 0;
  fs::path log_;
  std::string error_;
};

// A temporary home per run: settings and a virtual drive for each player, the demo music too.
struct Home {
  Home() {
    std::string pattern = (fs::temp_directory_path() / "vantora-idle-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      dir = pattern;
    }
  }
  ~Home() {
    std::error_code ignored;
    if (!dir.empty()) {
      fs::remove_all(dir, ignored);
    }
  }
  Home(const Home&) = delete;
  Home& operator=(const Home&) = delete;

  // Settings and an empty drive directory named `name`; false when they cannot be made.
  bool Prepare(const std::string& name) {
    std::error_code ec;
    fs::create_directories(dir / name / "config", ec);
    fs::create_directories(dir / name / "drive", ec);
    std::ofstream out(dir / name / "config" / "ZQ_CD.INI", std::ios::binary);
    out << kSettings;
    return !ec && static_cast<bool>(out.flush());
  }

  std::vector<std::string> Environment(const std::string& name) const {
    return {"VANTORA_CONFIG_DIR=" + (dir / name / "config").string(),
            "XDG_DATA_HOME=" + (dir / "data").string()};
  }

  fs::path dir;
};

double PerMinute(double ms, double overMs) {
  return overMs > 0 ? ms * 60000.0 / overMs : 0;
}

std::string Verdict(const char* what, double msPerMinute) {
  return std::string(what) + (msPerMinute <= kGoalMsPerMinute ? " within " : " over ") +
         std::to_string(static_cast<int>(kGoalMsPerMinute)) + " ms/min";
}

// The player stopped with the demo disc in, one with the drive empty and the bare window, each
// measured over range(0) milliseconds per iteration.
void BM_Idle(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  }
  Home home;
  if (home.dir.empty() || !home.Prepare("disc") || !home.Prepare("empty")) {
    state.SkipWithError("cannot make the temporary settings and drives");
    return;
  }
  const fs::path emptyDrive = home.dir / "empty" / "drive";
  // A drive that has been used and emptied: the player does not give it the demo disc.
  Child eject({VANTORA_DRIVE_TOOL, "--drive", emptyDrive.string(), "eject"}, {},
              home.dir / "eject.log");
  if (!eject.Succeeded()) {
    state.SkipWithError(("vantora-drive eject: " + Read(home.dir / "eject.log")).c_str());
    return;
  }
  const auto player = [&home](const std::string& name) {
    return std::vector<std::string>{VANTORA_EXECUTABLE, "--drive",
                                    (home.dir / name / "drive").string()};
  };
  Child disc(player("disc"), home.Environment("disc"), home.dir / "disc.log");
  Child empty(player("empty"), home.Environment("empty"), home.dir / "empty.log");
  Child bare({VANTORA_IDLE_BARE}, {}, home.dir / "bare.log");
  std::this_thread::sleep_for(kSettle);

  const std::vector<const Child*> children = {&disc, &empty, &bare};
  std::vector<double> spent(children.size(), 0);
  double measuredMs = 0;
  const auto period = std::chrono::milliseconds(state.range(0));
  for (auto _ : state) {
    std::vector<double> before;
    for (const Child* child : children) {
      before.push_back(child->CpuMs());
    }
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(period);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    for (size_t i = 0; i < children.size(); ++i) {
      const double after = children[i]->CpuMs();
      if (before[i] < 0 || after < 0) {
        state.SkipWithError(children[i]->Problem().c_str());
        return;
      }
      spent[i] += after - before[i];
    }
    measuredMs += took.count();
    state.SetIterationTime(took.count() / 1000.0);
  }
  const double discPerMinute = PerMinute(spent[0], measuredMs);
  const double emptyPerMinute = PerMinute(spent[1], measuredMs);
  const double barePerMinute = PerMinute(spent[2], measuredMs);
  state.counters["disc_ms_per_min"] = discPerMinute;
  state.counters["no_disc_ms_per_min"] = emptyPerMinute;
  state.counters["bare_ms_per_min"] = barePerMinute;
  state.SetLabel(Verdict("disc", discPerMinute) + ", " + Verdict("no disc", emptyPerMinute) + ", " +
                 Verdict("bare", barePerMinute));
}
// A minute for the figures; a second for the smoke run, which proves the children start and
// settle but measures too little to mean much.
BENCHMARK(BM_Idle)->Arg(1000)->Arg(60000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantora::bench

BENCHMARK_MAIN();
