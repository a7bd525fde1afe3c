// SPDX-License-Identifier: GPL-3.0-or-later
// Discs opened as users open them, through the real player on X: a ripped album named on the
// command line plays at once and is heard; a file dropped on the window, or opened by a second
// start while the player runs, goes into its drive; what cannot be played, and a named drive that
// is missing, are said in a box over the window.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/sound_image.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;
using namespace std::chrono_literals;

constexpr int kFlac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;

TEST(OpenFiles, CommandLineDropAndSecondStartPutTheirDiscInAndProblemsShowInABox) {
  XSession x;
  ASSERT_NO_FATAL_FAILURE(x.Start(XSession::WindowManager::kOpenbox));
  const auto dir = x.dir(), drive = dir / "drive", trace = dir / "trace.log";
  // Ripped one file a track, converted to FLAC afterwards: the sheet still names WAV files.
  WriteSoundFile(dir / "01 One.flac", 44100 * 30, kFlac);
  WriteSoundFile(dir / "02 Two.flac", 44100 * 30, kFlac, 44100, 2, 3'000'000);
  WriteText(dir / "album.cue",
            "\xEF\xBB\xBFTITLE \"Caf\xC3\xA9\"\r\nFILE \"01 One.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
            "    INDEX 01 00:00:00\r\nFILE \"02 Two.wav\" WAVE\r\n  TRACK 02 AUDIO\r\n"
            "    INDEX 01 00:00:00\r\n");
  WriteText(dir / "bad.cue",
            "FILE \"01 One.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nSPIN\n");
  WriteSoundFile(dir / "single.wav", 44100 * 5);
  const auto heard = dir / "heard.wav";
  ASSERT_NO_FATAL_FAILURE(
      x.StartPlayer({.ini = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\nAuto Play=1\r\n",
                     .drive = drive,
                     .arguments = {"--trace", trace.string(), "--audio-out", heard.string(),
                                   (dir / "album.cue").string()}}));
  const auto logged = [&](const std::string& text) {
    return [&, text] { return Read(trace).find(text) != std::string::npos ? "y" : ""; };
  };
  ASSERT_FALSE(Poll(30s, logged("number of tracks\t0\t2\n")).empty()) << Read(trace);
  ASSERT_FALSE(Poll(30s, logged("play cdaudio from 1\t0")).empty()) << Read(trace);
  const QPoint middle = x.ClientGeometry(x.player_window()).center();
  const auto box = [&] {
    for (const WindowId window : x.VisibleWindows(x.player().pid())) {
      if (x.Property(window, "WM_NAME").find("\"Vantora\"") != std::string::npos) {
        return window;
      }
    }
    return WindowId{0};
  };

  // A sheet that cannot play, dropped: a box names the line; the disc stays.
  ASSERT_TRUE(x.DropFiles({dir / "bad.cue"}, middle.x(), middle.y()));
  const std::string shown = Poll(30s, [&] { return box() != 0 ? "y" : ""; });
  ASSERT_FALSE(shown.empty()) << Read(x.player_log());
  EXPECT_NE(Read(x.player_log()).find("bad.cue: line 4: unknown command \"SPIN\""),
            std::string::npos);
  x.Xdotool("windowactivate --sync " + std::to_string(box()) + " key Return");
  ASSERT_FALSE(Poll(30s, [&] { return box() == 0 ? "y" : ""; }).empty());

  // A web address is no file to drop.
  EXPECT_FALSE(x.DropUrls({"http://example.com/a.flac"}, middle.x(), middle.y()));
  // A sound file dropped: a disc of one track.
  ASSERT_TRUE(x.DropFiles({dir / "single.wav"}, middle.x(), middle.y()));
  ASSERT_FALSE(Poll(30s, logged("number of tracks\t0\t1\n")).empty()) << Read(trace);

  // Opened again while the player runs: this start hands the album over and ends.
  Child second;
  const auto secondLog = dir / "second.log";
  ASSERT_TRUE(
      second.Start({VANTORA_EXECUTABLE, "-style", "fusion", "--drive=" + drive.string(),
                    (dir / "album.cue").string()},
                   Environment({"QT_QPA_PLATFORM", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"},
                               {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x.display(),
                                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir / "bus").string()}),
                   secondLog));
  int code = -1;
  ASSERT_TRUE(second.WaitForExit(30s, code));
  EXPECT_EQ(code, 0) << Read(secondLog);
  EXPECT_NE(Read(secondLog).find("already running"), std::string::npos) << Read(secondLog);
  ASSERT_FALSE(Poll(30s,
                    [&] {
                      const std::string log = Read(trace);
                      return log.find("number of tracks\t0\t2\n",
                                      log.find("number of tracks\t0\t1\n")) != std::string::npos
                                 ? "y"
                                 : "";
                    })
                   .empty())
      << Read(trace);
  EXPECT_EQ(x.StopPlayer(), 0);

  // What was heard while the album played is its first file, sample for sample.
  const std::vector<Stereo> samples = ReadRecording(heard);
  ASSERT_GT(samples.size(), 44100u);
  EXPECT_EQ(FirstDifference(std::vector<Stereo>(samples.begin(), samples.begin() + 44100),
                            Places(0, 44100)),
            "");

  // A mistyped drive is never made; the box says why the player has none.
  ASSERT_NO_FATAL_FAILURE(x.StartPlayer({.arguments = {"--drive", (dir / "drvie").string()}}));
  ASSERT_FALSE(Poll(30s, [&] { return box() != 0 ? "y" : ""; }).empty());
  EXPECT_NE(Read(x.player_log()).find("drvie: no such directory"), std::string::npos);
  std::this_thread::sleep_for(500ms);  // for the picture: the box drawn
  SavePng(x.Capture(), ScreenshotPath("open_files_no_drive.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "drvie"));
}

}  // namespace
