// The player's program-wide state: settings, player state, album data and their queues.
#pragma once

#include <cstdint>

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
inline uint8_t DISPLAYMODE = 1;
inline int32_t STARTX = 0;
inline int32_t STARTY = 0;
inline int32_t WINDOWX = 0;
inline int32_t WINDOWY = 0;
inline uint8_t SETTINGSFOUND = 0;

// Main window state.
inline runtime::WindowHandle MAINWINDOW = 0;
inline uint64_t MAINHANDLE = 0;
inline intptr_t PREVPROC = 0;
inline uint8_t CAPTIONMODE = 0;
inline int32_t LASTCONTROLPANEL = 0;
inline int32_t LASTSTAYONTOP = 0;
// The main window's heights in window units: its toolbar alone, and the whole player.
inline constexpr int32_t kCompactHeight = 23;
inline constexpr int32_t kFullHeight = 229;

// Player state.
inline uint8_t DEVICEOPEN = 0;
inline uint8_t CANEJECT = 0;
inline uint8_t PLAYING = 0;
inline uint8_t PAUSED = 0;
inline FixedText<40> STATUSTEXT;
inline FixedText<60> CURRENTTITLE;
inline FixedText<5> TIMETEXT;
inline FixedText<26> TIMELABEL;

// Album data.
inline FixedText<60> ALBUMTITLE;
inline FixedText<60> ALBUMARTIST;
inline FixedText<60> SELECTEDPLAYLIST;

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

// Puts every program-wide variable back to its initial value (a new run in tests).
void ResetState();

}  // namespace vantora::app
