// SPDX-License-Identifier: GPL-3.0-or-later
// The player heard through a real sound server: a PulseAudio of the test's own plays into a null
// sink, parec records the sink's monitor, and the player, on an X server of its own, is worked
// from its toolbar while it plays a ripped disc whose every sample tells its own place. The
// recording is read back as runs of places, so that a sample lost or repeated, or silence put in,
// shows where it happened.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/cdaudio/virtual_drive.h"
#include "tests/support/cd_image.h"
#include "tests/support/child_process.h"
#include "tests/support/sound_image.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;

constexpr auto kLimit = 60s;
constexpr int64_t kRate = 44100;
constexpr int64_t kTrack2 = 10 * kRate;  // where track 2 begins in the file
constexpr int64_t kGoesOn = -1;          // the sound goes on where it stopped
constexpr int kRepeatTrack = -1;

// The place a recorded frame tells, -1 for silence, -2 for anything else.
int64_t PlaceOf(Stereo s) {
  if (s == kSilence) {
    return -1;
  }
  if ((static_cast<uint16_t>(s.right) & 0xff00) != 0x4000) {
    return -2;
  }
  return int64_t{static_cast<uint16_t>(s.left)} | int64_t{s.right & 0xff} << 16;
}

// Where one run of consecutive places ends and the next begins, and the silence between.
struct Join {
  int64_t last = 0;
  int64_t next = 0;
  int64_t silence = 0;
};
struct Heard {
  int64_t first = -1;     // the first place heard
  int64_t first_at = -1;  // and the recorded frame it was heard in
  int64_t last = -1;
  std::vector<Join> joins;
  int64_t garbled = 0;  // frames that are neither silence nor a place
};

Heard Decode(const std::vector<Stereo>& frames) {
  Heard heard;
  int64_t silence = 0;
  for (const Stereo frame : frames) {
    const int64_t place = PlaceOf(frame);
    heard.first_at += heard.first < 0 ? 1 : 0;
    if (place == -2) {
      ++heard.garbled;
    } else if (place == -1) {
      ++silence;
    } else if (heard.first < 0) {
      heard.first = heard.last = place;
      silence = 0;
    } else {
      if (place != heard.last + 1 || silence > 0) {
        heard.joins.push_back({heard.last, place, silence});
      }
      heard.last = place;
      silence = 0;
    }
  }
  return heard;
}

Heard DecodeFile(const std::filesystem::path& file) {
  const std::string raw = Read(file);
  std::vector<Stereo> frames(raw.size() / sizeof(Stereo));
  std::memcpy(frames.data(), raw.data(), frames.size() * sizeof(Stereo));
  return Decode(frames);
}

std::string Ms(int64_t frames) {
  return std::to_string(frames * 1000 / kRate) + " ms";
}

std::string Describe(const Heard& heard) {
  int64_t lost = 0, repeated = 0, silence = 0;
  std::string text = "first place " + std::to_string(heard.first) + ", " +
                     std::to_string(heard.joins.size()) + " joins, " +
                     std::to_string(heard.garbled) + " garbled frames\n";
  for (const Join& join : heard.joins) {
    // A jump of a second or more is a play from elsewhere, not a fault.
    const int64_t skip = join.next - join.last - 1;
    if (std::abs(skip) < kRate) {
      (skip > 0 ? lost : repeated) += std::abs(skip);
    }
    silence += join.silence;
    text += "  " + std::to_string(join.last) + " -> " + std::to_string(join.next) + " after " +
            Ms(join.silence) + " of silence\n";
  }
  return text + "lost " + std::to_string(lost) + " frames, repeated " + std::to_string(repeated) +
         ", " + Ms(silence) + " of silence in all\n";
}

// A PulseAudio of the test's own, with nothing of the machine's: a null sink and a socket in the
// test's folder. Root may run it as well (it only warns).
class SoundServer {
 public:
  void Start(const std::filesystem::path& dir) {
    ASSERT_EQ(std::system("command -v pulseaudio >/dev/null && command -v parec >/dev/null"), 0)
        << "pulseaudio or parec is missing: scripts/deps.sh installs them";
    std::filesystem::create_directories(dir / "pulse");
    std::filesystem::permissions(dir / "pulse", std::filesystem::perms::owner_all);
    socket_ = dir / "pulse" / "native";
    env_ = Environment(
        {"PULSE_SERVER", "PULSE_RUNTIME_PATH", "XDG_RUNTIME_DIR", "HOME"},
        {"PULSE_SERVER=unix:" + socket_.string(), "PULSE_RUNTIME_PATH=" + (dir / "pulse").string(),
         "XDG_RUNTIME_DIR=" + (dir / "pulse").string(), "HOME=" + dir.string()});
    log_ = dir / "pulseaudio.log";
    ASSERT_NO_FATAL_FAILURE(Up());
  }
  void Up() {
    ASSERT_TRUE(daemon_.Start(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
         "--use-pid-file=false", "--load=module-null-sink sink_name=heard rate=44100 channels=2",
         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_.string()},
        env_, log_));
    const std::string up = Poll(
        kLimit, [&] { return std::filesystem::exists(socket_) && Run("pactl info") ? "up" : ""; });
    ASSERT_FALSE(up.empty()) << Read(log_);
  }
  // Records the sink's monitor, raw, into `file` until StopRecording.
  void Record(const std::filesystem::path& file) {
    ASSERT_TRUE(recorder_.Start({"parec", "-d", "heard.monitor", "--format=s16ne", "--rate=44100",
                                 "--channels=2", "--raw", "--latency-msec=20", file.string()},
                                env_, log_));
  }
  void StopRecording() { recorder_.Stop(); }
  void Down() {
    recorder_.Stop();
    daemon_.Stop();
  }
  std::string server() const { return "unix:" + socket_.string(); }

 private:
  bool Run(const std::string& command) const {
    return std::system(
               ("PULSE_SERVER='" + server() + "' timeout 10 " + command + " >/dev/null 2>&1")
                   .c_str()) == 0;
  }
  std::filesystem::path socket_, log_;
  std::vector<std::string> env_;
  Child daemon_, recorder_;
};

class SoundServerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(session_.Start(XSession::WindowManager::kNone));
    ASSERT_NO_FATAL_FAILURE(sound_.Start(session_.dir()));
  }
  void TearDown() override {
    ::unsetenv("PULSE_SERVER");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }

  // The repeat mode, which the compact window has no button for, is set as a desktop panel would,
  // on a session bus of the test's own.
  void StartBus() {
    const std::string address = session_.StartBus();
    ASSERT_FALSE(address.empty());
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  }
  void SetLoop(const std::string& status) {
    ASSERT_EQ(std::system(("timeout 30 playerctl -p vantora loop " + status).c_str()), 0);
  }

  std::string X(const std::string& arguments) const { return session_.Xdotool(arguments); }
  size_t Count(const std::string& command) const { return CountOf(Read(trace_), command); }
  // Clicks button `number` and waits until the drive has been sent `command` once more.
  void Click(int number, const std::string& command) {
    const size_t before = Count(command);
    ASSERT_NO_FATAL_FAILURE(session_.ClickToolbarButton(number));
    ASSERT_FALSE(Poll(kLimit, [&] { return Count(command) > before ? "sent" : ""; }).empty())
        << command << " never sent:\n"
        << Read(trace_);
  }

  // Puts in a disc of `seconds` of sound with the tracks the CUE sheet's `tracks` give, and starts
  // the player, compact and with AutoPlay, on the test's sound server; returns once it plays.
  void PlayDisc(int64_t seconds, const std::string& tracks) {
    const auto dir = session_.dir();
    trace_ = dir / "trace.log";
    WriteSoundFile(dir / "rip.wav", seconds * kRate);
    WriteText(dir / "rip.cue", "FILE \"rip.wav\" WAVE\n" + tracks);
    ASSERT_NO_FATAL_FAILURE(
        session_.DriveTool(dir / "drive", {"insert", (dir / "rip.cue").string()}));
    ::setenv("PULSE_SERVER", sound_.server().c_str(), 1);
    ASSERT_NO_FATAL_FAILURE(session_.StartPlayer(
        {.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nControl Panel=1\r\n"
                "Auto Play=1\r\n",
         .drive = dir / "drive",
         .arguments = {"--trace", trace_.string()}}));
    ASSERT_FALSE(
        Poll(kLimit, [&] { return Count("play cdaudio from 1\t0\t") > 0 ? "playing" : ""; })
            .empty())
        << Read(trace_);
  }

  XSession session_;
  SoundServer sound_;
  std::filesystem::path trace_;
};

// Each step is two clicks with a wait between, after the disc has played a while; then the sound
// goes on where it stood, or starts a track from its first sample. A step without clicks waits for
// an entry that plays alone to end and the next to follow.
struct Step {
  const char* what;
  int button;  // 0 for none, kRepeatTrack for Repeat: Track from the bus
  const char* command;
  std::chrono::milliseconds wait;
  int again;  // the second click, 0 for none
  const char* again_command;
  int64_t then;  // the place heard next, or kGoesOn
};

TEST_F(SoundServerTest, EveryPauseStopAndTrackChangeIsHeardWithoutASampleLostOrSilencePutIn) {
  const auto heard_file = session_.dir() / "heard.raw";
  ASSERT_NO_FATAL_FAILURE(sound_.Record(heard_file));
  ASSERT_NO_FATAL_FAILURE(StartBus());
  ASSERT_NO_FATAL_FAILURE(PlayDisc(2 * kTrack2 / kRate,
                                   " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                   " TRACK 02 AUDIO\n  INDEX 01 00:10:00\n"));

  const Step steps[] = {
      // The ear trails the head by up to a third of a second until the first pause, which a
      // shorter first pause would leave unheard (no silence, nothing lost): it is longer.
      {"pause 0.5 s", 13, "pause cdaudio\t0", 500ms, 13, "play cdaudio", kGoesOn},
      {"pause 1 s", 13, "pause cdaudio\t0", 1000ms, 13, "play cdaudio", kGoesOn},
      {"stop, play", 12, "stop cdaudio\t0", 300ms, 12, "play cdaudio from 1\t0", 0},
      {"next track", 14, "play cdaudio from 2\t0", 0ms, 0, "", kTrack2},
      {"pause 0.2 s on track 2", 13, "pause cdaudio\t0", 200ms, 13, "play cdaudio", kGoesOn},
      // With Repeat: Track each entry plays alone, to its own end.
      {"Repeat: Track, next track", kRepeatTrack, "", 0ms, 14, "play cdaudio from 1 to 2\t0", 0},
      {"pause 0.2 s on a lone entry", 13, "pause cdaudio\t0", 200ms, 13, "play cdaudio to 2\t0",
       kGoesOn},
      {"the entry ends and plays again", 0, "", 8000ms, 0, "", 0},
  };
  std::vector<std::chrono::milliseconds> held;  // how long each step's two clicks were apart
  for (const Step& step : steps) {
    std::this_thread::sleep_for(1500ms);
    const auto start = SteadyClock::now();
    if (step.button == kRepeatTrack) {
      ASSERT_NO_FATAL_FAILURE(SetLoop("Track"));
    } else if (step.button != 0) {
      ASSERT_NO_FATAL_FAILURE(Click(step.button, step.command)) << step.what;
    }
    std::this_thread::sleep_for(step.wait);
    if (step.again != 0) {
      ASSERT_NO_FATAL_FAILURE(Click(step.again, step.again_command)) << step.what;
    }
    held.push_back(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start));
  }
  std::this_thread::sleep_for(1500ms);
  session_.StopPlayer();
  sound_.StopRecording();

  const Heard heard = DecodeFile(heard_file);
  const std::string figures = Describe(heard);
  std::printf("%s", figures.c_str());
  // The server's start-up is silence before the first sample, never a sample lost.
  EXPECT_EQ(heard.first, 0) << figures;
  EXPECT_EQ(heard.garbled, 0) << figures;
  ASSERT_EQ(heard.joins.size(), std::size(steps)) << figures;
  for (size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    const Join& join = heard.joins[i];
    SCOPED_TRACE(step.what);
    EXPECT_EQ(join.next, step.then == kGoesOn ? join.last + 1 : step.then) << figures;
    if (step.button == 0) {
      EXPECT_LT(join.silence, kRate * 20 / 1000) << figures;  // the next entry follows at once
    } else if (step.again == 0) {
      EXPECT_LT(join.silence, kRate * 5 / 1000) << figures;  // a track change puts no silence in
    } else {
      // The silence is the pause, give or take how long the clicks took to arrive.
      EXPECT_LT(join.silence, (held[i].count() + 300) * kRate / 1000) << figures;
    }
  }
}

// What the player loads only when first needed, met in a user's order: the machine's drive (a CD
// image, through the CD library) opens, the desktop's Play key reaches the player on the session
// bus, and the disc is heard, sample after sample.
TEST_F(SoundServerTest, TheDriveOpensThePlayKeyWorksAndTheDiscIsHeard) {
  const auto dir = session_.dir();
  trace_ = dir / "trace.log";
  const auto image = WriteCdImage(dir, "disc", {{20 * 75}});
  ASSERT_NO_FATAL_FAILURE(sound_.Record(dir / "heard.raw"));
  ASSERT_NO_FATAL_FAILURE(StartBus());
  ::setenv("PULSE_SERVER", sound_.server().c_str(), 1);
  ASSERT_NO_FATAL_FAILURE(session_.StartPlayer(
      {.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\n",
       .arguments = {"--device", image.string(), "--trace", trace_.string()}}));
  ASSERT_FALSE(Poll(kLimit, [] {
                 return std::system("timeout 10 playerctl -p vantora status >/dev/null 2>&1") == 0
                            ? "on the bus"
                            : "";
               }).empty());
  ASSERT_EQ(std::system("timeout 30 playerctl -p vantora play"), 0);
  ASSERT_FALSE(Poll(kLimit, [&] { return Count("play cdaudio") > 0 ? "playing" : ""; }).empty())
      << Read(trace_);
  std::this_thread::sleep_for(4s);
  session_.StopPlayer();
  sound_.StopRecording();
  const Heard heard = DecodeFile(dir / "heard.raw");
  ASSERT_GE(heard.first, 0) << "nothing heard\n" << Read(session_.player_log());
  EXPECT_GT(heard.last, heard.first + kRate) << Describe(heard);
  EXPECT_TRUE(heard.joins.empty()) << Describe(heard);
  EXPECT_EQ(heard.garbled, 0) << Describe(heard);
}

// A player that ends as the session does stops the drive it was heard from, so the next start is
// silent; a drive that another player uses plays on.
TEST_F(SoundServerTest, TheDrivesPlayEndsWithThePlayer) {
  const auto state = session_.dir() / "drive" / "state";
  ASSERT_NO_FATAL_FAILURE(PlayDisc(60, " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"));
  {
    vantora::platform::cdaudio::VirtualDrive other(session_.dir() / "drive");
    other.Hold();
    session_.StopPlayer();
    EXPECT_NE(Read(state).find("head playing"), std::string::npos) << Read(state);
  }
  std::filesystem::remove(trace_);  // the next start is seen playing by its own trace
  ASSERT_NO_FATAL_FAILURE(PlayDisc(60, " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"));
  session_.StopPlayer();
  EXPECT_NE(Read(state).find("head stopped"), std::string::npos) << Read(state);
}

// The sound server is found within seconds of its coming, from where the head is then, with
// nothing lost after: one that goes away while a disc plays and comes back, and one that starts
// after the player. The missing output is said once each time.
TEST_F(SoundServerTest, ASoundServerThatComesIsPlayedToFromTheHead) {
  struct Case {
    const char* what;
    bool late;  // the server starts after the player, rather than going away while it plays
  };
  const Case cases[] = {{"the server restarts", false}, {"the server starts late", true}};
  const auto dir = session_.dir();
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const std::string name = test.late ? "late" : "restart";
    const size_t said_before =
        CountOf(Read(session_.player_log()), "vantora: no sound output, so playback is silent\n");
    std::filesystem::remove(dir / "trace.log");
    int64_t gone = 0;  // the last place heard before the server went
    if (test.late) {
      sound_.Down();
      ASSERT_NO_FATAL_FAILURE(PlayDisc(60, " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"));
    } else {
      ASSERT_NO_FATAL_FAILURE(sound_.Record(dir / (name + "-before.raw")));
      ASSERT_NO_FATAL_FAILURE(PlayDisc(60, " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"));
      std::this_thread::sleep_for(2s);
      sound_.Down();
      gone = DecodeFile(dir / (name + "-before.raw")).last;
      ASSERT_GE(gone, 0) << "nothing heard before the server went";
    }
    std::this_thread::sleep_for(1s);

    ASSERT_NO_FATAL_FAILURE(sound_.Up());
    ASSERT_NO_FATAL_FAILURE(sound_.Record(dir / (name + ".raw")));
    std::this_thread::sleep_for(5s);
    const std::string said = Read(session_.player_log());
    sound_.StopRecording();
    session_.StopPlayer();
    const Heard after = DecodeFile(dir / (name + ".raw"));
    const std::string figures =
        test.what + std::string(": found after ") + Ms(after.first_at) + ", " + Describe(after);
    std::printf("%s", figures.c_str());
    ASSERT_GE(after.first, 0) << "nothing heard\n" << said;
    EXPECT_LT(after.first_at, 2 * kRate) << figures;
    // The sound of the time without a server is not played late: the head went on meanwhile.
    EXPECT_GT(after.first, gone + kRate / 2) << figures;
    EXPECT_EQ(after.garbled, 0) << figures;
    EXPECT_TRUE(after.joins.empty()) << figures;
    EXPECT_EQ(CountOf(said, "vantora: no sound output, so playback is silent\n"), said_before + 1)
        << said;
  }
}

}  // namespace
