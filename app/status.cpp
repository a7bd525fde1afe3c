// SPDX-License-Identifier: GPL-3.0-or-later
// The player's state as the drive reports it: the status poll and what a change of mode does.
#include "app/status.h"

#include <string>

#include "app/album.h"
#include "app/device.h"
#include "app/disc.h"
#include "app/state.h"
#include "app/times.h"
#include "runtime/queue.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

void SETBUTTON(int32_t button, const char* icon, const char* tip) {
  SetIcon(button, icon);
  SetToolTip(button, tip);
}

void SETSTATUS(const char* status) {
  STATUSTEXT = status;
  SHORTSTATUS = status;
}

// The drive has nothing usable: no times, no player controls.
void SHOWNODISC() {
  TIMETEXT.Clear();
  TIMELABEL.Clear();
  DISABLEPLAYER();
  ALBUMELAPSED = 0;
}

// A disc that is new, or back behind a closed door, has its own start and length to read.
void FORGETDISCTIMES() {
  ALBUMTIMESPENDING = 1;
  SHOWNTRACK = 0;
}

// Scans the disc with "Scanning Disc" on the status line; the line then shows what it showed.
void SCANWITHSTATUS() {
  SAVEDSTATUS = STATUSTEXT;
  STATUSTEXT = "Scanning Disc";
  REFRESHCONTROLS(kStatusString);
  SCANDISC();
}

void RESTORESTATUS() {
  STATUSTEXT = SAVEDSTATUS;
  REFRESHCONTROLS(kStatusString);
}

// The end of a play: the next entry, the same one or the first, by the repeat mode. Returns
// whether an entry was started; one the drive refuses (a data track) ends the play instead, or the
// player would show it playing while the drive stands still.
bool ENDOFPLAY() {
  if (PAUSED != 0 || PLAYING != 1) {
    return false;
  }
  const int32_t entry = QueuePosition(&PLAYQUEUE);
  const int32_t count = QueueCount(&PLAYQUEUE);
  if (count == 0) {
    PLAYING = 0;
    return false;
  }
  switch (REPEATMODE) {
    case 0:
      if (entry >= count) {
        // The play order has run out: the play button starts it again at its first entry.
        PLAYING = 0;
        PLAYENTRY(1, 0);
        return false;
      }
      return PLAYENTRY(entry + 1, 1);
    case 1:
      return PLAYENTRY(entry, 1);
    case 2:
      // Every entry in turn, then the first again.
      return PLAYENTRY(entry >= count ? 1 : entry + 1, 1);
    default:
      return false;
  }
}

// Leaving OLDMODE. Returns whether a new play was started, which ends this change.
bool LEAVEMODE() {
  if (OLDMODE == "open") {
    SETBUTTON(kDoorButton, "~QPX_CLOS.ICO", "Open the CD door");
    FORGETDISCTIMES();
    if (NEWMODE != "not ready" && !CLIP(MciCommand("status cdaudio media present")).empty()) {
      ENABLEPLAYER();
    }
  } else if (OLDMODE == "playing") {
    if (NEWMODE == "stopped") {
      return ENDOFPLAY();
    }
    SETBUTTON(kPlayButton, "~QPX_PLAY.ICO", "Play the current selections");
    DISABLECONTROLS(kPauseButton);
  }
  return false;
}

void ENTERPLAYING() {
  PLAYING = 1;
  PAUSED = 0;
  SETBUTTON(kPlayButton, "~QPX_STOP.ICO", "Stop the CD Player");
  // A disc that plays is usable, even when the tick that would have said so was missed (the door
  // shut while the drive would not tell its mode, a play started as the disc spun up).
  ENABLEPLAYER();
  ENABLECONTROLS(kPauseButton);
  SETBUTTON(kPauseButton, "~QPX_PAUS.ICO", "Pause the CD player");
  SCANWITHSTATUS();
  if (NEWDISC == 1) {
    FORGETDISCTIMES();
    LOADALBUM();
  }
  RESTORESTATUS();
}

void ENTERPAUSED() {
  SHOWTIMES();
  STATUSTEXT = "Paused on track " + std::to_string(CURRENTTRACK);
  SHORTSTATUS = "Paused";
  PLAYING = 1;
  SETBUTTON(kPauseButton, "~QPX_PAU2.ICO", "Restart the CD player");
}

void ENTERSTOPPED() {
  // A real stop ends the play and any pause, so the play button plays again.
  PLAYING = 0;
  PAUSED = 0;
  SETSTATUS("Stopped");
  MciCommand("seek cdaudio to start");
  SETBUTTON(kPauseButton, "~QPX_PAUS.ICO", "Pause the CD player");
  SETBUTTON(kPlayButton, "~QPX_PLAY.ICO", "Play the current selection(s)");
  ENABLEPLAYER();
  ALBUMELAPSED = 0;
  SCANWITHSTATUS();
  if (NEWDISC == 1 || OLDMODE == "open") {
    FORGETDISCTIMES();
    LOADALBUM();
    if (AUTOPLAY != 0) {
      PLAYENTRY(1, 1);
    }
  }
  RESTORESTATUS();
  SHOWTIMES();
}

}  // namespace

void POLLSTATUS() {
  const bool ready = !CLIP(MciCommand("status cdaudio ready")).empty();
  NEWMODE = MciCommand("", true);
  if (!ready && NEWMODE != "open") {
    NEWMODE = "not ready";
  }
  if (NEWMODE != OLDMODE) {
    MODECHANGED();
  }
  SHOWPLAYING();
  OLDMODE.Assign(NEWMODE);
  WATCHENTRYEND();
}

void MODECHANGED() {
  if (LEAVEMODE()) {
    // The new play runs on: the next tick compares with the mode the drive is in now, so a stop
    // or a pause before then is seen as one.
    NEWMODE = "playing";
    return;
  }
  if (NEWMODE == "not ready") {
    SETBUTTON(kDoorButton, "~QPX_CLOS.ICO", "Open the CD door");
    SETSTATUS("Not Ready");
    SHOWNODISC();
  } else if (NEWMODE == "open") {
    SETBUTTON(kDoorButton, "~QPX_OPEN.ICO", "Close the CD door");
    SETSTATUS("Door Open");
    SHOWNODISC();
  } else if (NEWMODE == "playing") {
    ENTERPLAYING();
  } else if (NEWMODE == "stopped") {
    if (OLDMODE == "playing" && PAUSED == 1) {
      ENTERPAUSED();
    } else {
      ENTERSTOPPED();
    }
  }
}

void SHOWPLAYING() {
  if (NEWMODE != "playing") {
    return;
  }
  SHOWTIMES();
  STATUSTEXT = "Playing Track " + std::to_string(CURRENTTRACK);
  SHORTSTATUS = "Playing " + std::to_string(CURRENTTRACK);
}

}  // namespace vantora::app
