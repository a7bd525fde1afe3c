// SPDX-License-Identifier: GPL-3.0-or-later
// Disc images with sound: where a CUE sheet lays its file on the disc, the files refused when the
// disc goes in, the state file's record of the sound, the sound file read by place and the
// recorder's WAV file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/audio/sound_file.h"
#include "platform/audio/sound_output.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/drive_state.h"
#include "platform/cdaudio/drive_tool.h"
#include "platform/cdaudio/virtual_drive.h"
#include "tests/support/sound_image.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::cdaudio {
namespace {

using testing::TempDir;
using vantora::testing::Stereo;
using vantora::testing::WriteSoundFile;
using vantora::testing::WriteText;

constexpr int kFlac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;

struct SheetLayout {
  const char* name;
  std::string sheet;  // its FILE is a sound file of 10 seconds
  std::vector<SoundStretch> stretches;
  Frames leadOut;
};

class SheetLayoutTest : public ::testing::TestWithParam<SheetLayout> {};

// The probe stands for the sound reader: every file lasts 10 seconds.
TEST_P(SheetLayoutTest, LaysTheFileOnTheDiscBetweenItsGaps) {
  std::filesystem::path probed;
  const DiscReading reading =
      ParseCueSheet(GetParam().sheet, "/music", [&probed](const CueFile& file) {
        probed = file.path;
        return AudioFileFacts{Frames{750}, {}};
      });
  ASSERT_TRUE(reading.disc) << reading.error;
  ASSERT_TRUE(reading.disc->sound);
  EXPECT_EQ(reading.disc->sound->sources, (std::vector<SoundSource>{{probed.string()}}));
  EXPECT_EQ(reading.disc->sound->stretches, GetParam().stretches);
  EXPECT_EQ(reading.disc->toc.LeadOut(), GetParam().leadOut);
}

std::string Sheet(const std::string& tracks) {
  return "FILE \"a.wav\" WAVE\n" + tracks;
}
constexpr const char* kTrack1 = "TRACK 01 AUDIO\nINDEX 01 00:00:00\n";

INSTANTIATE_TEST_SUITE_P(
    Sheets, SheetLayoutTest,
    ::testing::Values(
        SheetLayout{"NoGaps",
                    Sheet(std::string(kTrack1) + "TRACK 02 AUDIO\nINDEX 01 00:04:00\n"),
                    {{Frames{150}, Frames{0}}},
                    Frames{900}},
        SheetLayout{"PregapBeforeTrackTwo",
                    Sheet(std::string(kTrack1) + "TRACK 02 AUDIO\nPREGAP 00:01:00\n"
                                                 "INDEX 01 00:04:00\n"),
                    {{Frames{150}, Frames{0}}, {Frames{525}, Frames{300}}},
                    Frames{975}},
        SheetLayout{"PostgapAndPregapAreOneSilence",
                    Sheet("TRACK 01 AUDIO\nINDEX 01 00:00:00\nPOSTGAP 00:00:30\n"
                          "TRACK 02 AUDIO\nPREGAP 00:01:00\nINDEX 01 00:04:00\n"),
                    {{Frames{150}, Frames{0}}, {Frames{555}, Frames{300}}},
                    Frames{1005}},
        SheetLayout{"PregapGoesBeforeIndexZero",
                    Sheet(std::string(kTrack1) + "TRACK 02 AUDIO\nPREGAP 00:01:00\n"
                                                 "INDEX 00 00:03:00\nINDEX 01 00:04:00\n"),
                    {{Frames{150}, Frames{0}}, {Frames{450}, Frames{225}}},
                    Frames{975}},
        SheetLayout{"PregapOfTrackOneMovesTheWholeFile",
                    Sheet("TRACK 01 AUDIO\nPREGAP 00:02:00\nINDEX 01 00:00:00\n"),
                    {{Frames{300}, Frames{0}}},
                    Frames{1050}},
        SheetLayout{"PostgapOfTheLastTrackOnlyLengthensTheDisc",
                    Sheet("TRACK 01 AUDIO\nINDEX 01 00:00:00\nPOSTGAP 00:03:00\n"),
                    {{Frames{150}, Frames{0}}},
                    Frames{1125}},
        SheetLayout{"TheFileWinsOverRemLength",
                    "REM LENGTH 50:00:00\n" + Sheet(kTrack1),
                    {{Frames{150}, Frames{0}}},
                    Frames{900}}),
    [](const ::testing::TestParamInfo<SheetLayout>& row) { return std::string(row.param.name); });

TEST(SheetFile, IsFoundBesideTheSheetWhateverItsQuotesAndBlanks) {
  std::vector<std::string> probed;
  auto probe = [&probed](const CueFile& file) {
    probed.push_back(file.path.string());
    return AudioFileFacts{Frames{750}, {}};
  };
  const std::string track = kTrack1;
  for (const std::string file :
       {"\"my album.flac\" WAVE", "plain.flac", "\"../up/x.wav\" FLAC", "\"/abs/y.wav\" WAVE"}) {
    EXPECT_TRUE(ParseCueSheet("FILE " + file + "\n" + track, "/music/cd", probe).disc) << file;
  }
  EXPECT_EQ(probed, (std::vector<std::string>{"/music/cd/my album.flac", "/music/cd/plain.flac",
                                              "/music/up/x.wav", "/abs/y.wav"}));
  EXPECT_NE(ParseCueSheet("FILE \"open.wav WAVE\n" + track, "/music", probe).error.find("line 1"),
            std::string::npos);
  // Without the sound reader a sheet still needs its length, and makes a silent disc.
  const DiscReading silent = ParseCueSheet("REM LENGTH 00:10:00\nFILE a.wav WAVE\n" + track);
  ASSERT_TRUE(silent.disc) << silent.error;
  EXPECT_FALSE(silent.disc->sound);
}

struct RefusedFile {
  const char* name;
  std::function<void(const std::filesystem::path& file)> make;
  const char* reason;
};

class RefusedFileTest : public ::testing::TestWithParam<RefusedFile> {};

// The sheet names the file and the line; the drive keeps the disc it had.
TEST_P(RefusedFileTest, IsRefusedWhenTheDiscGoesInWithTheFileAndTheReason) {
  TempDir dir;
  const auto sheet = dir.path() / "album.cue";
  const auto file = dir.path() / "album.wav";
  WriteText(sheet,
            "TITLE \"Refused\"\nFILE \"album.wav\" WAVE\n  TRACK 01 AUDIO\n"
            "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n");
  GetParam().make(file);

  const DiscReading reading = ReadDiscImage(sheet);
  EXPECT_FALSE(reading.disc);
  for (const std::string& part :
       {sheet.string() + ": line 2: " + file.string() + ": ", std::string(GetParam().reason)}) {
    EXPECT_NE(reading.error.find(part), std::string::npos) << reading.error;
  }

  ManualClock clock;
  ScopedClock scoped(clock);
  const std::string drive = "--drive=" + (dir.path() / "drive").string();
  std::filesystem::create_directory(dir.path() / "drive");
  std::ostringstream out, err;
  ASSERT_EQ(RunDriveTool({drive, "insert", "--demo"}, out, err), 0);
  EXPECT_EQ(RunDriveTool({drive, "insert", sheet.string()}, out, err), 1);
  EXPECT_EQ(err.str(), "vantora-drive: " + reading.error + "\n");
  ASSERT_EQ(RunDriveTool({drive, "status"}, out, err), 0);
  EXPECT_NE(out.str().find("disc: Vantora Demo Disc"), std::string::npos) << out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFileTest,
    ::testing::Values(
        RefusedFile{"Missing", [](const std::filesystem::path&) {}, "no such file"},
        RefusedFile{"ADirectory",
                    [](const std::filesystem::path& f) { std::filesystem::create_directory(f); },
                    "not a file"},
        RefusedFile{"NotSound",
                    [](const std::filesystem::path& f) { WriteText(f, "RIFF, but not really"); },
                    "not a sound file that can be read"},
        RefusedFile{"CutShort",
                    [](const std::filesystem::path& f) {
                      WriteSoundFile(f, 44100);
                      std::filesystem::resize_file(f, 30);
                    },
                    "not a sound file that can be read"},
        RefusedFile{"Sampled48k",
                    [](const std::filesystem::path& f) { WriteSoundFile(f, 96000, kFlac, 48000); },
                    "sampled at 48000 Hz; a disc plays 44100 Hz"},
        RefusedFile{"ThreeChannels",
                    [](const std::filesystem::path& f) {
                      WriteSoundFile(f, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 3);
                    },
                    "has 3 channels"},
        RefusedFile{"Empty", [](const std::filesystem::path& f) { WriteSoundFile(f, 0); },
                    "holds no sound"},
        RefusedFile{"EndsBeforeTrackTwo",
                    [](const std::filesystem::path& f) { WriteSoundFile(f, 44100 / 2); },
                    "lasts 00:00:38, which ends before the last index"}),
    [](const ::testing::TestParamInfo<RefusedFile>& row) { return std::string(row.param.name); });

TEST(DiscImage, GoesInWithItsSoundAndTheStatusNamesTheFile) {
  TempDir dir;
  WriteSoundFile(dir.path() / "one.flac", 44100 * 3 + 1, kFlac);
  WriteText(dir.path() / "one.cue", "FILE one.flac WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
  ManualClock clock;
  ScopedClock scoped(clock);
  std::filesystem::create_directory(dir.path() / "drive");
  const std::string drive = "--drive=" + (dir.path() / "drive").string();
  std::ostringstream out, err;
  ASSERT_EQ(RunDriveTool({drive, "insert", (dir.path() / "one.cue").string()}, out, err), 0)
      << err.str();
  ASSERT_EQ(RunDriveTool({drive, "status"}, out, err), 0);
  // Three seconds and one sample: the part frame counts whole.
  EXPECT_NE(out.str().find(
                "1 tracks, ends at 00:05:01\nsound: " + (dir.path() / "one.flac").string() + "\n"),
            std::string::npos)
      << out.str();
}

std::string GoodState() {
  DriveState state;
  state.clockDomain = "manual";
  state.disc = Disc{"", *Toc::Make({Frames{150}, Frames{500}}, Frames{1000}),
                    DiscSound{{{"/music/my album /a.flac "}},
                              {{Frames{150}, Frames{0}}, {Frames{600}, Frames{300}}}}};
  return FormatDriveState(state);
}

TEST(DriveStateSound, ReadsBackTheFileBlanksAndAllAndOldStatesHaveNone) {
  const StateReading reading = ParseDriveState(GoodState());
  ASSERT_TRUE(reading.state) << reading.error;
  ASSERT_TRUE(reading.state->disc->sound);
  EXPECT_EQ(reading.state->disc->sound->sources[0].file, "/music/my album /a.flac ");
  EXPECT_EQ(FormatDriveState(*reading.state), GoodState());
  EXPECT_NE(GoodState().find("\naudio-map 150 0 600 300\n"), std::string::npos) << GoodState();

  std::ifstream fixture(testing::DiscFixture("sound.state"), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(fixture)),
                         std::istreambuf_iterator<char>());
  const StateReading written = ParseDriveState(text);
  ASSERT_TRUE(written.state) << written.error;
  EXPECT_EQ(written.state->disc->sound,
            (DiscSound{{{"/music/Counted Album/counted.flac"}},
                       {{Frames{150}, Frames{0}}, {Frames{385}, Frames{160}}}}));

  std::string old = GoodState();
  old.erase(old.find("audio "));
  const StateReading before = ParseDriveState(old);
  ASSERT_TRUE(before.state) << before.error;
  EXPECT_FALSE(before.state->disc->sound);
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  const size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  return at == std::string::npos ? text : text.replace(at, what.size(), with);
}

TEST(DriveStateSound, DamagedSoundLinesAreRefused) {
  const std::string good = GoodState();
  const std::string map = "audio-map 150 0 600 300";
  for (const std::string& text :
       {Replaced(good, "audio /music", "audio music"), Replaced(good, map + "\n", ""),
        Replaced(good, "audio /music/my album /a.flac \n", ""), good + "audio /x\n",
        good + map + "\n", Replaced(good, map, "audio-map"),
        Replaced(good, map, "audio-map 150 0 600"), Replaced(good, map, "audio-map 150 0 600 0"),
        Replaced(good, map, "audio-map 150 0 400 300"),
        Replaced(good, map, "audio-map 150 0 1001 300"), Replaced(good, map, "audio-map 150 -1"),
        Replaced(good, "disc 1000 150 500\n", "")}) {
    const StateReading reading = ParseDriveState(text);
    EXPECT_FALSE(reading.state) << text;
    EXPECT_NE(reading.error.find("audio"), std::string::npos) << reading.error;
  }
}

}  // namespace
}  // namespace vantora::platform::cdaudio

namespace vantora::platform::audio {
namespace {

using cdaudio::testing::TempDir;
using vantora::testing::Places;
using vantora::testing::Stereo;

std::vector<Stereo> ReadDisc(DiscAudio& audio, int64_t first, size_t frames) {
  std::vector<Stereo> out(frames, Stereo{1, 1});
  EXPECT_TRUE(audio.Read(first, vantora::testing::Interleaved(out), frames));
  return out;
}

TEST(SoundFile, IsReadByPlaceWithSilenceAroundAndBetweenItsStretches) {
  TempDir dir;
  const auto file = dir.path() / "mono.wav";
  vantora::testing::WriteSoundFile(file, 1000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1);
  std::string why;
  // Frames 0-599 of the file from disc sample 10000, the rest from 20000.
  auto audio = OpenSoundFile(file, {{10000, 0}, {20000, 600}}, &why);
  ASSERT_TRUE(audio) << why;
  // Mono plays on both sides.
  auto mono = [](int64_t from, int64_t to) {
    std::vector<Stereo> frames = Places(from, to);
    for (Stereo& frame : frames) {
      frame.right = frame.left;
    }
    return frames;
  };
  auto silence = [](size_t n) { return std::vector<Stereo>(n); };
  auto joined = [](std::vector<Stereo> a, const std::vector<Stereo>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  EXPECT_EQ(ReadDisc(*audio, 9990, 20), joined(silence(10), mono(0, 10)));
  EXPECT_EQ(ReadDisc(*audio, 10590, 20), joined(mono(590, 600), silence(10)));
  EXPECT_EQ(ReadDisc(*audio, 19995, 10), joined(silence(5), mono(600, 605)));
  EXPECT_EQ(ReadDisc(*audio, 20395, 10), joined(mono(995, 1000), silence(5)));
  EXPECT_EQ(ReadDisc(*audio, 10100, 3), mono(100, 103));  // back again: a seek
  EXPECT_FALSE(OpenSoundFile(dir.path() / "none.wav", {}, &why));
  EXPECT_NE(why.find("none.wav: no such file"), std::string::npos) << why;
}

TEST(Recorder, KeepsAValidFileAfterEveryWriteHoldingExactlyWhatWasWritten) {
  TempDir dir;
  const auto file = dir.path() / "heard.wav";
  std::string why;
  auto recorder = OpenRecorder(file, &why);
  ASSERT_TRUE(recorder) << why;
  EXPECT_TRUE(vantora::testing::ReadRecording(file).empty());
  std::vector<Stereo> written;
  for (const int64_t frames : {1, 587, 4096, 3}) {
    std::vector<Stereo> part =
        Places(static_cast<int64_t>(written.size()), static_cast<int64_t>(written.size()) + frames);
    recorder->Write(vantora::testing::Interleaved(part), part.size());
    written.insert(written.end(), part.begin(), part.end());
    EXPECT_EQ(vantora::testing::ReadRecording(file), written);
    EXPECT_EQ(std::filesystem::file_size(file), 44 + 4 * written.size());
  }
  recorder->Discard();
  EXPECT_EQ(recorder->Pending(), 0u);
  EXPECT_EQ(vantora::testing::ReadRecording(file), written);  // what was heard stays

  EXPECT_FALSE(OpenRecorder(dir.path(), &why));
  EXPECT_NE(why.find(dir.path().string() + ": "), std::string::npos) << why;
}

}  // namespace
}  // namespace vantora::platform::audio
