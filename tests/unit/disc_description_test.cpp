// SPDX-License-Identifier: GPL-3.0-or-later
// Disc descriptions and CUE sheets: good ones give the right table of contents, bad ones an error
// naming the line, and no input crashes the readers.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "platform/cdaudio/disc_description.h"
#include "tests/unit/drive_test_support.h"

namespace vantora::platform::cdaudio {
namespace {

using testing::DiscFixture;
using testing::Msf;
using testing::TempDir;

std::vector<Frames> Starts(const Disc& disc) {
  return disc.toc.Starts();
}

TEST(Msf, ReadsOnlyStrictMmSsFf) {
  struct Row {
    const char* text;
    std::optional<int32_t> frames;
  };
  const Row rows[] = {
      {"00:02:00", 150},
      {"99:59:74", kLatestFrame.count},
      {"1:2:3", 4500 + 150 + 3},
      {"00:60:00", {}},
      {"00:00:75", {}},
      {"100:00:00", {}},
      {"00:00", {}},
      {"00:00:00:00", {}},
      {" 00:00:00", {}},
      {"0a:00:00", {}},
      {"-1:00:00", {}},
      {"", {}},
      {"::", {}},
  };
  for (const Row& row : rows) {
    const auto parsed = ParseMsf(row.text);
    if (row.frames) {
      ASSERT_TRUE(parsed) << row.text;
      EXPECT_EQ(parsed->count, *row.frames) << row.text;
    } else {
      EXPECT_FALSE(parsed) << row.text;
    }
  }
  EXPECT_EQ(FormatMsf(Frames{4500 * 100 + 74}), "100:00:74");
  EXPECT_EQ(FormatTmsf(TrackNumber{12}, Frames{75 * 61 + 5}), "12:01:01:05");
}

TEST(Toc, RefusesTablesThatAreNotADisc) {
  std::string why;
  EXPECT_FALSE(Toc::Make({}, Frames{1000}, &why));
  EXPECT_EQ(why, "a disc needs at least one track");
  EXPECT_FALSE(Toc::Make({Frames{150}, Frames{150}}, Frames{1000}, &why));
  EXPECT_EQ(why, "track 2 does not start after track 1");
  EXPECT_FALSE(Toc::Make({Frames{150}}, Frames{150}, &why));
  EXPECT_FALSE(Toc::Make({Frames{-1}}, Frames{150}, &why));
  EXPECT_FALSE(Toc::Make({Frames{150}}, kLatestFrame + Frames{1}, &why));
  EXPECT_TRUE(Toc::Make({Frames{0}}, kLatestFrame));
  EXPECT_FALSE(Toc::Make(std::vector<Frames>(100, Frames{0}), Frames{1000}, &why));
}

TEST(Toc, FindsTheTrackThatHoldsAPlace) {
  const Toc toc = testing::ThreeTrackDisc().toc;
  struct Row {
    int32_t place;
    int32_t track;
  };
  const Row rows[] = {{0, 1},     {149, 1},   {150, 1},   {13649, 1}, {13650, 2},
                      {14399, 2}, {14400, 3}, {18929, 3}, {18930, 3}, {99999, 3}};
  for (const Row& row : rows) {
    EXPECT_EQ(toc.TrackAt(Frames{row.place}).value, row.track) << row.place;
  }
  EXPECT_EQ(toc.Length(TrackNumber{3}), Frames{4530});
  EXPECT_EQ(Toc().TrackAt(Frames{150}).value, 0);
}

TEST(DiscDescription, ReadsTrackLengthsAfterTheStandardPregap) {
  const DiscReading reading = ReadDiscFile(DiscFixture("three_tracks.disc"));
  ASSERT_TRUE(reading.disc) << reading.error;
  EXPECT_EQ(*reading.disc, testing::ThreeTrackDisc());
}

TEST(DiscDescription, TakesAnyCaseExtraBlanksCommentsAndAStart) {
  const DiscReading reading = ReadDiscFile(DiscFixture("late_start.disc"));
  ASSERT_TRUE(reading.disc) << reading.error;
  EXPECT_EQ(Starts(*reading.disc), (std::vector<Frames>{Frames{310}, Frames{2560}}));
  EXPECT_EQ(reading.disc->toc.LeadOut(), Frames{6009});
  EXPECT_EQ(reading.disc->title, "");
}

TEST(DiscDescription, ReadsBackWhatItWrites) {
  for (const Disc& disc : {DemoDisc(), testing::ThreeTrackDisc(), MixedModeDemoDisc()}) {
    const DiscReading reading = ParseDiscDescription(FormatDiscDescription(disc));
    ASSERT_TRUE(reading.disc) << reading.error;
    EXPECT_EQ(*reading.disc, disc);
  }
  EXPECT_EQ(DemoDisc().toc.TrackCount(), 12);
}

TEST(DiscDescription, MarksDataTracks) {
  const DiscReading reading = ReadDiscFile(DiscFixture("enhanced.disc"));
  ASSERT_TRUE(reading.disc) << reading.error;
  const Toc& toc = reading.disc->toc;
  EXPECT_EQ(toc.Kind(TrackNumber{2}), TrackKind::Audio);
  EXPECT_EQ(toc.Kind(TrackNumber{3}), TrackKind::Data);
  EXPECT_EQ(MixedModeDemoDisc().toc.FirstAudioTrack().value, 2);
  EXPECT_NE(ParseDiscDescription("vantora-disc 1\ntracks 1\ntrack 1 01:00:00 video\n")
                .error.find("line 3: track 1 holds \"video\""),
            std::string::npos);
}

TEST(CueSheet, PlacesTracksByIndex01AndEndsAtTheLength) {
  const DiscReading reading = ReadDiscFile(DiscFixture("album.cue"));
  ASSERT_TRUE(reading.disc) << reading.error;
  EXPECT_EQ(reading.disc->title, "A Cue Album");
  EXPECT_EQ(Starts(*reading.disc),
            (std::vector<Frames>{Msf(0, 2, 0), Msf(4, 4, 0), Msf(8, 32, 37)}));
  EXPECT_EQ(reading.disc->toc.LeadOut(), Msf(12, 2, 0));
}

TEST(CueSheet, GapsMoveEverythingAfterThem) {
  const DiscReading reading = ReadDiscFile(DiscFixture("gaps.cue"));
  ASSERT_TRUE(reading.disc) << reading.error;
  // One second of post-gap after track 1 and two of pre-gap before track 2.
  EXPECT_EQ(Starts(*reading.disc), (std::vector<Frames>{Msf(0, 2, 0), Msf(1, 5, 0)}));
  EXPECT_EQ(reading.disc->toc.LeadOut(), Msf(2, 5, 0));
}

struct BadFile {
  const char* file;
  const char* error;  // what the message must say
};

class BadDiscFileTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadDiscFileTest, IsRefusedWithTheLineAndTheReason) {
  const DiscReading reading = ReadDiscFile(DiscFixture(GetParam().file));
  EXPECT_FALSE(reading.disc);
  EXPECT_NE(reading.error.find(GetParam().error), std::string::npos) << reading.error;
  EXPECT_NE(reading.error.find(GetParam().file), std::string::npos) << reading.error;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, BadDiscFileTest,
    ::testing::Values(
        BadFile{"bad_no_header.disc", "line 1: a disc description starts with \"vantora-disc 1\""},
        BadFile{"bad_version.disc", "line 1: unknown description version \"2\""},
        BadFile{"bad_msf.disc", "line 4: track 2 length \"01:60:00\" is not mm:ss:ff"},
        BadFile{"bad_frames.disc", "line 3: track 1 length \"01:00:75\" is not mm:ss:ff"},
        BadFile{"bad_count.disc", "announces 3 tracks but describes 2"},
        BadFile{"bad_extra_track.disc", "line 4: more tracks than the 1 announced"},
        BadFile{"bad_order.disc", "line 3: expected track 1, found \"2\""},
        BadFile{"bad_zero_tracks.disc", "line 2: track count \"0\" is not a number from 1 to 99"},
        BadFile{"bad_hundred_tracks.disc", "line 2: track count \"100\""},
        BadFile{"bad_too_long.disc", "line 5: the disc is longer than 99:59:74"},
        BadFile{"bad_empty_track.disc", "line 3: track 1 has no length"},
        BadFile{"bad_keyword.disc", "line 3: unknown keyword \"artist\""},
        BadFile{"bad_start_late.disc", "line 4: \"start\" comes once, before the first track"},
        BadFile{"bad_no_length.cue", "no \"REM LENGTH mm:ss:ff\" line"},
        BadFile{"bad_data_track.cue", "line 4: track 1 is MODE1/2352, but its FILE holds sound"},
        BadFile{"bad_index_order.cue", "line 6: index time 02:00:00 does not come after"},
        BadFile{"bad_two_files.cue", "several FILEs needs its files to be read"},
        BadFile{"bad_missing_index.cue", "line 5: track 2 has no INDEX 01"},
        BadFile{"bad_short_length.cue", "line 6: length 04:00:00 ends before the last index"},
        BadFile{"bad_gap_overflow.cue", "line 5: the gaps make the disc longer than 99:59:74"}),
    [](const ::testing::TestParamInfo<BadFile>& row) {
      std::string name = row.param.file;
      for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      }
      return name;
    });

TEST(DiscFile, MissingHugeAndBinaryFilesAreRefused) {
  TempDir dir;
  EXPECT_NE(ReadDiscFile(dir.path() / "none.disc").error.find("no such file"), std::string::npos);
  EXPECT_NE(ReadDiscFile(dir.path()).error.find("no such file"), std::string::npos);

  const auto huge = dir.path() / "huge.disc";
  std::ofstream(huge) << std::string(2 << 20, '#');
  EXPECT_NE(ReadDiscFile(huge).error.find("too large"), std::string::npos);

  const auto binary = dir.path() / "binary.cue";
  std::ofstream(binary, std::ios::binary) << std::string("FILE \"a\" WAVE\n\0\x01\xff", 17);
  EXPECT_NE(ReadDiscFile(binary).error.find("line 2: holds a control character"),
            std::string::npos);

  EXPECT_NE(ParseDiscDescription("vantora-disc 1\n" + std::string(1001, 'x'))
                .error.find("line 2: longer than 1000 characters"),
            std::string::npos);
  EXPECT_EQ(ParseDiscDescription("").error, "the description is empty");
  EXPECT_EQ(ParseCueSheet("").error, "the CUE sheet has no tracks");
}

// Cut and scrambled versions of good descriptions: every one is either a disc or an error
// message, and a disc that comes back is a valid one. The sanitizer build catches any stray read.
TEST(DiscReaders, SurviveDamagedInput) {
  std::vector<std::string> seeds = {FormatDiscDescription(DemoDisc())};
  for (const char* name : {"album.cue", "gaps.cue", "three_tracks.disc"}) {
    std::ifstream in(DiscFixture(name), std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  auto check = [](const std::string& text) {
    for (const DiscReading& reading : {ParseDiscDescription(text), ParseCueSheet(text)}) {
      ASSERT_NE(reading.disc.has_value(), !reading.error.empty()) << text;
      if (reading.disc) {
        const Toc& toc = reading.disc->toc;
        ASSERT_GE(toc.TrackCount(), 1);
        ASSERT_LE(toc.LeadOut(), kLatestFrame);
      }
    }
  };
  std::mt19937 random(1234);
  const char kAlphabet[] = "0123456789: \n\r\t\"#-INDEXTRACKvantora-disc1";
  for (const std::string& seed : seeds) {
    for (size_t cut = 0; cut <= seed.size(); ++cut) {
      check(seed.substr(0, cut));
    }
    for (int round = 0; round < 3000; ++round) {
      std::string text = seed;
      const int edits = 1 + static_cast<int>(random() % 4);
      for (int e = 0; e < edits && !text.empty(); ++e) {
        const size_t at = random() % text.size();
        switch (random() % 3) {
          case 0:
            text[at] = kAlphabet[random() % (sizeof kAlphabet - 1)];
            break;
          case 1:
            text.erase(at, 1 + random() % 8);
            break;
          default:
            text.insert(at, 1, static_cast<char>(random() % 256));
        }
      }
      check(text);
    }
  }
}

}  // namespace
}  // namespace vantora::platform::cdaudio
