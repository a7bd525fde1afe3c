// SPDX-License-Identifier: GPL-3.0-or-later
// The main procedure: the player's window from start-up to close, and its native window hook.
#include "app/cdplayer.h"

#include "app/album.h"
#include "app/device.h"
#include "app/dialogs.h"
#include "app/disc.h"
#include "app/editor.h"
#include "app/names.h"
#include "app/settings.h"
#include "app/state.h"
#include "app/status.h"
#include "app/times.h"
#include "app/unsaved.h"
#include "platform/window_system.h"
#include "runtime/events.h"
#include "runtime/queue.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

// The main window's commands, by control number.
constexpr int32_t kPlaylistItem = 4;
constexpr int32_t kStayOnTopItem = 5;
constexpr int32_t kControlPanelItem = 6;
constexpr int32_t kAboutItem = 9;
constexpr int32_t kLookUpItem = 39;
constexpr int32_t kEditPlaylistButton = 18;
constexpr int32_t kPlaylistList = 32;
constexpr int32_t kTimeDisplay = 34;

constexpr int32_t kSlowTimer = 200;

void APPLYSTAYONTOP() {
  platform::SetWindowPos(GetHandle(), STAYONTOP ? platform::HWND_TOPMOST : platform::HWND_NOTOPMOST,
                         0, 0, 0, 0,
                         platform::SWP_NOMOVE | platform::SWP_NOSIZE | platform::SWP_NOACTIVATE);
}

// The caption while CAPTIONMODE is set: the status, with the track's time while there is one.
void SHOWSTATUSCAPTION() {
  if (ALBUMELAPSED != 0) {
    SetText(0, "CD " + SHORTSTATUS.str() + "  (" +
                   TIMETOMMSS(ALBUMELAPSED + ALBUMSTART - TRACKSTART) + ")");
  } else {
    SetText(0, "CD " + STATUSTEXT.str());
  }
}

// After a tick: the status form or "Device Not Available" while CAPTIONMODE is set, the plain
// title once it clears.
void SHOWCAPTION(bool deviceMissing) {
  if (CAPTIONMODE != 0) {
    if (deviceMissing) {
      SetText(0, "Device Not Available");
    } else {
      SHOWSTATUSCAPTION();
    }
  } else if (CAPTIONMODE != LASTCAPTIONMODE) {
    SetText(0, "Audio CD Player");
  }
}

std::function<void()>& AfterEventHook() {
  static std::function<void()> hook;
  return hook;
}

std::function<void(uintptr_t)>& SettledHook() {
  static std::function<void(uintptr_t)> hook;
  return hook;
}

// After a tick: a player whose device mode did not change (or that has no device) has settled.
void NOTESETTLED(bool settled) {
  if (settled && SettledHook()) {
    const auto hook = std::move(SettledHook());
    SettledHook() = nullptr;
    hook(NativeWindowOf(MAINWINDOW));
  }
}

// A track button asks before it leaves a custom playlist for the album order. False when the
// user declines.
bool CONFIRMALBUMORDER() {
  if (QueuePosition(&PLAYLISTQUEUE) <= 1) {
    return true;
  }
  if (!ASKYESNO("Track Button Selected",
                "This will change the order of play to the track order on the album.  Are you "
                "certain you want to do this?")) {
    return false;
  }
  QueueGet(&PLAYLISTQUEUE, 1);
  LOADPLAYLIST();
  return true;
}

// The commands: EVENT:Accepted of a control. Returns false when the event is to be skipped.
bool RUNCOMMAND(int32_t control) {
  if (control == kStayOnTopItem) {
    if (STAYONTOP != LASTSTAYONTOP) {
      LASTSTAYONTOP = STAYONTOP;
      APPLYSTAYONTOP();
    }
  } else if (control == kControlPanelItem) {
    if (CONTROLPANEL != LASTCONTROLPANEL) {
      LASTCONTROLPANEL = CONTROLPANEL;
      if (CONTROLPANEL != 0) {
        SetProperty(PROP_HEIGHT, 0, kCompactHeight);
      } else {
        SetProperty(PROP_HEIGHT, 0, kFullHeight);
        SetText(0, "Audio CD Player");
      }
    }
  } else if (control == kRepeatButton) {
    REPEATMODE = static_cast<uint8_t>(REPEATMODE + 1);
    if (REPEATMODE > 2) {
      REPEATMODE = 0;
    }
    SHOWREPEATMODE();
  } else if (control == kEditPlaylistButton || control == kPlaylistItem) {
    if (EDITPLAYLISTS() != 0) {
      STOPPLAYER();
      POLLSTATUS();
      LOADALBUM();
    }
  } else if (control == kAboutItem) {
    SHOWABOUT();
  } else if (control == kLookUpItem) {
    ASKFORNAMES();
  } else if (control == kTimeDisplay) {
    DISPLAYMODE = static_cast<uint8_t>(DISPLAYMODE + 1);
    if (DISPLAYMODE > kDisplayModes) {
      DISPLAYMODE = 1;
    }
    SHOWTIMES();
  } else if (control == kDoorButton) {
    if (MciCommand("", true) == "open") {
      MciCommand("set cdaudio door closed");
    } else {
      MciCommand("set cdaudio door open");
    }
  } else if (control == kPlayButton) {
    if (PLAYING == 0) {
      PLAYENTRY(SELECTEDROW(kTrackList), 1);
    } else {
      STOPPLAYER();
    }
  } else if (control == kPauseButton) {
    PAUSEPLAYER();
  } else if (control == kPreviousButton) {
    PLAYENTRY(QueuePosition(&PLAYQUEUE) - 1, PLAYING);
  } else if (control == kNextButton) {
    PLAYENTRY(QueuePosition(&PLAYQUEUE) + 1, PLAYING);
  } else if (control >= kFirstTrackButton && control <= kLastTrackButton) {
    if (!CONFIRMALBUMORDER()) {
      return false;
    }
    PLAYENTRY(control - (kFirstTrackButton - 1) + BUTTONPAGE * 10, 1);
  } else if (control == kNextPageButton) {
    NEXTBUTTONPAGE();
  } else if (control == kTrackList) {
    PLAYENTRY(SELECTEDROW(kTrackList), PLAYING);
  } else if (control == kPlaylistList) {
    // Playlist names may repeat or be blank: the row, not the name, tells another one apart.
    const int32_t row = SELECTEDROW(kPlaylistList);
    if (row != 0 && row != QueuePosition(&PLAYLISTQUEUE)) {
      STOPPLAYER();
      QueueGet(&PLAYLISTQUEUE, row);
      LOADPLAYLIST();
      if (AUTOPLAY != 0) {
        PLAYENTRY(1, 1);
      }
    }
  }
  return true;
}

void OPENWINDOW() {
  OPENCDDEVICE();
  if (DEVICEOPEN == 0) {
    DISABLEPLAYER();
    DISABLECONTROLS(kDoorButton);
    SetTimer(kSlowTimer);
    STAYONTOP = 0;
    if (CAPTIONMODE != 0) {
      SetText(0, "Device Not Available");
    }
  } else if (CAPTIONMODE != 0) {
    SHOWSTATUSCAPTION();
  }
  LASTCAPTIONMODE = CAPTIONMODE;
}

void TICK() {
  CAPTIONMODE = (CONTROLPANEL != 0 || GetIconized()) ? 1 : 0;
  const FixedText<9> lastMode = OLDMODE;
  bool settled = false;
  if (DEVICEOPEN == 0) {
    OPENCDDEVICE();
    SHOWCAPTION(true);
    settled = DEVICEOPEN == 0;
  } else {
    POLLSTATUS();
    SHOWCAPTION(false);
    settled = NEWMODE == lastMode;
  }
  LASTCAPTIONMODE = CAPTIONMODE;
  WARNUNSAVED();
  NOTESETTLED(settled);
}

}  // namespace

void SetSettledHook(std::function<void(uintptr_t)> hook) {
  SettledHook() = std::move(hook);
}

void SetAfterEventHook(std::function<void()> hook) {
  AfterEventHook() = std::move(hook);
}

intptr_t CDPLAYERWNDPROC(uint64_t hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == platform::WM_QUERYENDSESSION) {
    return 1;
  }
  if (message == platform::WM_ENDSESSION) {
    SAVESETTINGS();
    return 1;
  }
  return platform::CallWindowProcA(PREVPROC, hwnd, message, wParam, lParam);
}

bool MAINWINDOWEVENT() {
  if (ACCEPTEDCONTROL() != 0 && !RUNCOMMAND(ACCEPTEDCONTROL())) {
    SKIPEVENT();
    return true;
  }
  switch (CURRENTEVENT()) {
    case EVENT::OpenWindow:
      OPENWINDOW();
      break;
    case EVENT::Timer:
      TAKEFOUNDNAMES();
      TICK();
      break;
    case EVENT::Moved:
      // A minimised window reports the icon's place, which is no place to restore to.
      if (!GetIconized()) {
        int32_t width = 0;
        int32_t height = 0;
        READPOSITION(0, WINDOWX, WINDOWY, width, height);
      }
      break;
    case EVENT::CloseWindow:
      SAVESETTINGS();
      return false;
    default:
      break;
  }
  return true;
}

bool CDPLAYER() {
  MAINWINDOW = WINDOWCREATE(
      "P2$CDPLAYWIN", "cdplayer$CDPLAYER",
      {&STAYONTOP, &CONTROLPANEL, &AUTOPLAY, &LOOKUPTITLES, &CURRENTTITLE, &PLAYQUEUE, &ALBUMARTIST,
       &SELECTEDPLAYLIST, &PLAYLISTQUEUE, &ALBUMTITLE, &STATUSTEXT, &TIMETEXT, &TIMELABEL});
  if (MAINWINDOW == 0) {
    return false;
  }
  PushCString("");  // the help topic
  PushCString("ZQ15EXAM");
  SETHELPFILE();
  READSETTINGS();
  WINDOWOPEN(MAINWINDOW);

  MAINHANDLE = GetHandle();
  PREVPROC = platform::SetWindowLongA(MAINHANDLE, platform::GWL_WNDPROC,
                                      reinterpret_cast<intptr_t>(&CDPLAYERWNDPROC));
  SetProperty(PROP_SYSTEMTIMING1, 0, 100, SYSTEMTARGET);
  SetProperty(PROP_SYSTEMTIMING2, 0, 700, SYSTEMTARGET);
  DEVICEOPEN = 0;
  CAPTIONMODE = 0;

  const int32_t x = SETTINGSFOUND ? STARTX : platform::kUnchanged;
  const int32_t y = SETTINGSFOUND ? STARTY : platform::kUnchanged;
  if (CONTROLPANEL) {
    CAPTIONMODE = 1;
    WRITEPOSITION(0, x, y, platform::kUnchanged, kCompactHeight);
  } else if (SETTINGSFOUND) {
    WRITEPOSITION(0, x, y, platform::kUnchanged, platform::kUnchanged);
  }
  LASTCONTROLPANEL = CONTROLPANEL;
  if (STAYONTOP) {
    APPLYSTAYONTOP();
  }
  LASTSTAYONTOP = STAYONTOP;
  REFRESHCONTROLS(0, 0);

  while (EVENTLOOP()) {
    if (!MAINWINDOWEVENT()) {
      break;
    }
    SAVECHANGEDSETTINGS(CURRENTEVENT() == EVENT::Timer);
    if (AfterEventHook()) {
      AfterEventHook()();
    }
  }
  WINDOWCLOSE(MAINWINDOW);
  MAINWINDOW = 0;
  return true;
}

}  // namespace vantora::app
