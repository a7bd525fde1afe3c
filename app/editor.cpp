// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist editor: the album's title, artist and track titles, and its playlists built by
// dragging tracks, saved to ZQ_CD.INI with OK or Apply.
#include "app/editor.h"

#include "app/names.h"

#include "app/album.h"
#include "app/dialogs.h"
#include "app/state.h"
#include "app/unsaved.h"
#include "runtime/decimal.h"
#include "runtime/errors.h"
#include "runtime/events.h"
#include "runtime/queue.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

// The editor's controls, by number.
constexpr int32_t kPlaylistGroup = 8;
constexpr int32_t kTrackListBox = 6;
constexpr int32_t kTrackTitleEntry = 7;
constexpr int32_t kPlaylistChoice = 9;
constexpr int32_t kPlaylistTracks = 10;
constexpr int32_t kNewButton = 11;
constexpr int32_t kEditButton = 12;
constexpr int32_t kRemoveButton = 13;
constexpr int32_t kOkButton = 14;
constexpr int32_t kCancelButton = 15;
constexpr int32_t kApplyButton = 16;
constexpr int32_t kAddOnlineButton = 19;

constexpr const char* kMoveTrack = "Move Track";
constexpr const char* kAddTrack = "Add Track";

// Keys the track title entry alerts.
constexpr int32_t kKeyUp = 0x26;
constexpr int32_t kKeyDown = 0x28;
constexpr int32_t kKeyPageUp = 0x21;
constexpr int32_t kKeyPageDown = 0x22;
constexpr int32_t kKeyCtrlPageUp = 0x221;
constexpr int32_t kKeyCtrlPageDown = 0x222;
constexpr int32_t kPageRows = 15;

// The stored form holds 99 tracks a playlist and 255 playlists an album. A full playlist says so
// in its group's title and takes no more tracks; "&New" is off while the album is full.
bool PLAYLISTFULL() {
  return QueueCount(&TRACKLISTQUEUE) >= kMaxPlaylistTracks;
}
bool ALBUMFULL() {
  return QueueCount(&HOLDQUEUE) >= kMaxPlaylists;
}
void SHOWLIMITS() {
  SetText(kPlaylistGroup, PLAYLISTFULL() ? "&Playlist (full: 99 tracks)" : "&Playlist");
  if (ALBUMFULL()) {
    DISABLECONTROLS(kNewButton);
    SetToolTip(kNewButton, "An album holds at most 255 playlists");
  } else {
    ENABLECONTROLS(kNewButton);
    SetToolTip(kNewButton, "Add a customized playlist");
  }
}

void SWITCHPLAYLISTCONTROLS(void (*change)(int32_t, int32_t)) {
  change(kPlaylistChoice, kPlaylistTracks);
  change(kEditButton, kRemoveButton);
}

bool DROPPED(const char* tag) {
  DROPTAG();
  PushCString(tag);
  return CompareTop() == 0;
}

// Step 1: a playlist track dropped on its own list moves to the row under the pointer; dropped
// anywhere else it leaves the playlist.
void DROPPLAYLISTTRACK() {
  if (CURRENTEVENT() != EVENT::Drop || !DROPPED(kMoveTrack)) {
    return;
  }
  if (EVENTCONTROL() == kPlaylistTracks) {
    PushInteger(PROP_MOUSEUPROW);
    GETPROPERTY(kPlaylistTracks);
    PopNumber();
    const int32_t row = DecPopInteger();
    QueueDelete(&TRACKLISTQUEUE);
    if (LastError() == 0) {
      QueueInsert(&TRACKLISTQUEUE, row);
    }
  } else {
    QueueDelete(&TRACKLISTQUEUE);
  }
}

void NEWPLAYLIST() {
  if (ALBUMFULL()) {
    return;
  }
  PACKPLAYLIST();
  const FixedText<60> title = EDITPLAYLISTTITLE("");
  if (title == "") {
    return;
  }
  HOLDRECORD.HOLDPLAYLISTNAME = title;
  HOLDRECORD.HOLDPLAYLISTTEXT.Clear();
  QueueAppend(&HOLDQUEUE);
  UNPACKPLAYLIST();
  SWITCHPLAYLISTCONTROLS(&ENABLECONTROLS);
  PLAYLISTNAME = title;
  REFRESHCONTROLS();
}

void RENAMEPLAYLIST() {
  const FixedText<60> title = EDITPLAYLISTTITLE(HOLDRECORD.HOLDPLAYLISTNAME.view());
  HOLDRECORD.HOLDPLAYLISTNAME = title;
  QueuePut(&HOLDQUEUE);
  PLAYLISTNAME = title;
  REFRESHCONTROLS();
}

void REMOVEPLAYLIST() {
  if (!ASKYESNO("Confirm Deletion", "Are you sure you want to delete this play list?")) {
    return;
  }
  QueueDelete(&HOLDQUEUE);
  if (QueueCount(&HOLDQUEUE) > 0) {
    QueueGet(&HOLDQUEUE, 1);
    UNPACKPLAYLIST();
    PLAYLISTNAME = HOLDRECORD.HOLDPLAYLISTNAME;
    SetSelected(kPlaylistChoice, 1);
  } else {
    PLAYLISTNAME.Clear();
    QueueFree(&TRACKLISTQUEUE);
    SWITCHPLAYLISTCONTROLS(&DISABLECONTROLS);
    HOLDRECORD = HoldRecord{};
  }
  REFRESHCONTROLS();
}

// Step 2: the buttons and the playlist choice.
void RUNBUTTON(int32_t control) {
  switch (control) {
    case kApplyButton:
      if (!SAVEALBUM()) {
        TELLNOTSAVED();
      }
      break;
    case kOkButton:
      // A save the file refused is no save: the editor stays, so the user knows and may retry.
      if (SAVEALBUM()) {
        POSTEVENT(EVENT::CloseWindow);
      } else {
        TELLNOTSAVED();
      }
      break;
    case kCancelButton:
      POSTEVENT(EVENT::CloseWindow);
      break;
    case kNewButton:
      NEWPLAYLIST();
      break;
    case kEditButton:
      RENAMEPLAYLIST();
      break;
    case kRemoveButton:
      REMOVEPLAYLIST();
      break;
    case kAddOnlineButton:
      OPENLINK(DISCIDENTITY().addUrl);
      break;
    case kPlaylistChoice:
      PACKPLAYLIST();
      QueueGet(&HOLDQUEUE, SELECTEDROW(kPlaylistChoice));
      UNPACKPLAYLIST();
      REFRESHCONTROLS();
      break;
    default:
      break;
  }
}

// The track title entry's keys move the selection in the album's track list.
int32_t NEXTTRACKROW(int32_t key, int32_t row) {
  const int32_t last = QueueCount(&TRACKQUEUE);
  switch (key) {
    case kKeyUp:
      return row == 0 ? last : row - 1;
    case kKeyDown:
      return row == last ? 1 : row + 1;
    case kKeyPageUp:
      return row - kPageRows;
    case kKeyPageDown:
      return row + kPageRows;
    case kKeyCtrlPageUp:
      return 1;
    case kKeyCtrlPageDown:
      return last;
    default:
      return row;
  }
}

// The typed title goes back to the track it belongs to.
void STORETRACKTITLE() {
  READCONTROLS(kTrackTitleEntry);
  QueuePut(&TRACKQUEUE);
}

// Step 3: by the control of the event.
void RUNCONTROL() {
  const int32_t event = CURRENTEVENT();
  switch (EVENTCONTROL()) {
    case kPlaylistTracks:
      if (event == EVENT::Drop && DROPPED(kAddTrack) && !PLAYLISTFULL()) {
        TRACKLISTRECORD.PLAYLISTTRACKNAME = TRACKRECORD.TRACKTITLE;
        TRACKLISTRECORD.PLAYLISTTRACKNUMBER = SELECTEDROW(kTrackListBox);
        QueueAppend(&TRACKLISTQUEUE);
      } else if (event == EVENT::Drag) {
        QueueGet(&TRACKLISTQUEUE, SELECTEDROW(kPlaylistTracks));
      }
      break;
    case kTrackListBox:
      if (event == EVENT::NewSelection) {
        // With no row selected the entry keeps the title it shows, and the track it belongs to.
        if (SELECTEDROW(kTrackListBox) != 0) {
          QueueGet(&TRACKQUEUE, SELECTEDROW(kTrackListBox));
        }
        FOCUSCONTROL(kTrackTitleEntry);
        REFRESHCONTROLS(kTrackTitleEntry);
      } else if (event == EVENT::Drag) {
        QueueGet(&TRACKQUEUE, SELECTEDROW(kTrackListBox));
      }
      break;
    case kTrackTitleEntry:
      if (event == EVENT::Accepted) {
        STORETRACKTITLE();
        REFRESHCONTROLS(kTrackListBox);
      } else if (event == EVENT::AlertKey) {
        const int32_t row = GetSelected(kTrackListBox);
        STORETRACKTITLE();
        SetSelected(kTrackListBox, NEXTTRACKROW(LASTKEY(), row));
        POSTEVENT(EVENT::NewSelection, kTrackListBox);
      }
      break;
    default:
      break;
  }
}

}  // namespace

int32_t EDITPLAYLISTS() {
  HOLDRECORD = HoldRecord{};
  PLAYLISTNAME.Clear();
  OPENCOUNT = 0;
  SAVEDFLAG = 0;
  const DiscIdentity identity = DISCIDENTITY();
  FixedText<60> discId;
  discId = identity.id;
  const WindowHandle editor =
      WINDOWCREATE("P22$EDITWINDOW", "cdplayer$CDPLAYER",
                   {&ALBUMARTIST, &ALBUMTITLE, &TRACKQUEUE, &TRACKRECORD.TRACKTITLE, &PLAYLISTNAME,
                    &HOLDQUEUE, &TRACKLISTQUEUE, &discId});
  if (editor == 0) {
    return 0;
  }
  WINDOWOPEN(editor);
  if (!ALBUMUNKNOWNONLINE() || identity.addUrl.empty()) {
    HIDECONTROLS(kAddOnlineButton);
  }
  QueueGet(&TRACKQUEUE, 1);
  QueueFree(&TRACKLISTQUEUE);
  QueueFree(&HOLDQUEUE);
  OPENCOUNT = READPLAYLISTS();
  if (QueueCount(&HOLDQUEUE) == 0) {
    SWITCHPLAYLISTCONTROLS(&DISABLECONTROLS);
    HOLDRECORD = HoldRecord{};
  } else {
    QueueGet(&HOLDQUEUE, 1);
    SetSelected(kPlaylistChoice, 1);
    UNPACKPLAYLIST();
    PLAYLISTNAME = HOLDRECORD.HOLDPLAYLISTNAME;
  }
  SetSelected(kTrackListBox, 1);
  SHOWLIMITS();
  REFRESHCONTROLS();
  while (EVENTLOOP()) {
    DROPPLAYLISTTRACK();
    RUNBUTTON(ACCEPTEDCONTROL());
    RUNCONTROL();
    SHOWLIMITS();
  }
  WINDOWCLOSE(editor);
  QueueFree(&TRACKLISTQUEUE);
  QueueFree(&HOLDQUEUE);
  return SAVEDFLAG;
}

}  // namespace vantora::app
