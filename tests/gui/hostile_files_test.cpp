// SPDX-License-Identifier: GPL-3.0-or-later
// The vantora program started on hand-made hostile settings files: junk, huge lines, duplicate
// sections, settings out of range and album sections full of garbage. Each run must show the
// window, play a track the disc has, exit 0 and leave every byte of ZQ_CD.INI it does not mean to
// write as it was.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/state.h"
#include "platform/cdaudio/virtual_drive.h"
#include "tests/support/child_process.h"
#include "tests/support/player_environment.h"

namespace vantora::testing {
namespace {

// The demo disc's album key: 12 tracks, the disc 50:53 and its first three tracks 3:42, 4:05
// and 2:58 long, each in hundredths of a second plus one.
const std::string kDemoKey = "12305301222012450117801";
const std::string kSettings = "[CD Player Settings]\r\n";
const std::string kProduct = std::string("Product=") + app::kProduct + "\r\n";
const std::string kAutoPlay = kSettings + kProduct + "Auto Play=1\r\n";
constexpr size_t kHuge = 8u << 20;

// What the player writes into the first settings section, on a first run and on every close.
const std::set<std::string> kWrittenKeys = {"window x",      "window y",  "stay on top",
                                            "control panel", "auto play", "look up titles",
                                            "display mode",  "volume"};

struct Case {
  const char* name;
  std::function<std::string()> file;
  bool plays;  // Auto Play is on: the player starts the disc by itself
};

void PrintTo(const Case& hostile, std::ostream* out) {
  *out << hostile.name;
}

std::string Repeated(size_t count, char c) {
  return std::string(count, c);
}

std::string NulsAndHighBytes() {
  std::string junk;
  for (size_t i = 0; i < 4096; ++i) {
    junk += static_cast<char>(i % 3 == 0 ? 0 : 0x80 + i % 0x80);
  }
  return junk;
}

std::string RandomBytes() {
  std::mt19937 random(20240611);
  std::string junk(64 * 1024, '\0');
  for (char& c : junk) {
    c = static_cast<char>(random() & 0xFF);
  }
  return junk;
}

std::string DemoAlbum(const std::string& playlists) {
  std::string text = "[" + kDemoKey + "]\r\nTitle=Hostile Album\r\nArtist=Nobody\r\n";
  for (int n = 1; n <= 12; ++n) {
    text += "Track " + std::to_string(n) + "=Song " + std::to_string(n) + "\r\n";
  }
  return text + playlists;
}

const Case kCases[] = {
    {"NulsAndHighBytesWithoutLineEnds", NulsAndHighBytes, false},
    {"RandomBytes", RandomBytes, false},
    {"RandomBytesBeforeTheSettings", [] { return RandomBytes() + "\n" + kAutoPlay; }, true},
    {"JunkInsideTheSettings",
     [] { return kAutoPlay + NulsAndHighBytes() + "\r\nDisplay Mode=2\r\n" + RandomBytes(); },
     true},
    {"EightMegabyteValues",
     [] {
       return kAutoPlay + "Cover Notes=" + Repeated(kHuge, 'x') +
              "\r\nWindow X=" + Repeated(kHuge, '9') + "\r\n[Other]\r\nBig=" + Repeated(kHuge, 'y');
     },
     true},
    {"EightMegabyteNames",
     [] {
       return "[" + Repeated(kHuge, 'S') + "]\r\nKey=1\r\n[" + Repeated(kHuge, 'T') + "\r\n" +
              kAutoPlay + Repeated(kHuge, 'K') + "=1\r\n" + Repeated(kHuge, 'L') + "\r\n";
     },
     true},
    {"DuplicateSettingsSections",
     [] {
       return kAutoPlay + "Display Mode=3\r\nWindow X=10\r\n[cd player settings]\r\n" +
              "Product=Someone Else\r\nAuto Play=0\r\nDisplay Mode=5\r\nWindow X=900\r\n" +
              "Extra=kept\r\n[  CD Player Settings  ]\r\nAuto Play=0\r\nControl Panel=1\r\n" +
              kSettings + "Window Y=77\r\n";
     },
     true},
    {"DuplicateKeysInTheSettings",
     [] {
       return kAutoPlay + "Display Mode=4\r\nAuto Play=0\r\n  display MODE = 6 \r\n" +
              "Window X=5\r\nwindow x=6\r\n";
     },
     true},
    {"ByteOrderMarkAndOldLineEnds",
     [] {
       return "\xEF\xBB\xBF[CD Player Settings]\rProduct=" + std::string(app::kProduct) +
              "\rAuto Play=1\r[Other]\rKey=1";
     },
     true},
    {"SettingsOutOfRange",
     [] { return kAutoPlay + "Display Mode=9\r\nWindow X=-99999\r\nWindow Y=99999999999\r\n"; },
     true},
    {"SettingsBeyondEveryLimit",
     [] {
       return kAutoPlay +
              "Display Mode=0\r\nWindow X=-2147483648\r\nWindow Y=-99999999999\r\n"
              "Stay On Top=-7\r\nControl Panel=banana\r\n";
     },
     true},
    {"SettingsThatAreNotNumbers",
     [] {
       return kSettings + kProduct +
              "Auto Play=banana\r\nDisplay Mode=-1\r\nWindow X=1e400\r\nWindow Y=--5\r\n"
              "Stay On Top=0x10\r\nControl Panel=\r\n";
     },
     false},
    {"SettingsWithFractionsAndTails",
     [] {
       return kSettings + kProduct +
              "Auto Play= 1.9 \r\nDisplay Mode=3.7\r\nWindow X=12abc\r\nWindow Y=\"40\"\r\n";
     },
     true},
    {"PlaylistsOfGarbage",
     [] {
       return kAutoPlay + DemoAlbum("PlayList Count=4\r\nPlayList 1 Title=Binary\r\nPlayList 1=" +
                                    NulsAndHighBytes() +
                                    "\r\nPlayList 2 Title=Too Few\r\nPlayList 2=09 1 2\r\n"
                                    "PlayList 3 Title=Too Many\r\nPlayList 3=03" +
                                    Repeated(600, '1') +
                                    "\r\nPlayList 4 Title=Beyond The Disc\r\n"
                                    "PlayList 4=07 013992551-1ab 5\r\n");
     },
     true},
    {"PlaylistCountThatLies",
     [] {
       return kAutoPlay +
              DemoAlbum(
                  "PlayList Count=99999\r\nPlayList 1 Title=Only\r\n"
                  "PlayList 1=02 0 13\r\n") +
              "[Other]\r\nPlayList Count=-3\r\n" +
              DemoAlbum("PlayList Count=banana\r\nPlayList 1=99\r\n");
     },
     true},
    {"PlaylistCountNegative",
     [] {
       return kAutoPlay + DemoAlbum(
                              "PlayList Count=-5\r\nPlayList 1 Title=Hidden\r\n"
                              "PlayList 1=0255-1\r\nTrack 13=No Such Track\r\n");
     },
     true},
};

// A file's lines, each with its ending; a lone CR ends a line as LF and CR LF do.
std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))) {
      lines.push_back(bytes.substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  if (start < bytes.size()) {
    lines.push_back(bytes.substr(start));
  }
  return lines;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  const size_t begin = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

std::string Folded(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

// The key of an entry line, folded; "" for other lines.
std::string KeyOf(const std::string& line) {
  const std::string trimmed = Trimmed(line);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '[' ||
      trimmed.find('=') == std::string::npos) {
    return "";
  }
  return Folded(Trimmed(trimmed.substr(0, trimmed.find('='))));
}

// Where each line lies: in the first "CD Player Settings" section, and there the line the player
// reads and writes for one of its keys (the key's first).
enum class Place { kElsewhere, kInSettings, kPlayersKey };
std::vector<Place> Places(const std::vector<std::string>& lines) {
  std::vector<Place> places;
  int settingsSeen = 0;
  bool inside = false;
  std::set<std::string> keysSeen;
  for (const std::string& line : lines) {
    // A byte-order mark opening the file is no part of its first line.
    const bool mark = places.empty() && line.starts_with("\xEF\xBB\xBF");
    const std::string trimmed = Trimmed(mark ? line.substr(3) : line);
    if (!trimmed.empty() && trimmed[0] == '[') {
      const std::string name = Folded(Trimmed(trimmed.substr(1, trimmed.find(']') - 1)));
      inside = name == "cd player settings" && ++settingsSeen == 1;
    }
    const std::string key = KeyOf(line);
    const bool own = inside && kWrittenKeys.count(key) > 0 && keysSeen.insert(key).second;
    places.push_back(own ? Place::kPlayersKey : inside ? Place::kInSettings : Place::kElsewhere);
  }
  return places;
}

// Where `after` differs from `before` other than by the player's own writes: its eight keys set in
// the first settings section, the section (with the product and copyright) added on a first run,
// and a line end given to a last line that had none. Lines the player adds end like the file's
// first line, or in LF. "" when there is no such place.
std::string UnmeantChange(const std::string& before, const std::string& after) {
  const std::vector<std::string> old = Lines(before);
  const std::vector<std::string> now = Lines(after);
  const std::string first = old.empty() ? "" : old.front();
  const std::string eol = first.ends_with("\r\n") ? "\r\n" : first.ends_with("\r") ? "\r" : "\n";
  const auto ended = [&eol](const std::string& crlfLine) {
    return crlfLine.substr(0, crlfLine.size() - 2) + eol;
  };
  const std::vector<Place> oldPlaces = Places(old);
  const std::vector<Place> nowPlaces = Places(now);
  const bool hadSettings = std::count(oldPlaces.begin(), oldPlaces.end(), Place::kElsewhere) !=
                           static_cast<std::ptrdiff_t>(old.size());
  const std::string copyright = std::string("Copyright=") + app::kCopyright + eol;
  auto added = [&](size_t j) {
    return nowPlaces[j] == Place::kPlayersKey ||
           (nowPlaces[j] == Place::kInSettings &&
            (now[j] == ended(kProduct) || now[j] == copyright ||
             (!hadSettings && now[j] == ended(kSettings))));
  };
  size_t i = 0;
  size_t j = 0;
  while (i < old.size() || j < now.size()) {
    const bool lastWithoutEnd =
        i + 1 == old.size() && old[i].back() != '\n' && old[i].back() != '\r';
    if (i < old.size() && j < now.size() &&
        (now[j] == old[i] || (lastWithoutEnd && now[j] == old[i] + eol))) {
      ++i;
      ++j;
      continue;
    }
    const bool canAdd = j < now.size() && added(j);
    const bool canDrop = i < old.size() && oldPlaces[i] == Place::kPlayersKey;
    i += canDrop ? 1 : 0;
    j += canAdd ? 1 : 0;
    if (!canAdd && !canDrop) {
      auto shown = [](const std::vector<std::string>& lines, size_t at) {
        return at < lines.size() ? lines[at].substr(0, 80) : std::string("(end of file)");
      };
      return "line " + std::to_string(i + 1) + " was \"" + shown(old, i) + "\", now line " +
             std::to_string(j + 1) + " is \"" + shown(now, j) + "\"";
    }
  }
  return "";
}

// The value the player left for one of its keys.
std::string WrittenValue(const std::string& bytes, const std::string& key) {
  const std::vector<std::string> lines = Lines(bytes);
  const std::vector<Place> places = Places(lines);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (places[i] == Place::kPlayersKey && KeyOf(lines[i]) == Folded(key)) {
      const std::string trimmed = Trimmed(lines[i]);
      return Trimmed(trimmed.substr(trimmed.find('=') + 1));
    }
  }
  return "";
}

class HostileFiles : public ::testing::TestWithParam<Case> {
 protected:
  // Starts the player on its own drive with --trace and --screenshot; false if it did not end
  // by itself in time.
  bool RunPlayer(int& code) {
    Child player;
    const std::vector<std::string> env =
        Environment({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VANTORA_CONFIG_DIR",
                     "VANTORA_DRIVE", "DBUS_SESSION_BUS_ADDRESS"},
                    {"QT_QPA_PLATFORM=offscreen", "VANTORA_CONFIG_DIR=" + env_.ConfigDir().string(),
                     "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir_ / "no-bus").string()});
    // A disc that carries no names, so that all the player writes is its settings.
    namespace cd = platform::cdaudio;
    EXPECT_TRUE(cd::VirtualDrive(dir_ / "drive")
                    .Insert(cd::Disc{"", cd::DemoDisc().toc}, cd::VirtualDrive::Arrival::Ready)
                    .ok());
    if (!player.Start({VANTORA_EXECUTABLE, "--drive", (dir_ / "drive").string(), "--trace",
                       (dir_ / "trace.log").string(), "--screenshot", Shot()},
                      env, dir_ / "output.log")) {
      return false;
    }
    return player.WaitForExit(120s, code);
  }
  std::string Shot() const { return (dir_ / "player.png").string(); }

  app::testing::PlayerEnvironment env_{"hostile",
                                       app::testing::PlayerEnvironment::Parts::kSettingsOnly};
  const std::filesystem::path dir_ = env_.ConfigDir().parent_path();
};

TEST_P(HostileFiles, PlayerStartsShowsPlaysAndKeepsWhatItDoesNotWrite) {
  const Case& hostile = GetParam();
  const std::filesystem::path ini = env_.ConfigDir() / app::kIniFile;
  const std::string before = hostile.file();
  std::ofstream(ini, std::ios::binary) << before;

  int code = -1;
  ASSERT_TRUE(RunPlayer(code)) << "the player did not end by itself";
  const std::string output = Read(dir_ / "output.log");
  EXPECT_EQ(code, 0) << output;

  // A real picture of the window, not an empty or one-coloured one.
  QImage picture;
  ASSERT_TRUE(picture.load(QString::fromStdString(Shot()), "PNG")) << output;
  EXPECT_GE(picture.width(), 100);
  EXPECT_GE(picture.height(), 20);
  std::set<QRgb> colours;
  for (int y = 0; y < picture.height(); y += 2) {
    for (int x = 0; x < picture.width(); x += 2) {
      colours.insert(picture.pixel(x, y));
    }
  }
  EXPECT_GT(colours.size(), 8u);
  std::filesystem::create_directories(VANTORA_SCREENSHOT_DIR);
  std::filesystem::copy_file(Shot(),
                             std::filesystem::path(VANTORA_SCREENSHOT_DIR) /
                                 ("hostile-" + std::string(hostile.name) + ".png"),
                             std::filesystem::copy_options::overwrite_existing);

  // The status it settled on, and every play command kept within the disc's 12 tracks.
  const size_t said = output.find(Shot() + ": ");
  ASSERT_NE(said, std::string::npos) << output;
  const size_t from = said + Shot().size() + 2;
  const std::string status = output.substr(from, output.find('\n', from) - from);
  const std::string log = Read(dir_ / "trace.log");
  const std::regex playCommand("(^|\n)play cdaudio from (\\d+)(?: to (\\d+))?\t(\\d+)\t");
  int plays = 0;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), playCommand);
       it != std::sregex_iterator(); ++it, ++plays) {
    for (const int group : {2, 3}) {
      if ((*it)[group].matched) {
        const int track = std::stoi((*it)[group].str());
        EXPECT_TRUE(track >= 1 && track <= 12) << (*it).str();
      }
    }
    EXPECT_EQ((*it)[4].str(), "0") << (*it).str();
  }
  if (hostile.plays) {
    std::smatch track;
    ASSERT_TRUE(std::regex_match(status, track, std::regex("Playing Track (\\d+)"))) << status;
    EXPECT_TRUE(std::stoi(track[1].str()) >= 1 && std::stoi(track[1].str()) <= 12) << status;
    EXPECT_GT(plays, 0) << log;
  } else {
    EXPECT_EQ(status, "Stopped");
    EXPECT_EQ(plays, 0) << log;
  }

  // Only the player's own settings changed, and it saved them within their range.
  const std::string after = Read(ini);
  EXPECT_EQ(UnmeantChange(before, after), "");
  EXPECT_EQ(output.find("could not save"), std::string::npos) << output;
  const std::string mode = WrittenValue(after, "Display Mode");
  EXPECT_TRUE(mode.size() == 1 && mode[0] >= '1' && mode[0] <= '6') << mode;
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace vantora::testing
