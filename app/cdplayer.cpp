// The main procedure: the player's window from start-up to close, and its native window hook.
#include "app/cdplayer.h"

#include "app/device.h"
#include "app/settings.h"
#include "app/state.h"
#include "app/status.h"
#include "platform/window_system.h"
#include "runtime/events.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

// Menu items of the main window.
constexpr int32_t kStayOnTopItem = 5;
constexpr int32_t kControlPanelItem = 6;

void APPLYSTAYONTOP() {
  platform::SetWindowPos(MAINHANDLE, STAYONTOP ? platform::HWND_TOPMOST : platform::HWND_NOTOPMOST,
                         0, 0, 0, 0,
                         platform::SWP_NOMOVE | platform::SWP_NOSIZE | platform::SWP_NOACTIVATE);
  LASTSTAYONTOP = STAYONTOP;
}

void APPLYCONTROLPANEL() {
  CAPTIONMODE = CONTROLPANEL ? 1 : 0;
  WRITEPOSITION(0, platform::kUnchanged, platform::kUnchanged, platform::kUnchanged,
                CONTROLPANEL ? kCompactHeight : kFullHeight);
  LASTCONTROLPANEL = CONTROLPANEL;
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

}  // namespace

void SetSettledHook(std::function<void(uintptr_t)> hook) {
  SettledHook() = std::move(hook);
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

void MAINWINDOWEVENT() {
  switch (CURRENTEVENT()) {
    case EVENT::OpenWindow:
      OPENCDDEVICE();
      REFRESHCONTROLS();
      break;
    case EVENT::Timer: {
      // Until the device opens, every tick of the slow timer tries again; then every tick polls.
      const bool wasOpen = DEVICEOPEN != 0;
      const FixedText<9> lastMode = OLDMODE;
      if (DEVICEOPEN == 0) {
        OPENCDDEVICE();
      } else {
        POLLSTATUS();
      }
      REFRESHCONTROLS();
      NOTESETTLED(DEVICEOPEN == 0 || (wasOpen && NEWMODE == lastMode));
      break;
    }
    case EVENT::Moved:
      // A minimised window reports the icon's place, which is no place to restore to.
      if (!GetIconized()) {
        int32_t width = 0;
        int32_t height = 0;
        READPOSITION(0, WINDOWX, WINDOWY, width, height);
      }
      break;
    case EVENT::Accepted:
      if (ACCEPTEDCONTROL() == kStayOnTopItem && STAYONTOP != LASTSTAYONTOP) {
        APPLYSTAYONTOP();
      } else if (ACCEPTEDCONTROL() == kControlPanelItem && CONTROLPANEL != LASTCONTROLPANEL) {
        APPLYCONTROLPANEL();
      }
      break;
    default:
      break;
  }
}

bool CDPLAYER() {
  MAINWINDOW = WINDOWCREATE(
      "P2$CDPLAYWIN", "cdplayer$CDPLAYER",
      {&STAYONTOP, &CONTROLPANEL, &AUTOPLAY, &CURRENTTITLE, &PLAYQUEUE, &ALBUMARTIST,
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
    if (CURRENTEVENT() == EVENT::CloseWindow) {
      SAVESETTINGS();
      break;
    }
    MAINWINDOWEVENT();
  }
  WINDOWCLOSE(MAINWINDOW);
  MAINWINDOW = 0;
  return true;
}

}  // namespace vantora::app
