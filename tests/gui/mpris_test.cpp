// SPDX-License-Identifier: GPL-3.0-or-later
// The player driven from the desktop's side only: vantora on its own X server (Xvfb) and its own
// session bus, worked with playerctl as a media key or a panel widget would, and what it did read
// back from the bus and the device log.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <QThread>
#include <atomic>

#include "tests/support/child_process.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;

// Generous: a loaded machine with two cores may take seconds to start a program.
constexpr auto kStartLimit = 60s;
constexpr auto kChangeLimit = 30s;

// This process's environment with `add`, for the test's own bus clients.
std::vector<std::string> Environment(const std::vector<std::string>& add) {
  return vantora::testing::Environment({"DBUS_SESSION_BUS_ADDRESS"}, add);
}

class Mpris : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system("command -v dbus-daemon >/dev/null && command -v playerctl >/dev/null"),
              0)
        << "dbus-daemon or playerctl is missing: scripts/deps.sh installs them";
    ASSERT_NO_FATAL_FAILURE(session_.Start(XSession::WindowManager::kNone));
    dir_ = session_.dir();
  }
  void TearDown() override { watcher_.Stop(); }

  // A session bus of this test's own, at the address the player is given.
  void StartBus() {
    address_ = session_.StartBus();
    ASSERT_FALSE(address_.empty());
  }
  void StartPlayer() {
    ASSERT_NO_FATAL_FAILURE(session_.StartPlayer(
        {.drive = dir_ / "drive", .arguments = {"--trace", (dir_ / "trace.log").string()}}));
  }
  Child& player() { return session_.player(); }

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

  XSession session_;
  std::filesystem::path dir_;
  std::string address_;
  Child watcher_;
};

TEST_F(Mpris, PlayerctlPlaysSkipsPausesRepeatsAndStopsThePlayer) {
  StartBus();
  StartPlayer();
  ASSERT_EQ(Await("status", "Stopped"), "Stopped") << Read(dir_ / "player.log");
  // An object path, which playerctl prints quoted.
  EXPECT_EQ(Playerctl("metadata mpris:trackid"), "'/org/vantora/track/1'");
  // What a panel widget sees changing: one line per change of the status.
  ASSERT_TRUE(watcher_.Start({"playerctl", "-p", "vantora", "--follow", "status"},
                             Environment({"DBUS_SESSION_BUS_ADDRESS=" + address_}),
                             dir_ / "follow.log"));
  // It prints the status it finds first; only then is it sure to see every change after.
  ASSERT_TRUE(AwaitFollowed("Stopped\n")) << Read(dir_ / "follow.log");

  Playerctl("play");
  EXPECT_EQ(Await("status", "Playing"), "Playing");
  EXPECT_TRUE(AwaitFollowed("Stopped\nPlaying\n")) << Read(dir_ / "follow.log");
  EXPECT_EQ(Playerctl("metadata title"), "Morning Arpeggios");
  EXPECT_EQ(Playerctl("metadata xesam:trackNumber"), "1");
  EXPECT_TRUE(AwaitTrace("play cdaudio")) << Read(dir_ / "trace.log");

  Playerctl("next");
  // Title and number are the same entry's, from the click on.
  EXPECT_EQ(Await("metadata title", "Little Waltz"), "Little Waltz");
  EXPECT_EQ(Playerctl("metadata xesam:trackNumber"), "2");
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
    return CountOf(log, "\n") >= 5 ? log : std::string();
  });
  EXPECT_EQ(followed, "Stopped\nPlaying\nPaused\nPlaying\nStopped\n") << Read(dir_ / "follow.log");
  EXPECT_EQ(CountOf(Read(dir_ / "player.log"), "media keys are off"), 0u);

  // Quit closes the player as its close box does: it ends by itself, and well.
  const std::string sent =
      Output("DBUS_SESSION_BUS_ADDRESS='" + address_ +
             "' timeout 30 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.vantora "
             "/org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit 2>&1");
  int code = -1;
  ASSERT_TRUE(player().WaitForExit(kChangeLimit, code))
      << "Quit did not close the player: " << sent << "\n"
      << Read(dir_ / "player.log");
  EXPECT_EQ(code, 0) << Read(dir_ / "player.log");
}

// A screen saver service of the test's own on its bus: it counts what it was asked.
class ScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  std::atomic<int> held{0};
  std::atomic<int> asked{0};

 public Q_SLOTS:
  uint Inhibit(const QString& /*application*/, const QString& /*reason*/) {
    ++asked;
    ++held;
    return 7;
  }
  void UnInhibit(uint cookie) {
    if (cookie == 7) {
      --held;
    }
  }
};

TEST_F(Mpris, StepsSeeksVolumeAndSleepAsTheInterfaceHasThem) {
  StartBus();
  int argc = 1;
  char name[] = "mpris_test";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  // The stand-in answers on a thread of its own while the test waits.
  QThread serving;
  serving.start();
  ScreenSaver saver;
  saver.moveToThread(&serving);
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_), "test");
  ASSERT_TRUE(
      bus.registerObject("/org/freedesktop/ScreenSaver", &saver, QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(bus.registerService("org.freedesktop.ScreenSaver"));
  ASSERT_TRUE(
      watcher_.Start({"dbus-monitor", "--address", address_, "type='signal',member='Seeked'"},
                     Environment({}), dir_ / "seeked.log"));
  StartPlayer();
  ASSERT_EQ(Await("status", "Stopped"), "Stopped") << Read(dir_ / "player.log");
  const auto property = [&](const std::string& which) {
    return Output("timeout 30 gdbus call --address '" + address_ +
                  "' --dest org.mpris.MediaPlayer2.vantora --object-path /org/mpris/MediaPlayer2 "
                  "--method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player " +
                  which + " 2>&1");
  };
  const auto awaitHeld = [&](int wanted) {
    return !Poll(kChangeLimit, [&] { return saver.held == wanted ? "yes" : ""; }).empty();
  };

  // At the first entry with no loop there is nothing before it; a stopped Next only selects.
  EXPECT_EQ(property("CanGoPrevious"), "(<false>,)");
  EXPECT_EQ(property("CanSeek"), "(<true>,)");
  Playerctl("previous");
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Playerctl("metadata xesam:trackNumber"), "1");
  Playerctl("volume 0.25");
  EXPECT_EQ(Await("volume", "0.250000"), "0.250000");
  EXPECT_TRUE(!Poll(kChangeLimit,
                    [&] {
                      return Read(dir_ / "config" / "ZQ_CD.INI").find("Volume=25") !=
                                     std::string::npos
                                 ? "yes"
                                 : "";
                    })
                   .empty())
      << Read(dir_ / "config" / "ZQ_CD.INI");

  // Playing holds the inhibitor; pausing lets it go.
  Playerctl("play");
  EXPECT_EQ(Await("status", "Playing"), "Playing");
  EXPECT_TRUE(awaitHeld(1)) << saver.asked;
  // A move within the track goes to the device and is announced.
  Playerctl("position 30");
  EXPECT_TRUE(AwaitTrace("play cdaudio from 1:0:30:0")) << Read(dir_ / "trace.log");
  const std::string seconds = Playerctl("position");
  ASSERT_FALSE(seconds.empty());
  EXPECT_GE(std::stod(seconds), 30.0);
  EXPECT_LT(std::stod(seconds), 40.0);
  EXPECT_TRUE(!Poll(kChangeLimit, [&] {
                 return CountOf(Read(dir_ / "seeked.log"), "member=Seeked") >= 1 ? "yes" : "";
               }).empty());
  // A track started from its button is a move too.
  Playerctl("next");
  Playerctl("previous");
  EXPECT_TRUE(
      !Poll(kChangeLimit,
            [&] { return CountOf(Read(dir_ / "seeked.log"), "member=Seeked") >= 2 ? "yes" : ""; })
           .empty())
      << Read(dir_ / "seeked.log");

  Playerctl("pause");
  EXPECT_EQ(Await("status", "Paused"), "Paused");
  EXPECT_TRUE(awaitHeld(0));
  // Next while paused stays paused, on the next entry's start.
  Playerctl("next");
  EXPECT_EQ(Await("metadata xesam:trackNumber", "2"), "2");
  EXPECT_EQ(Playerctl("metadata title"), "Little Waltz");
  EXPECT_TRUE(AwaitTrace("seek cdaudio to 2:0:0:0")) << Read(dir_ / "trace.log");
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(Playerctl("status"), "Paused");
  EXPECT_EQ(saver.held, 0);

  Playerctl("play");
  EXPECT_EQ(Await("status", "Playing"), "Playing");
  EXPECT_TRUE(awaitHeld(1));
  Playerctl("stop");
  EXPECT_EQ(Await("status", "Stopped"), "Stopped");
  EXPECT_TRUE(awaitHeld(0));
  EXPECT_EQ(saver.asked, 2);

  // A tray opened under a playing disc leaves nothing playing, and nothing to play.
  Playerctl("play");
  EXPECT_EQ(Await("status", "Playing"), "Playing");
  Child tool;
  int code = -1;
  ASSERT_TRUE(tool.Start({VANTORA_DRIVE_TOOL, "--drive", (dir_ / "drive").string(), "open"},
                         Environment({}), dir_ / "tool.log"));
  ASSERT_TRUE(tool.WaitForExit(kChangeLimit, code));
  EXPECT_EQ(Await("status", "Stopped"), "Stopped");
  EXPECT_EQ(property("CanPlay"), "(<false>,)");
  EXPECT_EQ(property("CanGoNext"), "(<false>,)");
  EXPECT_TRUE(awaitHeld(0));

  // The volume is the one kept: a new player starts with it.
  player().Stop();
  StartPlayer();
  EXPECT_EQ(Await("volume", "0.250000"), "0.250000") << Read(dir_ / "player.log");
  bus.unregisterService("org.freedesktop.ScreenSaver");
  serving.quit();
  serving.wait();
}

TEST_F(Mpris, NoSessionBusLeavesThePlayerRunningWithOneWord) {
  StartPlayer();
  const std::string log = Poll(kStartLimit, [&] {
    const std::string text = Read(dir_ / "player.log");
    return text.find("media keys are off") != std::string::npos ? text : std::string();
  });
  ASSERT_FALSE(log.empty()) << Read(dir_ / "player.log");
  // Still running a while later, having said it once.
  int code = 0;
  EXPECT_FALSE(player().WaitForExit(2s, code)) << "exit " << code << ":\n"
                                               << Read(dir_ / "player.log");
  EXPECT_EQ(CountOf(Read(dir_ / "player.log"), "media keys are off"), 1u);
}

}  // namespace

#include "mpris_test.moc"
