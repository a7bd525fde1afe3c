// SPDX-License-Identifier: GPL-3.0-or-later
// Programs a GUI test starts as a person would: children it ends and reaps, their environment,
// their output, polling with a limit, and an X server of the test's own.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

namespace vantora::testing {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

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
    const auto end = SteadyClock::now() + limit;
    while (pid_ > 0) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
      }
      if (SteadyClock::now() > end) {
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
inline std::vector<std::string> Environment(const std::vector<std::string>& drop,
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

// What a shell command printed, without its last line ends.
inline std::string Output(const std::string& command) {
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

// How many times `what` stands in `text`.
inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Asks `probe` every tenth of a second until it gives a non-empty answer or `limit` has passed.
inline std::string Poll(std::chrono::milliseconds limit,
                        const std::function<std::string()>& probe) {
  const auto end = SteadyClock::now() + limit;
  for (;;) {
    if (std::string answer = probe(); !answer.empty() || SteadyClock::now() > end) {
      return answer;
    }
    std::this_thread::sleep_for(100ms);
  }
}

// Starts an X server of this test's own and returns its display (":N"), or "" when none started
// within `limit`. The number is drawn at random from a wide range rather than left to the server:
// a server would take the lowest free one, the very number a parallel test's server may still be
// giving up, and that one's cleanup can remove the new server's socket.
inline std::string StartXvfb(Child& server, const std::vector<std::string>& env,
                             const std::filesystem::path& log, std::chrono::milliseconds limit) {
  const auto end = SteadyClock::now() + limit;
  unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u ^
                  static_cast<unsigned>(SteadyClock::now().time_since_epoch().count());
  while (SteadyClock::now() < end) {
    seed = seed * 1103515245u + 12345u;
    const int display = 100 + static_cast<int>((seed >> 8) % 30000);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      return "";
    }
    ::fcntl(fds[1], F_SETFD, 0);  // the server writes its number here once it accepts clients
    const bool started =
        server.Start({"Xvfb", ":" + std::to_string(display), "-displayfd", std::to_string(fds[1]),
                      "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                     env, log);
    ::close(fds[1]);
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    while (started && number.find('\n') == std::string::npos && SteadyClock::now() < end &&
           ::poll(&readable, 1, 100) >= 0) {
      char c = 0;
      if ((readable.revents & (POLLIN | POLLHUP)) != 0 && ::read(fds[0], &c, 1) != 1) {
        break;  // the server ended: its number was taken
      }
      if (c != 0) {
        number += c;
      }
    }
    ::close(fds[0]);
    if (!started) {
      return "";
    }
    if (number.find('\n') != std::string::npos) {
      return ":" + number.substr(0, number.find('\n'));
    }
    server.Stop();
  }
  return "";
}

}  // namespace vantora::testing
