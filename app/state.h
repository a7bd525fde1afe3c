// SPDX-License-Identifier: GPL-3.0-or-later
// The player's program-wide state: settings, player state, album data and their queues.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/ini.h"
#include "runtime/queue.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace vantora::app {

using runtime::FixedText;
using runtime::QueueDescriptor;

// The INI file of the player's settings and album store, resolved in the config directory.
inline constexpr const char* kIniFile = "ZQ_CD.INI";
inline constexpr const char* kSettingsSection = "CD Player Settings";
inline constexpr const char* kProduct = "Vantora - Brennix";
inline constexpr const char* kCopyright = "Copyright 2026 Brennix. Free software.";

// Settings, read at start and written at close.
inline int32_t STAYONTOP = 0;
inline int32_t CONTROLPANEL = 0;
inline uint8_t AUTOPLAY = 0;
// Whether names for unknown discs are looked up online: the user turns it on.
inline uint8_t LOOKUPTITLES = 0;
inline uint8_t DISPLAYMODE = 1;
inline int32_t VOLUME = 100;  // the listener's volume, in percent of the disc's own
inline int32_t STARTX = 0;
inline int32_t STARTY = 0;
inline int32_t WINDOWX = 0;
inline int32_t WINDOWY = 0;
inline uint8_t SETTINGSFOUND = 0;

// The main window's controls, by number.
inline constexpr int32_t kPreviousButton = 11;
inline constexpr int32_t kPlayButton = 12;
inline constexpr int32_t kPauseButton = 13;
inline constexpr int32_t kNextButton = 14;
inline constexpr int32_t kDoorButton = 15;
inline constexpr int32_t kTrackList = 16;
inline constexpr int32_t kRepeatButton = 17;
inline constexpr int32_t kFirstTrackButton = 19;
inline constexpr int32_t kLastTrackButton = 28;
inline constexpr int32_t kNextPageButton = 29;
inline constexpr int32_t kStatusString = 36;

// Main window state.
inline runtime::WindowHandle MAINWINDOW = 0;
inline uint64_t MAINHANDLE = 0;
inline intptr_t PREVPROC = 0;
inline uint8_t CAPTIONMODE = 0;  // the caption shows the status: compact or minimised
inline uint8_t LASTCAPTIONMODE = 0;
inline int32_t LASTCONTROLPANEL = 0;
inline int32_t LASTSTAYONTOP = 0;
// The main window's heights in window units: its toolbar alone, and the whole player.
inline constexpr int32_t kCompactHeight = 23;
inline constexpr int32_t kFullHeight = 229;

// Player state.
inline uint8_t DEVICEOPEN = 0;
inline uint8_t CANEJECT = 0;
inline int32_t PLAYING = 0;
inline int32_t PAUSED = 0;
inline FixedText<9> NEWMODE;  // the device's mode at this tick and at the one before
inline FixedText<9> OLDMODE;
inline uint8_t REPEATMODE = 0;  // 0 none, 1 track, 2 all
// An entry that plays alone ends at a moment the player knows (milliseconds on the one clock, 0
// for none), and with a pause, after what was left of it.
inline int64_t ENTRYENDSAT = 0;
inline int64_t ENTRYLEFT = 0;
inline FixedText<40> STATUSTEXT;
inline FixedText<20> SHORTSTATUS;  // the status as the caption shows it
inline FixedText<40> SAVEDSTATUS;  // the status line kept while "Scanning Disc" shows
inline FixedText<60> CURRENTTITLE;

// The disc: its track count, its album key and the pages of track buttons.
inline uint8_t TRACKCOUNT = 0;
inline FixedText<24> ALBUMKEY;
inline FixedText<24> LASTALBUMKEY;
inline uint8_t NEWDISC = 0;
inline uint8_t BUTTONPAGE = 0;
inline uint8_t PAGECOUNT = 0;

// The time display: time values (hundredths since midnight plus one) and the mode shown.
inline int32_t CURRENTTRACK = 0;
inline int32_t SHOWNTRACK = 0;  // the track whose start and length were read last
inline int32_t ALBUMSTART = 0;
inline int32_t ALBUMLENGTH = 0;
inline int32_t TRACKSTART = 0;
inline int32_t TRACKLENGTH = 0;
inline int32_t ALBUMELAPSED = 0;  // 0: no time to show
inline int32_t ALBUMREMAINING = 0;
inline int32_t TRACKREMAINING = 0;
inline int32_t ALBUMTIMESPENDING = 1;  // the disc's start and length are still to be read
inline FixedText<5> TIMETEXT;
inline FixedText<26> TIMELABEL;

// The work groups that times pass through: a device reply mm:ss:ff, and a time hh:mm:ss whose
// last five characters are the mm:ss the display shows.
struct MsfStamp {
  char MSFSTAMPMINUTES[3];
  char MSFSTAMPSECONDS[3];
  char MSFSTAMPFRAMES[2];
};
inline MsfStamp MSFSTAMP;
struct Construct {
  char CONSTRUCTHOURS[3];
  char CONSTRUCTMINUTES[3];
  char CONSTRUCTSECONDS[2];
  std::string_view RETURNGROUP() const { return {CONSTRUCTMINUTES, 5}; }
};
inline Construct CONSTRUCT;

// Album data.
inline FixedText<60> ALBUMTITLE;
inline FixedText<60> ALBUMARTIST;
inline FixedText<60> SELECTEDPLAYLIST;
inline FixedText<60> LASTPLAYLIST;    // SELECTEDPLAYLIST as the last LOADPLAYLIST left it
inline FixedText<24> LOADEDALBUMKEY;  // the album key of the album data in memory

// The play order: one record per entry, a title and its disc track number.
struct PlayRecord {
  FixedText<60> PLTRACKTITLE;
  int32_t PLTRACKNUMBER = 0;
};
inline PlayRecord PLAYRECORD;
inline const runtime::FieldDescriptor kPlayFields[] = {
    {"PLTRACKTITLE", runtime::DataType::Text, offsetof(PlayRecord, PLTRACKTITLE), 60, "S60"},
    {"PLTRACKNUMBER", runtime::DataType::Long, offsetof(PlayRecord, PLTRACKNUMBER), 4, ""},
};
inline QueueDescriptor PLAYQUEUE{&PLAYRECORD, kPlayFields, nullptr, sizeof(PlayRecord)};

// The track table: one title per disc track, in track order.
struct TrackRecord {
  FixedText<60> TRACKTITLE;
};
inline TrackRecord TRACKRECORD;
inline const runtime::FieldDescriptor kTrackFields[] = {
    {"TRACKTITLE", runtime::DataType::Text, 0, 60, "S60"},
};
inline QueueDescriptor TRACKQUEUE{&TRACKRECORD, kTrackFields, nullptr, sizeof(TrackRecord)};

// The album's playlists, "Album Order" first.
struct PlaylistRecord {
  FixedText<60> PLAYLISTNAME;
};
inline PlaylistRecord PLAYLISTRECORD;
inline const runtime::FieldDescriptor kPlaylistFields[] = {
    {"PLAYLISTNAME", runtime::DataType::Text, 0, 60, "S60"},
};
inline QueueDescriptor PLAYLISTQUEUE{&PLAYLISTRECORD, kPlaylistFields, nullptr,
                                     sizeof(PlaylistRecord)};

// The playlist editor's working data: the album's playlists, the tracks of the one being
// edited, and what the editor opened with and did.
inline constexpr int32_t kPlaylistCells = 100;  // two characters each; cell 1 is the count
inline constexpr int32_t kMaxPlaylistTracks = kPlaylistCells - 1;
inline constexpr int32_t kMaxPlaylists = 255;
struct HoldRecord {
  FixedText<60> HOLDPLAYLISTNAME;
  FixedText<2 * kPlaylistCells> HOLDPLAYLISTTEXT;  // the playlist value, seen as one text
  // Cell i (1-based) of the value, two characters.
  char* HOLDPLAYLISTARRAY(int32_t i) { return HOLDPLAYLISTTEXT.data() + 2 * (i - 1); }
};
inline HoldRecord HOLDRECORD;
inline const runtime::FieldDescriptor kHoldFields[] = {
    {"HOLDPLAYLISTNAME", runtime::DataType::Text, offsetof(HoldRecord, HOLDPLAYLISTNAME), 60,
     "S60"},
    {"HOLDPLAYLISTTEXT", runtime::DataType::Text, offsetof(HoldRecord, HOLDPLAYLISTTEXT),
     2 * kPlaylistCells, "S200"},
};
inline QueueDescriptor HOLDQUEUE{&HOLDRECORD, kHoldFields, nullptr, sizeof(HoldRecord)};

struct TrackListRecord {
  FixedText<60> PLAYLISTTRACKNAME;
  int32_t PLAYLISTTRACKNUMBER = 0;
};
inline TrackListRecord TRACKLISTRECORD;
inline const runtime::FieldDescriptor kTrackListFields[] = {
    {"PLAYLISTTRACKNAME", runtime::DataType::Text, offsetof(TrackListRecord, PLAYLISTTRACKNAME), 60,
     "S60"},
    {"PLAYLISTTRACKNUMBER", runtime::DataType::Long, offsetof(TrackListRecord, PLAYLISTTRACKNUMBER),
     4, ""},
};
inline QueueDescriptor TRACKLISTQUEUE{&TRACKLISTRECORD, kTrackListFields, nullptr,
                                      sizeof(TrackListRecord)};
inline FixedText<60> PLAYLISTNAME;
inline int32_t OPENCOUNT = 0;
inline int32_t SAVEDFLAG = 0;

// Changes ZQ_CD.INI has not taken: the trouble the user was last told about (blank once every
// change is on the disk), and how long a change may wait before the user is told.
inline runtime::IniTrouble UNSAVEDTOLD;
inline constexpr int32_t kUnsavedGraceMs = 3000;

// Puts every program-wide variable back to its initial value (a new run in tests).
void ResetState();

}  // namespace vantora::app
