// SPDX-License-Identifier: GPL-3.0-or-later
// The album key, the pages of track buttons and the album store in ZQ_CD.INI.
#include <string>
#include <vector>

#include "app/album.h"
#include "app/device.h"
#include "app/disc.h"
#include "runtime/queue.h"
#include "tests/scenario/player_fixture.h"
#include "tests/support/morning_set.h"

namespace vantora::app {
namespace {

using runtime::QueueAppend;
using runtime::QueueCount;
using runtime::QueueGet;
using Strings = std::vector<std::string>;

using testing::HoldMorningSet;
using testing::kMorningKey;
using testing::MorningDisc;
using testing::MorningSection;

class AlbumStore : public testing::PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    OpenMainWindow();
    ASSERT_EQ(MciCommand("open cdaudio shareable"), "1");
  }
  void InsertAndSpin(const std::string& description) {
    Insert(description);
    clock_.Advance(platform::ClockTime{2000});
  }
  // The labels of the track buttons on show, and "+10" when it shows.
  std::string Buttons() {
    std::string shown;
    for (int32_t number = kFirstTrackButton; number <= kNextPageButton; ++number) {
      if (!Control(number).hidden) {
        shown += (shown.empty() ? "" : " ") + Control(number).text;
      }
    }
    return shown;
  }
  template <typename Record>
  static Strings Titles(runtime::QueueDescriptor& queue, Record& buffer,
                        FixedText<60> Record::*title) {
    Strings titles;
    for (int32_t i = 1; i <= QueueCount(&queue); ++i) {
      QueueGet(&queue, i);
      titles.push_back((buffer.*title).str());
    }
    return titles;
  }
};

TEST_F(AlbumStore, TheKeyHoldsTheCountAndTheFirstLengthsAndMarksNewDiscs) {
  InsertAndSpin(MorningDisc());
  SCANDISC();
  EXPECT_EQ(TRACKCOUNT, 12);
  EXPECT_EQ(ALBUMKEY, kMorningKey);
  EXPECT_EQ(NEWDISC, 1);
  SCANDISC();
  EXPECT_EQ(NEWDISC, 0);  // the same disc again
  // One track: the count, the disc and track 1 (both one frame short, 2:59).
  InsertAndSpin("vantora-disc 1\ntracks 1\ntrack 1 03:00:00\n");
  SCANDISC();
  EXPECT_EQ(ALBUMKEY, " 11790117901");
  EXPECT_EQ(NEWDISC, 1);
  InsertAndSpin(MorningDisc());
  SCANDISC();
  EXPECT_EQ(NEWDISC, 1);  // A, B and A again: new every time
}

TEST_F(AlbumStore, TrackButtonsShowTheirPage) {
  const struct {
    uint8_t tracks;
    int presses;
    const char* shown;
  } cases[] = {
      {10, 0, "1 2 3 4 5 6 7 8 9 10"},
      {11, 0, "1 2 3 4 5 6 7 8 9 10 +10"},
      {11, 1, "11 +10"},
      {11, 2, "1 2 3 4 5 6 7 8 9 10 +10"},
      {25, 2, "21 22 23 24 25 +10"},
      {25, 3, "1 2 3 4 5 6 7 8 9 10 +10"},
      {0, 0, ""},
  };
  for (const auto& c : cases) {
    TRACKCOUNT = c.tracks;
    RESETTRACKBUTTONS();
    for (int i = 0; i < c.presses; ++i) {
      NEXTBUTTONPAGE();
    }
    EXPECT_EQ(Buttons(), c.shown) << int{c.tracks} << " tracks, " << c.presses << " presses";
  }
}

TEST_F(AlbumStore, MorningSetIsSavedAsItsLinesAndLoadedBack) {
  HoldMorningSet();
  auto addPlaylist = [](const char* name, const std::vector<int32_t>& tracks) {
    HOLDRECORD.HOLDPLAYLISTNAME = name;
    QueueAppend(&HOLDQUEUE);
    runtime::QueueFree(&TRACKLISTQUEUE);
    for (int32_t track : tracks) {
      TRACKLISTRECORD.PLAYLISTTRACKNUMBER = track;
      QueueAppend(&TRACKLISTQUEUE);
    }
    PACKPLAYLIST();
  };
  addPlaylist("Short Mix", {12, 10, 11});
  addPlaylist("Closing", {12});
  // The file had a third playlist when the editor opened.
  WriteIni(std::string("[") + kMorningKey + "]\r\nPlayList 3 Title=Gone\r\nPlayList 3=1  1\r\n");
  OPENCOUNT = 3;
  SAVEALBUM();
  EXPECT_EQ(SAVEDFLAG, 1);
  EXPECT_EQ(
      IniText(),
      MorningSection("PlayList Count=2\r\nPlayList 1 Title=Short Mix\r\nPlayList 1=3 121011\r\n"
                     "PlayList 2 Title=Closing\r\nPlayList 2=1 12\r\n"));

  ResetState();
  TRACKCOUNT = 12;
  ALBUMKEY = kMorningKey;
  LOADALBUM();
  EXPECT_EQ(ALBUMTITLE, "Morning Set");
  EXPECT_EQ(ALBUMARTIST, "Various");
  EXPECT_EQ(Titles(TRACKQUEUE, TRACKRECORD, &TrackRecord::TRACKTITLE)[1], "Opening");
  EXPECT_EQ(Titles(PLAYLISTQUEUE, PLAYLISTRECORD, &PlaylistRecord::PLAYLISTNAME),
            (Strings{"Album Order", "Short Mix", "Closing"}));
  EXPECT_EQ(QueueCount(&PLAYQUEUE), 12);
  EXPECT_EQ(SELECTEDPLAYLIST, "Album Order");
  QueueGet(&PLAYLISTQUEUE, 2);
  LOADPLAYLIST();
  EXPECT_EQ(Titles(PLAYQUEUE, PLAYRECORD, &PlayRecord::PLTRACKTITLE),
            (Strings{"Track 12", "Track 10", "Track 11"}));
  EXPECT_EQ(CURRENTTITLE, "Track 12");
  EXPECT_EQ(LASTPLAYLIST, "Short Mix");
  EXPECT_EQ(READPLAYLISTS(), 2);
  EXPECT_EQ(Titles(HOLDQUEUE, HOLDRECORD, &HoldRecord::HOLDPLAYLISTNAME),
            (Strings{"Short Mix", "Closing"}));
  QueueGet(&HOLDQUEUE, 1);
  EXPECT_EQ(HOLDRECORD.HOLDPLAYLISTTEXT, "3 121011");
  UNPACKPLAYLIST();
  EXPECT_EQ(Titles(TRACKLISTQUEUE, TRACKLISTRECORD, &TrackListRecord::PLAYLISTTRACKNAME),
            (Strings{"Track 12", "Track 10", "Track 11"}));
}

TEST_F(AlbumStore, HandEditedSectionsLoadWhatTheyCan) {
  TRACKCOUNT = 12;
  ALBUMKEY = kMorningKey;
  // Cells naming tracks the disc lacks are skipped; a count beyond reason is held to the limit.
  WriteIni(std::string("[") + kMorningKey +
           "]\r\nTitle=Hand Made\r\nPlayList Count=99999999\r\nPlayList 1 Title=Odd\r\n"
           "PlayList 1=5 1399 2 0 3\r\n");
  LOADALBUM();
  EXPECT_EQ(QueueCount(&PLAYLISTQUEUE), 1 + kMaxPlaylists);
  QueueGet(&PLAYLISTQUEUE, 2);
  LOADPLAYLIST();
  EXPECT_EQ(Titles(PLAYQUEUE, PLAYRECORD, &PlayRecord::PLTRACKTITLE), (Strings{"", ""}));
  QueueGet(&PLAYQUEUE, 2);
  EXPECT_EQ(PLAYRECORD.PLTRACKNUMBER, 3);
  QueueGet(&PLAYLISTQUEUE, 3);  // no value stored: no tracks
  LOADPLAYLIST();
  EXPECT_EQ(QueueCount(&PLAYQUEUE), 0);
  EXPECT_EQ(CURRENTTITLE, "");
  // A blank title makes the album new: its track titles and playlists are not read.
  WriteIni(std::string("[") + kMorningKey +
           "]\r\nTitle=\r\nArtist=X\r\nTrack 1=Kept?\r\n"
           "PlayList Count=1\r\nPlayList 1 Title=Odd\r\n");
  LOADALBUM();
  EXPECT_EQ(ALBUMTITLE, "New Album");
  EXPECT_EQ(ALBUMARTIST, "");
  EXPECT_EQ(Titles(TRACKQUEUE, TRACKRECORD, &TrackRecord::TRACKTITLE)[0], "Track 1");
  EXPECT_EQ(QueueCount(&PLAYLISTQUEUE), 1);
}

}  // namespace
}  // namespace vantora::app
