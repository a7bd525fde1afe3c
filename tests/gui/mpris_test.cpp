// The player driven from the desktop's side only: vantora on its own X server (Xvfb) and its own
// session bus, worked with playerctl as a media key or a panel widget would, and what it did read
// back from the bus and the device log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
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

std::vector<std::string> Environment(const std::vector<std::string>& add) {
  static const std::vector<std::string> kDropped = {"QT_QPA_PLATFORM", "DISPLAY",
                                                    "WAYLAND_DISPLAY", "VANTORA_CONFIG_DIR",
                                                    "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"};
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (std::find(kDropped.begin(), kDropped.end(), name) == kDropped.end()) {
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

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
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

class Mpris : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "dbus-daemon", "playerctl"}) {
      ASSERT_EQ(std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()), 0)
          << tool << " is missing: scripts/deps.sh installs it (packages xvfb, dbus, playerctl)";
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-mpris-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "config");
    std::filesystem::create_directories(dir_ / "runtime");
    std::filesystem::permissions(dir_ / "runtime", std::filesystem::perms::owner_all);
    StartServer();
  }
  void TearDown() override {
    watcher_.Stop();
    player_.Stop();
    bus_.Stop();
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
                                       Environment({}), dir_ / "xvfb.log");
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

  // A session bus of this test's own; its address is the first line the daemon prints.
  void StartBus() {
    ASSERT_TRUE(
        bus_.Start({"dbus-daemon", "--session", "--nofork", "--nosyslog", "--print-address=1"},
                   Environment({}), dir_ / "bus.log"));
    address_ = Poll(kStartLimit, [&] {
      const std::string log = Read(dir_ / "bus.log");
      const size_t line = log.find("unix:");
      return line == std::string::npos || log.find('\n', line) == std::string::npos
                 ? std::string()
                 : log.substr(line, log.find('\n', line) - line);
    });
    ASSERT_FALSE(address_.empty()) << "no bus address:\n" << Read(dir_ / "bus.log");
  }

  void StartPlayer(const std::string& busAddress) {
    std::vector<std::string> env = {
        "DISPLAY=" + display_, "VANTORA_CONFIG_DIR=" + (dir_ / "config").string(),
        "XDG_RUNTIME_DIR=" + (dir_ / "runtime").string(), "DBUS_SESSION_BUS_ADDRESS=" + busAddress};
    ASSERT_TRUE(player_.Start({VANTORA_EXECUTABLE, "--drive", (dir_ / "drive").string(), "--trace",
                               (dir_ / "trace.log").string()},
                              Environment(env), dir_ / "player.log"));
  }

  // One playerctl command on the test's bus; a bus that stopped answering does not hold it up.
  std::string Playerctl(const std::string& arguments) const {
    return Output("DBUS_SESSION_BUS_ADDRESS='" + address_ + "' timeout 30 playerctl -p vantora " +
                  arguments + " 2>/dev/null");
  }
  // Waits until `playerctl arguments` answers `wanted`; returns the last answer.
  std::string Await(const std::string& arguments, const std::string& wanted) const {
    std::string last;
    Poll(kChangeLimit, [&] {
      last = Playerctl(arguments);
      return last == wanted ? last : std::string();
    });
    return last;
  }
  // Waits until the status watcher has printed `lines` (the watcher prints one per change).
  bool AwaitFollowed(const std::string& lines) const {
    return !Poll(kChangeLimit, [&] {
              return Read(dir_ / "follow.log") == lines ? "yes" : "";
            }).empty();
  }
  // Waits until the device log holds `line`.
  bool AwaitTrace(const std::string& line) const {
    return !Poll(kChangeLimit, [&] {
              return Read(dir_ / "trace.log").find(line) != std::string::npos ? "yes" : "";
            }).empty();
  }

  std::filesystem::path dir_;
  std::string display_;
  std::string address_;
  Child server_;
  Child bus_;
  Child player_;
  Child watcher_;
};

TEST_F(Mpris, PlayerctlPlaysSkipsPausesRepeatsAndStopsThePlayer) {
  StartBus();
  StartPlayer(address_);
  ASSERT_EQ(Await("status", "Stopped"), "Stopped") << Read(dir_ / "player.log");
  // An object path, which playerctl prints quoted.
  EXPECT_EQ(Playerctl("metadata mpris:trackid"), "'/org/vantora/track/1'");
  // What a panel widget sees changing: one line per change of the status.
  ASSERT_TRUE(watcher_.Start({"playerctl", "-p", "vantora", "--follow", "status"},
                             Environment({"DBUS_SESSION_BUS_ADDRESS=" + address_}),
                             dir_ / "follow.log"));

  Playerctl("play");
  EXPECT_EQ(Await("status", "Playing"), "Playing");
  EXPECT_TRUE(AwaitFollowed("Stopped\nPlaying\n")) << Read(dir_ / "follow.log");
  EXPECT_EQ(Playerctl("metadata title"), "Track 1");
  EXPECT_EQ(Playerctl("metadata xesam:trackNumber"), "1");
  EXPECT_TRUE(AwaitTrace("play cdaudio")) << Read(dir_ / "trace.log");

  Playerctl("next");
  // The title follows the click at once, the track number the device's next report.
  EXPECT_EQ(Await("metadata xesam:trackNumber", "2"), "2");
  EXPECT_EQ(Playerctl("metadata title"), "Track 2");
  EXPECT_TRUE(AwaitTrace("status cdaudio current track\t0\t2\n")) << Read(dir_ / "trace.log");
  // The position is within the new track, not the album.
  const std::string position = Poll(kChangeLimit, [&] {
    const std::string seconds = Playerctl("position");
    return !seconds.empty() && std::stod(seconds) > 0 ? seconds : std::string();
  });
  ASSERT_FALSE(position.empty());
  EXPECT_LT(std::stod(position), 60.0) << position;

  Playerctl("pause");
  EXPECT_EQ(Await("status", "Paused"), "Paused");
  EXPECT_TRUE(AwaitTrace("pause cdaudio\t0\t\n")) << Read(dir_ / "trace.log");
  // The change is announced on the bus before the next one comes.
  EXPECT_TRUE(AwaitFollowed("Stopped\nPlaying\nPaused\n")) << Read(dir_ / "follow.log");
  // Pause while paused changes nothing; play resumes.
  Playerctl("pause");
  Playerctl("play");
  EXPECT_EQ(Await("status", "Playing"), "Playing");
  EXPECT_TRUE(AwaitFollowed("Stopped\nPlaying\nPaused\nPlaying\n")) << Read(dir_ / "follow.log");

  // The repeat button's click is what sets the loop status, and with it the button's text.
  EXPECT_EQ(Playerctl("loop"), "None");
  Playerctl("loop Track");
  EXPECT_EQ(Await("loop", "Track"), "Track");
  Playerctl("loop Playlist");
  EXPECT_EQ(Await("loop", "Playlist"), "Playlist");
  Playerctl("loop None");
  EXPECT_EQ(Await("loop", "None"), "None");

  Playerctl("stop");
  EXPECT_EQ(Await("status", "Stopped"), "Stopped");
  EXPECT_TRUE(AwaitTrace("stop cdaudio\t0\t\n")) << Read(dir_ / "trace.log");

  // Each change reached the watcher once, in order, and nothing else did.
  const std::string followed = Poll(kChangeLimit, [&] {
    const std::string log = Read(dir_ / "follow.log");
    return Count(log, "\n") >= 5 ? log : std::string();
  });
  EXPECT_EQ(followed, "Stopped\nPlaying\nPaused\nPlaying\nStopped\n") << Read(dir_ / "follow.log");
  EXPECT_EQ(Count(Read(dir_ / "player.log"), "media keys are off"), 0u);

  // Quit closes the player as its close box does: it ends by itself, and well.
  const std::string sent =
      Output("DBUS_SESSION_BUS_ADDRESS='" + address_ +
             "' timeout 30 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.vantora "
             "/org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit 2>&1");
  int code = -1;
  ASSERT_TRUE(player_.WaitForExit(kChangeLimit, code))
      << "Quit did not close the player: " << sent << "\n"
      << Read(dir_ / "player.log");
  EXPECT_EQ(code, 0) << Read(dir_ / "player.log");
}

TEST_F(Mpris, NoSessionBusLeavesThePlayerRunningWithOneWord) {
  address_ = "unix:path=" + (dir_ / "no-bus").string();
  StartPlayer(address_);
  const std::string log = Poll(kStartLimit, [&] {
    const std::string text = Read(dir_ / "player.log");
    return text.find("media keys are off") != std::string::npos ? text : std::string();
  });
  ASSERT_FALSE(log.empty()) << Read(dir_ / "player.log");
  // Still running a while later, having said it once.
  int code = 0;
  EXPECT_FALSE(player_.WaitForExit(2s, code)) << "exit " << code << ":\n"
                                              << Read(dir_ / "player.log");
  EXPECT_EQ(Count(Read(dir_ / "player.log"), "media keys are off"), 1u);
}

}  // namespace
