// SPDX-License-Identifier: GPL-3.0-or-later
// Loading and saving one album in a profile file of many albums, as the player does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/profile/profile.h"

namespace vantora::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFile = "ZQ_CD.INI";
constexpr int kTracks = 99;
constexpr int kPlaylists = 20;
// What the player must reach: one album loaded in this long, and a save at most this many times
// the cost of plainly rewriting the same bytes.
constexpr double kLoadGoalMs = 0.05;
constexpr double kSaveGoalRatio = 1.5;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

// The keys of one album section: title, artist, track titles and playlists with their titles.
std::vector<std::string> AlbumKeys() {
  std::vector<std::string> keys = {"Title", "Artist"};
  for (int track = 1; track <= kTracks; ++track) {
    keys.push_back("Track " + std::to_string(track));
  }
  keys.push_back("PlayList Count");
  for (int list = 1; list <= kPlaylists; ++list) {
    keys.push_back("PlayList " + std::to_string(list) + " Title");
    keys.push_back("PlayList " + std::to_string(list));
  }
  return keys;
}

std::string AlbumSection(int album) {
  return std::to_string(10 + album % 89) + std::to_string(27120124501 + 7919LL * album);
}

// A value of 30 to 60 characters that differs by album, key and edit round.
std::string Value(int album, size_t key, int round) {
  std::string value = "Title " + std::to_string(album) + "/" + std::to_string(key) + " round " +
                      std::to_string(round) + " of a somewhat long name";
  value.resize(30 + (album * 7 + key * 13) % 31, '.');
  return value;
}

// One profile file per album count, in a directory that goes away at exit.
class AlbumFiles {
 public:
  ~AlbumFiles() {
    FlushProfiles();
    std::error_code ignored;
    for (auto& [count, dir] : dirs_) {
      fs::remove_all(dir, ignored);
    }
  }

  // Points the config directory at a file of `count` albums and returns the middle album.
  int Use(int count) {
    auto it = dirs_.find(count);
    if (it == dirs_.end()) {
      std::string pattern = (fs::temp_directory_path() / "vantora-bench-XXXXXX").string();
      if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
      }
      Write(pattern + "/" + kFile, count);
      it = dirs_.emplace(count, pattern).first;
    }
    setenv("VANTORA_CONFIG_DIR", it->second.c_str(), 1);
    return count / 2;
  }

  fs::path PathOf(int count) const { return fs::path(dirs_.at(count)) / kFile; }

 private:
  static void Write(const std::string& path, int count) {
    std::vector<std::string> keys = AlbumKeys();
    std::ofstream out(path, std::ios::binary);
    out << "[CD Player Settings]\r\nAutoPlay=1\r\nControl Panel=0\r\nStay On Top=0\r\n"
           "Window X=120\r\nWindow Y=80\r\nDisplay Mode=1\r\n";
    for (int album = 0; album < count; ++album) {
      out << "\r\n[" << AlbumSection(album) << "]\r\n";
      for (size_t key = 0; key < keys.size(); ++key) {
        out << keys[key] << '=' << Value(album, key, 0) << "\r\n";
      }
    }
  }

  std::map<int, std::string> dirs_;
};

AlbumFiles& Files() {
  static AlbumFiles files;
  return files;
}

// The player's load: one read per key into a value buffer of the runtime's size.
void LoadAlbum(const std::string& section, const std::vector<std::string>& keys) {
  char buffer[1024];
  for (const std::string& key : keys) {
    benchmark::DoNotOptimize(
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, kFile));
  }
}

void BM_LoadAlbum(benchmark::State& state) {
  int album = Files().Use(static_cast<int>(state.range(0)));
  std::string section = AlbumSection(album);
  std::vector<std::string> keys = AlbumKeys();
  LoadAlbum(section, keys);  // the first load parses the file
  Clock::duration elapsed{};
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    LoadAlbum(section, keys);
    elapsed += Clock::now() - start;
  }
  const double ms =
      Milliseconds(elapsed) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  char label[96];
  std::snprintf(label, sizeof label, "load %.3f ms, %s %.2f ms", ms,
                ms <= kLoadGoalMs ? "within" : "over", kLoadGoalMs);
  state.SetLabel(label);
  state.counters["keys"] = static_cast<double>(keys.size());
  state.counters["file_MB"] =
      static_cast<double>(fs::file_size(Files().PathOf(static_cast<int>(state.range(0))))) / 1e6;
}

// Another program changed one byte of the file before each load: the load re-reads and re-parses.
void BM_LoadAlbumAfterOutsideChange(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  int album = Files().Use(count);
  std::string section = AlbumSection(album);
  std::vector<std::string> keys = AlbumKeys();
  FlushProfiles();
  int fd = ::open(Files().PathOf(count).c_str(), O_WRONLY);
  // The last byte of the file: a "." padding its last value, or a letter.
  off_t last = static_cast<off_t>(fs::file_size(Files().PathOf(count))) - 3;
  char flip = 'a';
  for (auto _ : state) {
    state.PauseTiming();
    flip = flip == 'a' ? 'b' : 'a';
    if (::pwrite(fd, &flip, 1, last) != 1) {
      state.SkipWithError("cannot change the file");
    }
    state.ResumeTiming();
    LoadAlbum(section, keys);
  }
  ::close(fd);
}

// The same bytes written plainly: a temporary file, fsync, rename. What a save cannot beat.
bool PlainRewrite(const fs::path& target, const std::string& bytes) {
  const fs::path temporary = target.string() + ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    return false;
  }
  bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
            ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  return ok && ::rename(temporary.c_str(), target.c_str()) == 0;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The editor's save: every key of the album written anew, then the write-back. Beside it, in the
// same run, the plain rewrite of the bytes the write-back produced, to compare the two.
void BM_SaveAlbum(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  int album = Files().Use(count);
  std::string section = AlbumSection(album);
  std::vector<std::string> keys = AlbumKeys();
  // Values differ from what the file holds in every iteration, including across repetitions.
  static int round = 0;
  std::vector<std::vector<std::string>> rounds(2);
  for (int which = 0; which < 2; ++which) {
    for (size_t key = 0; key < keys.size(); ++key) {
      rounds[which].push_back(Value(album, key, which + 1));
    }
  }
  // Each round's file is always the same bytes; read once, outside the timing.
  std::vector<std::string> written(2);
  const fs::path plain = Files().PathOf(count).parent_path() / "PLAIN.INI";
  LoadAlbum(section, keys);  // the first call after a change on disk parses the file
  Clock::duration flushing{};
  Clock::duration rewriting{};
  for (auto _ : state) {
    const int which = round;
    const std::vector<std::string>& values = rounds[which];
    round = 1 - round;
    for (size_t key = 0; key < keys.size(); ++key) {
      WritePrivateProfileStringA(section.c_str(), keys[key].c_str(), values[key].c_str(), kFile);
    }
    Clock::time_point start = Clock::now();
    if (!FlushProfiles()) {
      state.SkipWithError("write-back failed");
      break;
    }
    flushing += Clock::now() - start;
    if (written[which].empty()) {
      state.PauseTiming();
      written[which] = ReadAll(Files().PathOf(count));
      state.ResumeTiming();
    }
    start = Clock::now();
    if (!PlainRewrite(plain, written[which])) {
      state.SkipWithError("plain rewrite failed");
      break;
    }
    rewriting += Clock::now() - start;
  }
  const double iterations = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  const double saveMs = Milliseconds(flushing) / iterations;
  const double plainMs = Milliseconds(rewriting) / iterations;
  const double ratio = plainMs > 0 ? saveMs / plainMs : 0;
  state.counters["save_ms"] = saveMs;
  state.counters["plain_ms"] = plainMs;
  state.counters["ratio"] = ratio;
  char label[96];
  std::snprintf(label, sizeof label, "save %.2fx a plain rewrite, %s %.1fx", ratio,
                ratio <= kSaveGoalRatio ? "within" : "over", kSaveGoalRatio);
  state.SetLabel(label);
}

// The smoke run (filter /1000/) skips the largest size; names end in /real_time for that.
BENCHMARK(BM_LoadAlbum)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadAlbumAfterOutsideChange)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveAlbum)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantora::platform

BENCHMARK_MAIN();
