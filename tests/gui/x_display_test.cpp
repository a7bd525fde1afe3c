// The vantora program on a real X server (Xvfb), as a person uses it: the window's title read
// from the server, its toolbar buttons clicked and its menu worked with the keyboard (xdotool),
// and the settings it saved when it closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "windows/definition.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous: a loaded machine with two cores may take seconds to start a program.
constexpr auto kStartLimit = 60s;
constexpr auto kChangeLimit = 30s;

// A process this test started; ended and reaped when it goes out of scope.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Stop(); }

  // Starts argv[0], found on the PATH, with `env`; its output goes to `log`.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::filesystem::path& log) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : env) {
      envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int error = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    return error == 0;
  }
  // Whether it has ended by itself within `limit`; its exit code then in `code`.
  bool WaitForExit(std::chrono::milliseconds limit, int& code) {
    const auto end = Clock::now() + limit;
    while (pid_ > 0) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = 0;
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
      }
      if (Clock::now() > end) {
        return false;
      }
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  // Asks it to end, so that a server can take its display's lock away, then makes it.
  void Stop() {
    int code = 0;
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
    }
    if (pid_ > 0 && !WaitForExit(10s, code)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
};

// The environment of this process without the entries named, plus the ones given.
std::vector<std::string> Environment(const std::vector<std::string>& drop,
                                     const std::vector<std::string>& add) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (std::find(drop.begin(), drop.end(), name) == drop.end()) {
      env.push_back(text);
    }
  }
  env.insert(env.end(), add.begin(), add.end());
  return env;
}

std::string Output(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return "";
  }
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  ::pclose(pipe);
  while (!output.empty() && output.back() == '\n') {
    output.pop_back();
  }
  return output;
}

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Asks `probe` every tenth of a second until it gives a non-empty answer or `limit` has passed.
std::string Poll(std::chrono::milliseconds limit, const std::function<std::string()>& probe) {
  const auto end = Clock::now() + limit;
  for (;;) {
    if (std::string answer = probe(); !answer.empty() || Clock::now() > end) {
      return answer;
    }
    std::this_thread::sleep_for(100ms);
  }
}

class XDisplay : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool"}) {
      ASSERT_EQ(std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()), 0)
          << tool << " is missing: scripts/deps.sh installs it (packages xvfb, xdotool)";
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-x-display-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    StartServer();
  }
  void TearDown() override {
    player_.Stop();
    server_.Stop();
    std::filesystem::remove_all(dir_);
  }

  // An X server on a display number it picks itself, so that parallel runs do not meet.
  void StartServer() {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ::fcntl(fds[1], F_SETFD, 0);  // the server writes its number here
    const bool started = server_.Start({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen",
                                        "0", "1024x768x24", "-nolisten", "tcp"},
                                       Environment({}, {}), dir_ / "xvfb.log");
    ::close(fds[1]);
    std::string number;
    const auto end = Clock::now() + kStartLimit;
    pollfd readable{fds[0], POLLIN, 0};
    while (started && number.find('\n') == std::string::npos && Clock::now() < end &&
           ::poll(&readable, 1, 100) >= 0) {
      char c = 0;
      if ((readable.revents & (POLLIN | POLLHUP)) != 0 && ::read(fds[0], &c, 1) != 1) {
        break;
      }
      if (c != 0) {
        number += c;
      }
    }
    ::close(fds[0]);
    ASSERT_TRUE(started) << "Xvfb did not start";
    ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb gave no display number";
    display_ = ":" + number.substr(0, number.find('\n'));
  }

  std::string X(const std::string& arguments) const {
    // A server that stopped answering must not hold the test up.
    return Output("DISPLAY=" + display_ + " timeout 30 xdotool " + arguments + " 2>/dev/null");
  }
  std::string Title() const { return X("getwindowname " + window_); }
  // Waits until the window's title matches `pattern`; returns the title then, or "" after the
  // limit.
  std::string AwaitTitle(const std::string& pattern, std::chrono::milliseconds limit) const {
    const std::regex wanted(pattern);
    return Poll(limit, [&] {
      const std::string title = Title();
      return std::regex_match(title, wanted) ? title : std::string();
    });
  }
  // Clicks the middle of a toolbar button of the main window, found by its place in the
  // definition. The window is as wide as its definition, so that width gives the units' size;
  // in the compact form the toolbar is the bottom of the window. Vertical units are taken to be
  // as large as horizontal ones, which lands well inside the 18-unit-high buttons.
  void ClickToolbarButton(int number) const {
    const auto definition =
        vantora::windows::FindWindowDefinition("cdplayer$CDPLAYER", "P2$CDPLAYWIN");
    ASSERT_TRUE(definition && definition->toolbar);
    const std::string geometry = X("getwindowgeometry --shell " + window_);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(geometry, match, std::regex("WIDTH=(\\d+)\\nHEIGHT=(\\d+)")))
        << geometry;
    const double unit = std::stod(match[1]) / definition->position.width;
    const int height = std::stoi(match[2]);
    const int toolbar = definition->toolbar->position->height;
    for (const auto& button : definition->toolbar->children) {
      if (button.number == number && button.position) {
        const auto& at = *button.position;
        const int x = static_cast<int>((at.x + at.width / 2.0) * unit);
        const int y = height - static_cast<int>((toolbar - at.y - at.height / 2.0) * unit);
        X("mousemove --window " + window_ + " " + std::to_string(x) + " " + std::to_string(y) +
          " click 1");
        return;
      }
    }
    FAIL() << "no toolbar button " << number;
  }

  std::filesystem::path dir_;
  std::string display_;
  std::string window_;
  Child server_;
  Child player_;
};

TEST_F(XDisplay, CompactPlayerWithAutoPlayIsPausedOpenedAndClosedByHand) {
  const auto config = dir_ / "config";
  std::filesystem::create_directories(config);
  std::ofstream(config / "ZQ_CD.INI", std::ios::binary)
      << "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nControl Panel=1\r\nAuto Play=1\r\n";
  const auto trace = dir_ / "trace.log";
  const auto runtime = dir_ / "runtime";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  ASSERT_TRUE(player_.Start(
      {VANTORA_EXECUTABLE, "--drive", (dir_ / "drive").string(), "--trace", trace.string()},
      // No session bus: without one libdbus would try to start a bus for this display, and
      // what it allocates for that is never freed.
      Environment({"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "VANTORA_CONFIG_DIR",
                   "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"},
                  {"DISPLAY=" + display_, "VANTORA_CONFIG_DIR=" + config.string(),
                   "XDG_RUNTIME_DIR=" + runtime.string(),
                   "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir_ / "no-bus").string()}),
      dir_ / "player.log"));

  window_ = Poll(kStartLimit, [&] {
    const std::string found = X("search --onlyvisible --pid " + std::to_string(player_.pid()));
    return found.substr(0, found.find('\n'));
  });
  ASSERT_FALSE(window_.empty()) << "no window of the player on " << display_ << ":\n"
                                << Read(dir_ / "player.log");
  // The compact form shows the status in the title, with the track's running time.
  const std::string playing = AwaitTitle("CD Playing 1  \\(00:0\\d\\)", kStartLimit);
  ASSERT_FALSE(playing.empty()) << Title();
  const std::string later = Poll(kChangeLimit, [&] {
    const std::string title = Title();
    return title.rfind("CD Playing 1  (", 0) == 0 && title > playing ? title : std::string();
  });
  EXPECT_FALSE(later.empty()) << "the time stood still at " << playing;

  ClickToolbarButton(13);
  EXPECT_FALSE(AwaitTitle("CD Paused  \\(\\d\\d:\\d\\d\\)", kChangeLimit).empty()) << Title();
  ClickToolbarButton(15);
  EXPECT_FALSE(AwaitTitle("CD Door Open", kChangeLimit).empty()) << Title();

  // File, Exit from the keyboard: Alt+F opens the menu, "x" is Exit's mnemonic.
  X("windowfocus --sync " + window_);
  X("key --clearmodifiers alt+f");
  Poll(kChangeLimit, [&] {
    const std::string windows = X("search --onlyvisible --pid " + std::to_string(player_.pid()));
    return windows.find('\n') != std::string::npos ? windows : std::string();
  });
  X("key x");
  int code = -1;
  ASSERT_TRUE(player_.WaitForExit(kChangeLimit, code)) << "the player did not close";
  EXPECT_EQ(code, 0) << Read(dir_ / "player.log");

  const std::string ini = Read(config / "ZQ_CD.INI");
  for (const char* saved :
       {"Control Panel=1\r\n", "Auto Play=1\r\n", "Stay On Top=0\r\n", "Display Mode=1\r\n"}) {
    EXPECT_NE(ini.find(saved), std::string::npos) << saved << ini;
  }
  const std::string log = Read(trace);
  EXPECT_NE(log.find("play cdaudio from 1\t0\t\n"), std::string::npos) << log;
  EXPECT_NE(log.find("pause cdaudio\t0\t\n"), std::string::npos) << log;
  EXPECT_NE(log.find("set cdaudio door open\t0\t\n"), std::string::npos) << log;
}

}  // namespace
