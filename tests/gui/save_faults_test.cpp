// SPDX-License-Identifier: GPL-3.0-or-later
// The vantora program on a settings file it cannot write, ended every way a person or a session
// ends it: each time it names the file and the reason on standard error, ends at once and leaves
// the file as it was; a link whose target is still missing is written through.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <tuple>

#include "tests/support/child_process.h"

namespace vantora::testing {
namespace {

// A first run: the player writes its product at start, so a change is pending from then on.
struct Fault {
  const char* name;
  const char* make;    // shell commands in the test's folder; the player is given "config"
  const char* reason;  // "" for the link, which is no fault
};
const Fault kFaults[] = {
    {"ReadOnlyFolder", "mkdir -m 555 config", "Permission denied"},
    {"ReadOnlyFile", "mkdir config && echo '[Other]' >config/ZQ_CD.INI && chmod 444 config/*",
     "Permission denied"},
    {"FileIsAFolder", "mkdir -p config/ZQ_CD.INI", "Is a directory"},
    {"FolderCannotBeMade", "echo a file >config", "Not a directory"},
    // Under the size limit the test sets, as a full disk would, the write fails part-way.
    {"FullDisk", "mkdir config && head -c 8150 /dev/zero | tr '\\0' ';' >config/ZQ_CD.INI",
     "File too large"},
    {"HeldLock", "mkdir config && echo '[Other]' >config/ZQ_CD.INI",
     "another program holds its lock"},
    {"DanglingLink", "mkdir config dots && ln -s ../dots/zq.ini config/ZQ_CD.INI", ""},
};
void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.name;
}

class SaveFaults : public ::testing::TestWithParam<std::tuple<Fault, int>> {
 protected:
  void SetUp() override {
    ASSERT_FALSE((dir_ = Output("mktemp -d")).empty());
    std::filesystem::create_directory(dir_ + "/drive");
  }
  void TearDown() override { std::system(("chmod -R u+w " + dir_ + "; rm -rf " + dir_).c_str()); }
  // What the folder holds: names, kinds, link targets and the settings file's bytes.
  std::string Snapshot() const {
    return Output("cd " + dir_ +
                  " && find config ! -name .ZQ_CD.INI.lock -printf '%p %y %l\\n' && cat "
                  "config/ZQ_CD.INI 2>/dev/null");
  }
  std::string dir_;
};

TEST_P(SaveFaults, NamesTheFileAndWhyAndKeepsIt) {
  const auto& [fault, signal] = GetParam();
  ASSERT_EQ(std::system(("cd " + dir_ + " && " + fault.make).c_str()), 0);
  const std::string before = Snapshot();
  // Only the full disk has a size limit, which the picture taken at the close must not meet.
  std::vector<std::string> argv;
  if (std::string(fault.name) == "FullDisk") {
    argv = {"prlimit", "--fsize=8192"};
  }
  if (::geteuid() == 0) {
    // The superuser may write anything: the player runs as an ordinary user owning the folder.
    std::system(("chown -R -h 65534:65534 " + dir_).c_str());
    argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  std::signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails rather than ends the process
  argv.insert(argv.end(), {VANTORA_EXECUTABLE, "--drive", dir_ + "/drive", "--trace", dir_ + "/t"});
  if (signal == 0) {
    argv.insert(argv.end(), {"--screenshot", "/dev/null"});  // closes once it has settled
  }
  const bool held = std::string(fault.name) == "HeldLock";
  const int lock = held ? ::open((dir_ + "/config/.ZQ_CD.INI.lock").c_str(), O_CREAT, 0644) : -1;
  ASSERT_TRUE(!held || ::flock(lock, LOCK_EX) == 0);
  Child player;
  ASSERT_TRUE(player.Start(
      argv,
      Environment(
          {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "HOME", "XDG_RUNTIME_DIR",
           "VANTORA_CONFIG_DIR", "DBUS_SESSION_BUS_ADDRESS"},
          {"QT_QPA_PLATFORM=offscreen", "HOME=" + dir_, "VANTORA_CONFIG_DIR=" + dir_ + "/config",
           "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir_ + "/no"}),
      dir_ + "/out"));
  int code = -1;
  if (signal != 0) {
    // Once it polls the drive it runs its loop; then it ends at once, lock or no lock.
    ASSERT_NE(Poll(60s, [&] { return Read(dir_ + "/t").find("status cdaudio") + 1 ? "on" : ""; }),
              "");
    ::kill(player.pid(), signal);
  }
  ASSERT_TRUE(player.WaitForExit(signal != 0 ? 5s : 60s, code));
  ::close(lock);
  const std::string output = Read(dir_ + "/out");
  EXPECT_EQ(code, 0) << output;
  const std::string told = "could not save changes to '" + dir_ + "/config/ZQ_CD.INI': ";
  const size_t at = output.find(told);
  if (*fault.reason == '\0') {
    EXPECT_EQ(output.find("could not save changes"), std::string::npos) << output;
    EXPECT_EQ(Output("readlink " + dir_ + "/config/ZQ_CD.INI"), "../dots/zq.ini");
    EXPECT_NE(Read(dir_ + "/dots/zq.ini").find("Display Mode="), std::string::npos);
    return;
  }
  ASSERT_NE(at, std::string::npos) << output;
  EXPECT_EQ(output.substr(at + told.size()).rfind(fault.reason, 0), 0u) << output;
  EXPECT_EQ(output.find(told, at + 1), std::string::npos) << output;  // said once
  EXPECT_EQ(Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveFaults,
                         ::testing::Combine(::testing::ValuesIn(kFaults),
                                            ::testing::Values(0, SIGTERM, SIGINT, SIGHUP)),
                         [](const auto& param) {
                           const int signal = std::get<1>(param.param);
                           return std::string(std::get<0>(param.param).name) +
                                  (signal == 0 ? "Close" : "Signal" + std::to_string(signal));
                         });

}  // namespace
}  // namespace vantora::testing
