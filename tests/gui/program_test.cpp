// SPDX-License-Identifier: GPL-3.0-or-later
// The vantora program as a person starts it: options, the main window, settings on close.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/cdaudio/virtual_drive.h"
#include "tests/support/cd_image.h"
#include "tests/support/sound_image.h"

namespace {

class Program : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantora-program-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directory(dir_ / "drive");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs the program with the arguments, on the offscreen platform or on a virtual X display;
  // returns its exit code and keeps what it printed.
  int Run(const std::string& arguments, bool onX = false) {
    // On an X display Qt looks for the session bus; with none set it leaks inside libdbus.
    const std::string platform =
        onX ? "xvfb-run -a env -u QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS=unix:path='" +
                  (dir_ / "no-bus").string() + "'"
            : "env QT_QPA_PLATFORM=offscreen";
    const std::string command = platform + " VANTORA_CONFIG_DIR='" + (dir_ / "config").string() +
                                "' VANTORA_DRIVE='" + (dir_ / "default-drive").string() +
                                "' '" VANTORA_EXECUTABLE "' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
      return -1;
    }
    output_.clear();
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      output_ += buffer;
    }
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Read(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;
  std::string output_;
};

TEST_F(Program, StartsShowsTheWindowAndSavesSettingsOnClose) {
  const auto shot = dir_ / "player.png";
  const auto trace = dir_ / "trace.log";
  ASSERT_EQ(Run("--drive '" + (dir_ / "drive").string() + "' --trace '" + trace.string() +
                "' --screenshot '" + shot.string() + "'"),
            0)
      << output_;
  // A real picture of the window.
  const std::string png = Read(shot);
  ASSERT_GT(png.size(), 1000u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  // The first run wrote the product, and closing wrote the settings.
  const std::string ini = Read(dir_ / "config" / "ZQ_CD.INI");
  EXPECT_NE(ini.find("Product=Vantora - Brennix\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Display Mode=1\n"), std::string::npos) << ini;
  // The window opened the device on the drive it was given, created with the demo disc.
  EXPECT_TRUE(std::filesystem::exists(dir_ / "drive"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "default-drive"));
  const std::string log = Read(trace);
  EXPECT_EQ(log.rfind("open cdaudio shareable\t0\t1\n", 0), 0u) << log;
  EXPECT_NE(log.find("capability cdaudio can eject\t0\ttrue\n"), std::string::npos) << log;
}

TEST_F(Program, WithAutoPlayItFindsTheDiscAndPlaysItByItself) {
  std::filesystem::create_directories(dir_ / "config");
  std::ofstream(dir_ / "config" / "ZQ_CD.INI")
      << "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nAuto Play=1\r\n";
  const auto trace = dir_ / "trace.log", heard = dir_ / "heard.wav";
  const bool onX = std::system("command -v xvfb-run >/dev/null 2>&1") == 0;
  ASSERT_EQ(Run("--drive '" + (dir_ / "drive").string() + "' --trace '" + trace.string() +
                    "' --audio-out '" + heard.string() + "' --screenshot '" +
                    (dir_ / "playing.png").string() + "'",
                onX),
            0)
      << output_;
  // The demo disc is music: what was heard of it is loud enough to hear.
  const std::vector<vantora::testing::Stereo> samples = vantora::testing::ReadRecording(heard);
  double power = 0;
  for (const auto& s : samples) {
    power += static_cast<double>(s.left * s.left) + static_cast<double>(s.right * s.right);
  }
  EXPECT_GT(samples.size(), 0u);
  EXPECT_GT(std::sqrt(power / (2.0 * std::max<size_t>(samples.size(), 1))), 300.0);
  // The picture is taken once the player has settled; it names the status line it shows.
  EXPECT_NE(output_.find("playing.png: Playing Track 1\n"), std::string::npos) << output_;
  const std::string log = Read(trace);
  const size_t scan = log.find("status cdaudio number of tracks\t0\t5\n");
  ASSERT_NE(scan, std::string::npos) << log;
  EXPECT_NE(log.find("play cdaudio from 1\t0\t\n", scan), std::string::npos) << log;
  EXPECT_NE(log.find("status cdaudio mode\t0\tplaying\n"), std::string::npos) << log;
}

// A ripped disc in the drive, AutoPlay on: what the program plays is recorded, sample for sample
// from the start of track 1, until it closes.
TEST_F(Program, RecordsWhatItPlaysWithAudioOut) {
  std::filesystem::create_directories(dir_ / "config");
  std::ofstream(dir_ / "config" / "ZQ_CD.INI")
      << "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nAuto Play=1\r\n";
  constexpr int64_t kFileFrames = 44100 * 20;
  vantora::testing::WriteSoundFile(dir_ / "rip.flac", kFileFrames,
                                   SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  vantora::testing::WriteText(dir_ / "rip.cue",
                              "FILE \"rip.flac\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                              " TRACK 02 AUDIO\n  INDEX 01 00:10:00\n");
  const auto image = vantora::platform::cdaudio::ReadDiscImage(dir_ / "rip.cue");
  ASSERT_TRUE(image.disc) << image.error;
  std::filesystem::create_directories(dir_ / "drive");
  {
    // Put in on another time line, the disc counts as spun up when the program looks.
    vantora::platform::ManualClock clock;
    vantora::platform::ScopedClock scoped(clock);
    ASSERT_TRUE(vantora::platform::cdaudio::VirtualDrive(dir_ / "drive").Insert(*image.disc).ok());
  }

  const auto heard = dir_ / "heard.wav";
  ASSERT_EQ(Run("--drive '" + (dir_ / "drive").string() + "' --audio-out '" + heard.string() +
                "' --screenshot '" + (dir_ / "playing.png").string() + "'"),
            0)
      << output_;
  EXPECT_NE(output_.find("playing.png: Playing Track 1\n"), std::string::npos) << output_;
  EXPECT_EQ(output_.find("no sound output"), std::string::npos) << output_;
  const std::vector<vantora::testing::Stereo> samples = vantora::testing::ReadRecording(heard);
  ASSERT_FALSE(samples.empty());
  ASSERT_LT(samples.size(), static_cast<size_t>(kFileFrames));
  EXPECT_EQ(vantora::testing::FirstDifference(
                samples, vantora::testing::Places(0, static_cast<int64_t>(samples.size()))),
            "");

  // A recording that cannot be made stops the program before it starts.
  EXPECT_EQ(Run("--audio-out '" + (dir_ / "no" / "such.wav").string() + "'"), 1);
  EXPECT_NE(output_.find("vantora: --audio-out: " + (dir_ / "no" / "such.wav").string() + ": "),
            std::string::npos)
      << output_;
}

// A BIN/CUE image given as the device, AutoPlay on: the program reads it through libcdio and
// records what it plays, sample for sample from the start of track 1.
TEST_F(Program, PlaysACdImageGivenAsTheDevice) {
  std::filesystem::create_directories(dir_ / "config");
  std::ofstream(dir_ / "config" / "ZQ_CD.INI")
      << "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nAuto Play=1\r\n";
  const auto image = vantora::testing::WriteCdImage(dir_, "disc", {{20 * 75}, {10 * 75}});
  const auto heard = dir_ / "heard.wav";
  const auto trace = dir_ / "trace.log";
  ASSERT_EQ(Run("--device '" + image.string() + "' --audio-out '" + heard.string() + "' --trace '" +
                trace.string() + "' --screenshot '" + (dir_ / "playing.png").string() + "'"),
            0)
      << output_;
  EXPECT_NE(output_.find("playing.png: Playing Track 1\n"), std::string::npos) << output_;
  const std::string log = Read(trace);
  EXPECT_NE(log.find("capability cdaudio can eject\t0\tfalse\n"), std::string::npos) << log;
  EXPECT_NE(log.find("status cdaudio number of tracks\t0\t2\n"), std::string::npos) << log;
  const std::vector<vantora::testing::Stereo> samples = vantora::testing::ReadRecording(heard);
  ASSERT_FALSE(samples.empty());
  ASSERT_LT(samples.size(), static_cast<size_t>(20 * 44100));
  EXPECT_EQ(vantora::testing::FirstDifference(
                samples, vantora::testing::Places(0, static_cast<int64_t>(samples.size()))),
            "");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "default-drive"));  // no virtual drive was made
}

// A device libcdio cannot open: the player starts all the same, without a drive, and one line
// says which path and why.
TEST_F(Program, ADeviceThatCannotBeOpenedIsNamedAndThePlayerStartsWithoutIt) {
  const auto missing = dir_ / "missing.cue";
  const auto trace = dir_ / "trace.log";
  ASSERT_EQ(Run("--device '" + missing.string() + "' --trace '" + trace.string() +
                "' --screenshot '" + (dir_ / "none.png").string() + "'"),
            0)
      << output_;
  const std::string line = "vantora: device '" + missing.string() + "': ";
  const size_t at = output_.find(line);
  ASSERT_NE(at, std::string::npos) << output_;
  EXPECT_NE(output_.find("No such file", at), std::string::npos) << output_;
  EXPECT_EQ(output_.find(line, at + 1), std::string::npos) << output_;  // said once
  EXPECT_EQ(Read(trace).rfind("open cdaudio shareable\t266\t\n", 0), 0u) << Read(trace);
}

TEST_F(Program, WithoutASoundOutputItSaysSoOnceAndPlaysSilently) {
  // The output is looked for when the first sound comes: AutoPlay brings it.
  std::filesystem::create_directories(dir_ / "config");
  std::ofstream(dir_ / "config" / "ZQ_CD.INI")
      << "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nAuto Play=1\r\n";
  // A sound server that is not there, whatever this machine has.
  ::setenv("PULSE_SERVER", ("unix:" + (dir_ / "no-sound").string()).c_str(), 1);
  const int code = Run("--drive '" + (dir_ / "drive").string() + "' --screenshot '" +
                       (dir_ / "player.png").string() + "'");
  ::unsetenv("PULSE_SERVER");
  EXPECT_EQ(code, 0) << output_;
  const std::string said = "vantora: no sound output, so playback is silent\n";
  const size_t first = output_.find(said);
  EXPECT_NE(first, std::string::npos) << output_;
  EXPECT_EQ(output_.find(said, first + 1), std::string::npos) << output_;
  EXPECT_EQ(output_.find("PulseAudio"), std::string::npos) << output_;
}

TEST_F(Program, CommandLineErrorsNameTheBadArgument) {
  EXPECT_EQ(Run("--bogus"), 1);
  EXPECT_NE(output_.find("'--bogus'"), std::string::npos) << output_;
  EXPECT_EQ(Run("--drive"), 1);
  EXPECT_NE(output_.find("Missing value after '--drive'"), std::string::npos) << output_;
  EXPECT_EQ(Run("--drive here --device /dev/sr0"), 1);
  EXPECT_NE(output_.find("'--drive' and '--device'"), std::string::npos) << output_;
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(output_.rfind("vantora ", 0), 0u);
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(output_.find("--trace FILE"), std::string::npos);
  EXPECT_NE(output_.find("--device PATH"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "config"));  // nothing ran
}

TEST_F(Program, WithoutADisplayItSaysSoInsteadOfCrashing) {
  const std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
      "VANTORA_CONFIG_DIR='" +
      (dir_ / "config").string() + "' '" VANTORA_EXECUTABLE "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  const int status = ::pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(output.find("no display"), std::string::npos) << output;
}

}  // namespace
