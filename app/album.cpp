// SPDX-License-Identifier: GPL-3.0-or-later
// The album and playlist store: one section of ZQ_CD.INI per album, named by its key.
#include "app/album.h"

#include <algorithm>
#include <optional>
#include <string>

#include "app/disc.h"
#include "app/state.h"
#include "runtime/decimal.h"
#include "runtime/errors.h"
#include "runtime/ini.h"
#include "runtime/picture.h"
#include "runtime/queue.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

constexpr const char* kAlbumOrder = "Album Order";

// GETINI of one key of the album's section, left on the value stack.
void GETALBUMVALUE(const std::string& key) {
  PushCString(kIniFile);
  PushCString("");
  PushText(key);
  PushText(ALBUMKEY.clipped());
  GETINI();
}

template <size_t N>
void READALBUMVALUE(const std::string& key, FixedText<N>& into) {
  GETALBUMVALUE(key);
  into = PopText();
}

// A stored count, fraction dropped, kept within what the counting loops can reach.
int32_t READALBUMCOUNT(const std::string& key, int32_t limit) {
  GETALBUMVALUE(key);
  PopNumber();
  DecTruncate();
  return std::clamp(DecPopInteger(), 0, limit);
}

bool WRITEALBUMVALUE(const std::string& key, std::string_view value) {
  PushCString(kIniFile);
  PushText(value);
  PushText(key);
  PushText(ALBUMKEY.clipped());
  return WRITEINI();
}

bool REMOVEALBUMVALUE(const std::string& key) {
  PushCString(kIniFile);
  PushCString("");
  PushText(key);
  PushText(ALBUMKEY.clipped());
  return WRITEINI(false, true);
}

std::string TRACKKEY(int32_t track) {
  return "Track " + std::to_string(track);
}
std::string PLAYLISTKEY(int32_t playlist) {
  return "PlayList " + std::to_string(playlist);
}
std::string PLAYLISTTITLEKEY(int32_t playlist) {
  return PLAYLISTKEY(playlist) + " Title";
}

// A cell of a playlist value read as a number, blanks ignored.
int32_t CELLNUMBER(const char* cell) {
  PushString(cell, 2);
  PopNumber();
  DecTruncate();
  return DecPopInteger();
}

// The title of a disc track, fetched from the track table.
bool FETCHTRACK(int32_t track) {
  if (track < 1 || track > TRACKCOUNT) {
    return false;
  }
  QueueGet(&TRACKQUEUE, track);
  return LastError() == 0;
}

// The playlist in use and the repeat mode, to be kept across a load of the same album.
struct Choice {
  bool keep = false;
  FixedText<60> playlist;
  int32_t row = 0;  // names may repeat: the row tells which of them
  uint8_t repeat = 0;
};

void RESTORECHOICE(const Choice& choice) {
  if (!choice.keep) {
    return;
  }
  REPEATMODE = choice.repeat;
  SHOWREPEATMODE();
  auto holds = [&choice](int32_t row) {
    if (row < 2 || row > QueueCount(&PLAYLISTQUEUE)) {
      return false;
    }
    QueueGet(&PLAYLISTQUEUE, row);
    return PLAYLISTRECORD.PLAYLISTNAME == choice.playlist;
  };
  // The same row while it still holds the name, else the first that does.
  bool found = holds(choice.row);
  for (int32_t row = 2; !found && row <= QueueCount(&PLAYLISTQUEUE); ++row) {
    found = holds(row);
  }
  if (found) {
    LOADPLAYLIST();
  } else {
    QueueGet(&PLAYLISTQUEUE, 1);
  }
}

}  // namespace

void SHOWREPEATMODE() {
  static constexpr const char* kTexts[] = {"Repeat: None", "Repeat: Track", "Repeat: All"};
  if (REPEATMODE < std::size(kTexts)) {
    SetText(kRepeatButton, kTexts[REPEATMODE]);
  }
}

void LOADALBUM() {
  Choice choice;
  if (ALBUMKEY == LOADEDALBUMKEY && QueueCount(&PLAYLISTQUEUE) > 0) {
    choice = {true, SELECTEDPLAYLIST, QueuePosition(&PLAYLISTQUEUE), REPEATMODE};
  }
  RESETTRACKBUTTONS();
  REPEATMODE = 0;
  SHOWREPEATMODE();

  QueueFree(&TRACKQUEUE);
  QueueFree(&PLAYLISTQUEUE);
  PLAYLISTRECORD.PLAYLISTNAME = kAlbumOrder;
  QueueAppend(&PLAYLISTQUEUE);

  READALBUMVALUE("Title", ALBUMTITLE);
  if (ALBUMTITLE == "") {
    if (const std::optional<FoundNames> names = DISCNAMES()) {
      STOREALBUMNAMES(*names);
      READALBUMVALUE("Title", ALBUMTITLE);
    }
  }
  const bool stored = ALBUMTITLE != "";
  if (stored) {
    READALBUMVALUE("Artist", ALBUMARTIST);
  } else {
    ALBUMTITLE = "New Album";
    ALBUMARTIST.Clear();
  }
  for (int32_t n = 1; n <= TRACKCOUNT; ++n) {
    if (stored) {
      READALBUMVALUE(TRACKKEY(n), TRACKRECORD.TRACKTITLE);
    } else {
      TRACKRECORD.TRACKTITLE = TRACKKEY(n);
    }
    QueueAppend(&TRACKQUEUE);
  }
  if (stored) {
    const int32_t count = READALBUMCOUNT("PlayList Count", kMaxPlaylists);
    for (int32_t p = 1; p <= count; ++p) {
      READALBUMVALUE(PLAYLISTTITLEKEY(p), PLAYLISTRECORD.PLAYLISTNAME);
      QueueAppend(&PLAYLISTQUEUE);
    }
  }
  LOADEDALBUMKEY.Assign(ALBUMKEY);
  QueueGet(&PLAYLISTQUEUE, 1);
  LOADPLAYLIST();
  RESTORECHOICE(choice);
  if (!stored) {
    ASKFORNAMES();
  }
}

bool ALBUMHASNAMES() {
  FixedText<60> title;
  READALBUMVALUE("Title", title);
  return title != "";
}

bool STOREALBUMNAMES(const FoundNames& names) {
  if (ALBUMKEY.clipped().empty() || ALBUMHASNAMES()) {
    return false;
  }
  // Cut as the editor's fields cut what is typed into them.
  FixedText<60> field;
  field = names.album.empty() ? std::string("New Album") : names.album;
  bool taken = WRITEALBUMVALUE("Title", field.view());
  field = names.artist;
  taken = WRITEALBUMVALUE("Artist", field.view()) && taken;
  for (int32_t n = 1; n <= TRACKCOUNT; ++n) {
    const size_t at = static_cast<size_t>(n - 1);
    field = at < names.tracks.size() && !names.tracks[at].empty() ? names.tracks[at] : TRACKKEY(n);
    taken = WRITEALBUMVALUE(TRACKKEY(n), field.view()) && taken;
  }
  return WRITEALBUMVALUE("PlayList Count", "0") && taken;
}

void LOADPLAYLIST() {
  SELECTEDPLAYLIST = PLAYLISTRECORD.PLAYLISTNAME;
  QueueFree(&PLAYQUEUE);
  const int32_t row = QueuePosition(&PLAYLISTQUEUE);
  if (row <= 1) {
    for (int32_t n = 1; n <= TRACKCOUNT; ++n) {
      FETCHTRACK(n);
      PLAYRECORD.PLTRACKTITLE = TRACKRECORD.TRACKTITLE;
      PLAYRECORD.PLTRACKNUMBER = n;
      QueueAppend(&PLAYQUEUE);
    }
  } else {
    FixedText<2 * kPlaylistCells> value;
    READALBUMVALUE(PLAYLISTKEY(row - 1), value);
    const int32_t count = std::clamp(CELLNUMBER(value.data()), 0, kMaxPlaylistTracks);
    for (int32_t i = 2; i <= count + 1; ++i) {
      const int32_t track = CELLNUMBER(value.data() + 2 * (i - 1));
      // A cell naming no track of this disc can only come from a hand-edited file.
      if (FETCHTRACK(track)) {
        PLAYRECORD.PLTRACKTITLE = TRACKRECORD.TRACKTITLE;
        PLAYRECORD.PLTRACKNUMBER = track;
        QueueAppend(&PLAYQUEUE);
      }
    }
  }
  QueueGet(&PLAYQUEUE, 1);
  if (QueueCount(&PLAYQUEUE) > 0) {
    CURRENTTITLE = PLAYRECORD.PLTRACKTITLE;
  } else {
    CURRENTTITLE.Clear();
  }
  REFRESHCONTROLS(kTrackList);
  LASTPLAYLIST = SELECTEDPLAYLIST;
}

int32_t READPLAYLISTS() {
  const int32_t count = READALBUMCOUNT("PlayList Count", kMaxPlaylists);
  for (int32_t p = 1; p <= count; ++p) {
    READALBUMVALUE(PLAYLISTTITLEKEY(p), HOLDRECORD.HOLDPLAYLISTNAME);
    READALBUMVALUE(PLAYLISTKEY(p), HOLDRECORD.HOLDPLAYLISTTEXT);
    QueueAppend(&HOLDQUEUE);
  }
  return count;
}

bool SAVEALBUM() {
  if (ALBUMKEY.clipped().empty()) {
    return true;  // no disc has been scanned: there is no album to write
  }
  PACKPLAYLIST();
  // Apply leaves the editor on the playlist and the track it shows.
  const int32_t editing = QueuePosition(&HOLDQUEUE);
  const int32_t shownRow = QueuePosition(&TRACKQUEUE);
  const TrackRecord shown = TRACKRECORD;
  // Every write is made even after a refusal: all of the album is kept to be written together.
  bool taken = WRITEALBUMVALUE("Title", ALBUMTITLE.view());
  taken = WRITEALBUMVALUE("Artist", ALBUMARTIST.view()) && taken;
  for (int32_t n = 1; n <= TRACKCOUNT; ++n) {
    QueueGet(&TRACKQUEUE, n);
    taken = WRITEALBUMVALUE(TRACKKEY(n), TRACKRECORD.TRACKTITLE.view()) && taken;
  }
  const int32_t count = QueueCount(&HOLDQUEUE);
  taken = WRITEALBUMVALUE("PlayList Count", std::to_string(count)) && taken;
  for (int32_t p = 1; p <= count; ++p) {
    QueueGet(&HOLDQUEUE, p);
    taken = WRITEALBUMVALUE(PLAYLISTTITLEKEY(p), HOLDRECORD.HOLDPLAYLISTNAME.view()) && taken;
    taken = WRITEALBUMVALUE(PLAYLISTKEY(p), HOLDRECORD.HOLDPLAYLISTTEXT.view()) && taken;
  }
  for (int32_t p = count + 1; p <= OPENCOUNT; ++p) {
    taken = REMOVEALBUMVALUE(PLAYLISTTITLEKEY(p)) && taken;
    taken = REMOVEALBUMVALUE(PLAYLISTKEY(p)) && taken;
  }
  // The file now holds this many; a later save with fewer must remove the surplus too.
  OPENCOUNT = std::max(OPENCOUNT, count);
  if (taken) {
    SAVEDFLAG = 1;
  }
  QueueGet(&HOLDQUEUE, editing);
  QueueGet(&TRACKQUEUE, shownRow);
  TRACKRECORD = shown;
  return taken;
}

void PACKPLAYLIST() {
  if (QueueCount(&HOLDQUEUE) == 0) {
    return;  // no playlist is being edited
  }
  const int32_t count = std::min(QueueCount(&TRACKLISTQUEUE), kMaxPlaylistTracks);
  HOLDRECORD.HOLDPLAYLISTTEXT.Clear();  // nothing stale after the last cell
  const std::string countText = std::to_string(count);
  AssignFixed(HOLDRECORD.HOLDPLAYLISTARRAY(1), 2, countText.data(), countText.size());
  for (int32_t i = 1; i <= count; ++i) {
    QueueGet(&TRACKLISTQUEUE, i);
    FORMAT(TRACKLISTRECORD.PLAYLISTTRACKNUMBER, "N2");
    PopToFixed(HOLDRECORD.HOLDPLAYLISTARRAY(i + 1), 2);
  }
  QueuePut(&HOLDQUEUE);
}

void UNPACKPLAYLIST() {
  // The track entry shows the track it showed before.
  const TrackRecord shown = TRACKRECORD;
  const int32_t shownRow = QueuePosition(&TRACKQUEUE);
  QueueFree(&TRACKLISTQUEUE);
  const int32_t count =
      std::clamp(CELLNUMBER(HOLDRECORD.HOLDPLAYLISTARRAY(1)), 0, kMaxPlaylistTracks);
  for (int32_t i = 2; i <= count + 1; ++i) {
    const int32_t track = CELLNUMBER(HOLDRECORD.HOLDPLAYLISTARRAY(i));
    if (track == 0) {
      break;
    }
    if (FETCHTRACK(track)) {
      TRACKLISTRECORD.PLAYLISTTRACKNAME = TRACKRECORD.TRACKTITLE;
      TRACKLISTRECORD.PLAYLISTTRACKNUMBER = track;
      QueueAppend(&TRACKLISTQUEUE);
    }
  }
  QueueGet(&TRACKQUEUE, shownRow);
  TRACKRECORD = shown;
}

}  // namespace vantora::app
