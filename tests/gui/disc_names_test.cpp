// SPDX-License-Identifier: GPL-3.0-or-later
// Names for discs the album store does not know, through the real player: CD-Text of an image,
// a ripped disc's cue sheet lines, a look-up on a loopback server standing in for MusicBrainz
// (fast and slow), and names the user typed, which nothing replaces.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/cd_image.h"
#include "tests/support/child_process.h"
#include "tests/support/sound_image.h"
#include "tests/support/x_session.h"

namespace {

using namespace vantora::testing;
using namespace std::chrono_literals;

// Answers every GET with reply.json and the status in "status" after the seconds in "delay", and
// notes each path.
constexpr const char* kServer = R"(import http.server, pathlib, sys, time
d = pathlib.Path(sys.argv[1])
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(d / "requests.log", "a") as log: log.write(self.path + "\n")
        time.sleep(float((d / "delay").read_text()))
        body = (d / "reply.json").read_bytes()
        self.send_response(int((d / "status").read_text()))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers(); self.wfile.write(body)
    def log_message(self, *args): pass
server = http.server.HTTPServer(("127.0.0.1", 0), H)
(d / "port").write_text(str(server.server_port))
server.serve_forever()
)";

TEST(DiscNames, TheDiscsOwnNamesElseALookUpAreStoredOnceAndTypedNamesStay) {
  XSession x;
  ASSERT_NO_FATAL_FAILURE(x.Start(XSession::WindowManager::kOpenbox));
  const std::string bus = x.StartBus();
  const auto dir = x.dir(), ini = x.config_dir() / "ZQ_CD.INI", trace = dir / "trace.log";
  WriteText(dir / "server.py", kServer);
  WriteText(dir / "delay", "0");
  WriteText(dir / "status", "200");
  WriteText(dir / "reply.json",
            R"({"releases":[{"title":"Looked Up","artist-credit":[{"name":"Far Band"}],)"
            R"("media":[{"position":1,"track-count":1,"tracks":[{"position":1,"title":"Found",)"
            R"("length":5000}]}]}]})");
  Child server;
  ASSERT_TRUE(server.Start({"python3", (dir / "server.py").string(), dir.string()},
                           Environment({}, {}), dir / "server.log"));
  ASSERT_FALSE(Poll(30s, [&] { return Read(dir / "port"); }).empty()) << Read(dir / "server.log");
  ::setenv("VANTORA_MUSICBRAINZ_URL", ("http://127.0.0.1:" + Read(dir / "port")).c_str(), 1);
  const std::string settings = "[CD Player Settings]\r\nProduct=Vantora - Brennix\r\n";
  const auto stored = [&](const std::string& text) {
    return Poll(30s, [&] { return Read(ini).find(text) != std::string::npos ? "y" : ""; });
  };

  // CD-Text of an image libcdio opens: its sheet's TITLE and PERFORMER lines. MPRIS shows them.
  const auto image = WriteCdImage(dir, "image", {{150, false}, {300, false}});
  WriteText(image, "TITLE \"Pale Lantern\"\nPERFORMER \"Ora Vell\"\n" + Read(image));
  ASSERT_NO_FATAL_FAILURE(x.StartPlayer({.ini = settings, .arguments = {"--device", image}}));
  ASSERT_FALSE(stored("Title=Pale Lantern\r\nArtist=Ora Vell\r\n").empty()) << Read(ini);
  // The player comes on the bus once its window shows.
  std::string metadata;
  Poll(30s, [&] {
    metadata = Output(
        "timeout 30 gdbus call --address '" + bus +
        "' --dest org.mpris.MediaPlayer2.vantora --object-path /org/mpris/MediaPlayer2 "
        "--method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Metadata");
    return metadata.find("Pale Lantern") != std::string::npos ? "y" : "";
  });
  EXPECT_NE(metadata.find("Pale Lantern"), std::string::npos) << metadata;
  x.StopPlayer();

  // A ripped disc's sheet names it and its tracks, in Windows-1252 here.
  WriteSoundFile(dir / "a.wav", 44100 * 4);
  WriteText(dir / "named.cue",
            "TITLE \"Caf\xE9\"\nPERFORMER \"Zo\xEB\"\nFILE a.wav WAVE\nTRACK 01 AUDIO\n"
            "TITLE \"Premi\xE8re\"\nINDEX 01 00:00:00\n");
  ASSERT_NO_FATAL_FAILURE(x.StartPlayer({.ini = settings + "Look Up Titles=1\r\n",
                                         .drive = dir / "drive",
                                         .arguments = {(dir / "named.cue").string()}}));
  ASSERT_FALSE(
      stored("Title=Caf\xC3\xA9\r\nArtist=Zo\xC3\xAB\r\nTrack 1=Premi\xC3\xA8re\r\n").empty())
      << Read(ini);
  x.StopPlayer();
  EXPECT_EQ(Read(dir / "requests.log"), "");  // a disc with names of its own is not looked up

  // A disc without names is looked up, once the user has turned that on.
  WriteSoundFile(dir / "b.wav", 44100 * 5);
  WriteText(dir / "plain.cue", "FILE b.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_NO_FATAL_FAILURE(
      x.StartPlayer({.drive = dir / "drive",
                     .arguments = {"--trace", trace.string(), (dir / "plain.cue").string()}}));
  ASSERT_FALSE(stored("Title=Looked Up\r\nArtist=Far Band\r\nTrack 1=Found\r\n").empty())
      << Read(ini) << Read(x.player_log());
  std::cout << "names looked up and stored "
            << std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count()
            << " ms after the player started\n";
  x.StopPlayer();
  EXPECT_NE(Read(dir / "requests.log").find("/ws/2/discid/"), std::string::npos);

  // Names the user typed stay: the same disc again, after its title was changed by hand.
  std::string text = Read(ini);
  text.replace(text.find("Title=Looked Up"), 15, "Title=Mine");
  WriteText(ini, text);
  WriteText(dir / "requests.log", "");
  ASSERT_NO_FATAL_FAILURE(
      x.StartPlayer({.drive = dir / "drive", .arguments = {(dir / "plain.cue").string()}}));
  std::this_thread::sleep_for(2s);
  x.StopPlayer();
  EXPECT_NE(Read(ini).find("Title=Mine\r\n"), std::string::npos) << Read(ini);
  EXPECT_EQ(Read(dir / "requests.log"), "");

  // A slow service: the player keeps polling its drive meanwhile, and takes the names late.
  WriteText(dir / "delay", "4");
  WriteSoundFile(dir / "c.wav", 44100 * 6);
  WriteText(dir / "slow.cue", "FILE c.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  WriteText(trace, "");
  ASSERT_NO_FATAL_FAILURE(
      x.StartPlayer({.drive = dir / "drive",
                     .arguments = {"--trace", trace.string(), (dir / "slow.cue").string()}}));
  ASSERT_FALSE(Poll(30s, [&] { return Read(dir / "requests.log"); }).empty());
  const size_t polls = CountOf(Read(trace), "status cdaudio mode");
  std::this_thread::sleep_for(3s);
  EXPECT_GE(CountOf(Read(trace), "status cdaudio mode"), polls + 3);
  EXPECT_EQ(Read(ini).find("Title=Looked Up"), std::string::npos);
  ASSERT_FALSE(stored("Title=Looked Up").empty()) << Read(ini);
  x.StopPlayer();

  // A disc the service does not know: the editor shows its ID and a link that adds it there,
  // opened in the browser (here a stand-in that notes the address).
  WriteText(dir / "delay", "0");
  WriteText(dir / "status", "404");
  WriteText(dir / "reply.json", R"({"error":"Not Found"})");
  std::filesystem::create_directories(dir / "bin");
  WriteText(dir / "bin" / "xdg-open",
            "#!/bin/sh\necho \"$1\" >> \"" + (dir / "opened").string() + "\"\n");
  std::filesystem::permissions(dir / "bin" / "xdg-open", std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", ((dir / "bin").string() + ":" + path).c_str(), 1);
  WriteText(dir / "requests.log", "");
  WriteSoundFile(dir / "d.wav", 44100 * 7);
  WriteText(dir / "new.cue", "FILE d.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  ASSERT_NO_FATAL_FAILURE(
      x.StartPlayer({.drive = dir / "drive", .arguments = {(dir / "new.cue").string()}}));
  ::setenv("PATH", path.c_str(), 1);
  ASSERT_FALSE(
      Poll(30s, [&] { return CountOf(Read(dir / "requests.log"), "\n") == 2 ? "y" : ""; }).empty())
      << Read(dir / "requests.log");
  std::this_thread::sleep_for(1500ms);  // a tick takes the answer
  x.Xdotool("windowactivate --sync " + std::to_string(x.player_window()) +
            " key --clearmodifiers alt+e");
  ASSERT_FALSE(
      Poll(30s, [&] { return x.VisibleWindows(x.player().pid()).size() == 2 ? "y" : ""; }).empty());
  std::this_thread::sleep_for(500ms);
  SavePng(x.Capture(), ScreenshotPath("disc_names_unknown_disc.png"));
  x.Xdotool("key --clearmodifiers alt+m");
  ASSERT_FALSE(Poll(30s, [&] { return Read(dir / "opened"); }).empty()) << Read(x.player_log());
  EXPECT_NE(Read(dir / "opened").find("/cdtoc/attach?id="), std::string::npos)
      << Read(dir / "opened");
  x.StopPlayer();
  ::unsetenv("VANTORA_MUSICBRAINZ_URL");
}

}  // namespace
