// SPDX-License-Identifier: GPL-3.0-or-later
// CUE sheets and sound files as rippers and image tools leave them: what the drive reports once
// each goes in, and the sound heard at a few places.
#include <gtest/gtest.h>

#include "platform/audio/sound_output.h"
#include "platform/cdaudio/virtual_drive.h"
#include "tests/support/sound_image.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::cdaudio {
namespace {

using vantora::testing::PlaceSample;
using vantora::testing::Stereo;

enum class Kind { Wav, Flac, Bin };
struct File {
  std::string name;
  Kind kind;
  int32_t frames;                   // disc frames long
  int64_t first;                    // the place its pattern starts at
  std::vector<uint32_t> cues = {};  // a WAV file's own cue points
};
struct Heard {
  int32_t discFrame;
  int64_t place;  // -1 for silence
};
struct Ripped {
  const char* name;
  std::vector<File> files;
  std::string open;   // the file put in
  std::string sheet;  // written to `open` unless empty
  std::string title;
  std::vector<int32_t> starts;
  int32_t leadOut;
  std::vector<int32_t> data;
  std::vector<Heard> heard;
};

void Write(const std::filesystem::path& dir, const File& file) {
  const int64_t samples = int64_t{file.frames} * audio::kSamplesPerDiscFrame;
  if (!file.cues.empty()) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sound = sf_open((dir / file.name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(sound, nullptr);
    SF_CUES cues{};
    for (const uint32_t at : file.cues) {
      cues.cue_points[cues.cue_count].indx = static_cast<int32_t>(cues.cue_count + 1);
      cues.cue_points[cues.cue_count++].sample_offset = at;
    }
    sf_command(sound, SFC_SET_CUE, &cues, sizeof(cues));
    std::vector<Stereo> frames = vantora::testing::Places(0, samples);
    sf_writef_short(sound, vantora::testing::Interleaved(frames), samples);
    sf_close(sound);
    return;
  }
  if (file.kind != Kind::Bin) {
    vantora::testing::WriteSoundFile(
        dir / file.name, samples,
        (file.kind == Kind::Wav ? SF_FORMAT_WAV : SF_FORMAT_FLAC) | SF_FORMAT_PCM_16, 44100, 2,
        file.first);
    return;
  }
  std::string bytes;
  for (int64_t i = 0; i < samples; ++i) {
    const Stereo s = PlaceSample(file.first + i);
    for (const int16_t v : {s.left, s.right}) {
      bytes += static_cast<char>(v & 0xff);
      bytes += static_cast<char>((v >> 8) & 0xff);
    }
  }
  vantora::testing::WriteText(dir / file.name, bytes);
}

// Latin-1 text as UTF-16LE with its byte-order mark.
std::string Utf16(std::string_view latin1) {
  std::string bytes = "\xFF\xFE";
  for (const char c : latin1) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

class RippedTest : public ::testing::TestWithParam<Ripped> {};

TEST_P(RippedTest, GoesInAsTheDiscItWasAndSoundsFromTheRightFile) {
  const Ripped& row = GetParam();
  testing::TempDir dir;
  for (const File& file : row.files) {
    Write(dir.path(), file);
  }
  if (!row.sheet.empty()) {
    vantora::testing::WriteText(dir.path() / row.open, row.sheet);
  }
  DiscReading reading = ReadDiscImage(dir.path() / row.open);
  ASSERT_TRUE(reading.disc) << reading.error;
  ManualClock clock;
  ScopedClock scoped(clock);
  VirtualDrive drive(dir.path() / "drive");
  ASSERT_TRUE(drive.Insert(*reading.disc).ok());
  clock.Advance(kSpinUpTime);
  const Toc toc = drive.ReadToc().value;
  std::vector<int32_t> starts, data;
  for (int32_t t = 1; t <= toc.TrackCount(); ++t) {
    starts.push_back(toc.Start(TrackNumber{t}).count);
    if (toc.Kind(TrackNumber{t}) == TrackKind::Data) {
      data.push_back(t);
    }
  }
  EXPECT_EQ(reading.disc->title, row.title);
  EXPECT_EQ(starts, row.starts);
  EXPECT_EQ(toc.LeadOut().count, row.leadOut);
  EXPECT_EQ(data, row.data);
  const auto sound = drive.Audio();
  ASSERT_TRUE(sound);
  for (const Heard& heard : row.heard) {
    Stereo got[2];
    sound->Read(int64_t{heard.discFrame} * audio::kSamplesPerDiscFrame,
                reinterpret_cast<int16_t*>(got), 2);
    const Stereo want = heard.place < 0 ? Stereo{} : PlaceSample(heard.place);
    EXPECT_EQ(got[0], want) << "at disc frame " << heard.discFrame;
  }
}

constexpr const char* kOneTrack = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";

INSTANTIATE_TEST_SUITE_P(
    Sheets, RippedTest,
    ::testing::Values(
        Ripped{"Windows1252",
               {{"a.wav", Kind::Wav, 100, 0}},
               "a.cue",
               "TITLE \"Bj\xF6rk & Caf\xE9\"\nPERFORMER \"S\xE9\"\nFILE a.wav WAVE\n" +
                   std::string(kOneTrack),
               "Bj\xC3\xB6rk & Caf\xC3\xA9",
               {150},
               250,
               {},
               {{200, 50 * 588}}},
        Ripped{"Utf16WithItsMark",
               {{"a.wav", Kind::Wav, 100, 0}},
               "a.cue",
               Utf16("TITLE \"Caf\xE9\"\r\nFILE \"a.wav\" WAVE\r\nTRACK 01 AUDIO\r\nINDEX 01 "
                     "00:00:00\r\n"),
               "Caf\xC3\xA9",
               {150},
               250,
               {},
               {{150, 0}}},
        Ripped{"FilePerTrackIndex00EndsThePreviousFile",
               {{"01 One.wav", Kind::Wav, 400, 0}, {"02 Two.wav", Kind::Wav, 300, 500000}},
               "album.cue",
               "FILE \"01 One.wav\" WAVE\n" + std::string(kOneTrack) +
                   "  TRACK 02 AUDIO\n    INDEX 00 00:04:00\nFILE \"02 Two.wav\" WAVE\n"
                   "    INDEX 01 00:00:00\n",
               "",
               {150, 550},
               850,
               {},
               {{150, 0}, {549, 399 * 588}, {550, 500000}, {849, 500000 + 299 * 588}}},
        Ripped{"ConvertedToFlacAndCaseDiffers",
               {{"track01.flac", Kind::Flac, 200, 0}, {"Track02.wav", Kind::Wav, 100, 300000}},
               "album.cue",
               "FILE \"Track01.wav\" WAVE\n" + std::string(kOneTrack) +
                   "FILE \"TRACK02.WAV\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n",
               "",
               {150, 350},
               450,
               {},
               {{349, 199 * 588}, {350, 300000}}},
        Ripped{"ImageWithDataTrackAndBinNamedOtherwise",
               {{"Game (Disc 1).bin", Kind::Bin, 500, 0}},
               "game.cue",
               "FILE \"Game (Disc 1).bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    INDEX 00 00:03:00\n    INDEX 01 00:04:00\n",
               "",
               {150, 450},
               650,
               {1},
               {{450, 300 * 588}, {649, 499 * 588}}},
        Ripped{"OneBinPerTrackWithPregapInside",
               {{"Game (Track 1).bin", Kind::Bin, 200, 0},
                {"Game (Track 2).bin", Kind::Bin, 300, 900000}},
               "Game.cue",
               "FILE \"Game (Track 1).bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
               "FILE \"Game (Track 2).bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
               "    INDEX 01 00:02:00\n",
               "",
               {150, 500},
               650,
               {1},
               {{500, 900000 + 150 * 588}}},
        Ripped{"RenamedImageFindsTheBinNamedLikeTheSheet",
               {{"renamed.bin", Kind::Bin, 100, 7}},
               "renamed.cue",
               "FILE \"old name.bin\" BINARY\n" + std::string(kOneTrack),
               "",
               {150},
               250,
               {},
               {{150, 7}}},
        Ripped{"WavWithItsOwnCuePointsIsADiscOfThoseTracks",
               {{"live.wav", Kind::Wav, 300, 0, {0, 100 * 588 + 5, 250 * 588}}},
               "live.wav",
               "",
               "live",
               {150, 250, 400},
               450,
               {},
               {{250, 100 * 588}, {400, 250 * 588}}}),
    [](const ::testing::TestParamInfo<Ripped>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vantora::platform::cdaudio
