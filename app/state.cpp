// SPDX-License-Identifier: GPL-3.0-or-later
// The player's program-wide state.
#include "app/state.h"

namespace vantora::app {

void ResetState() {
  STAYONTOP = 0;
  CONTROLPANEL = 0;
  AUTOPLAY = 0;
  DISPLAYMODE = 1;
  VOLUME = 100;
  STARTX = STARTY = 0;
  WINDOWX = WINDOWY = 0;
  SETTINGSFOUND = 0;
  MAINWINDOW = 0;
  MAINHANDLE = 0;
  PREVPROC = 0;
  CAPTIONMODE = 0;
  LASTCAPTIONMODE = 0;
  LASTCONTROLPANEL = 0;
  LASTSTAYONTOP = 0;
  DEVICEOPEN = 0;
  CANEJECT = 0;
  PLAYING = 0;
  PAUSED = 0;
  NEWMODE.Clear();
  OLDMODE.Clear();
  REPEATMODE = 0;
  ENTRYENDSAT = ENTRYLEFT = 0;
  STATUSTEXT.Clear();
  SHORTSTATUS.Clear();
  SAVEDSTATUS.Clear();
  CURRENTTITLE.Clear();
  TRACKCOUNT = 0;
  ALBUMKEY.Clear();
  LASTALBUMKEY.Clear();
  NEWDISC = 0;
  BUTTONPAGE = 0;
  PAGECOUNT = 0;
  CURRENTTRACK = SHOWNTRACK = 0;
  ALBUMSTART = ALBUMLENGTH = TRACKSTART = TRACKLENGTH = 0;
  ALBUMELAPSED = ALBUMREMAINING = TRACKREMAINING = 0;
  ALBUMTIMESPENDING = 1;
  TIMETEXT.Clear();
  TIMELABEL.Clear();
  ALBUMTITLE.Clear();
  ALBUMARTIST.Clear();
  SELECTEDPLAYLIST.Clear();
  LASTPLAYLIST.Clear();
  LOADEDALBUMKEY.Clear();
  PLAYLISTNAME.Clear();
  OPENCOUNT = 0;
  SAVEDFLAG = 0;
  UNSAVEDTOLD = {};
  runtime::QueueFree(&PLAYQUEUE);
  runtime::QueueFree(&PLAYLISTQUEUE);
  runtime::QueueFree(&TRACKQUEUE);
  runtime::QueueFree(&HOLDQUEUE);
  runtime::QueueFree(&TRACKLISTQUEUE);
}

}  // namespace vantora::app
