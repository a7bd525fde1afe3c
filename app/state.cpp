// The player's program-wide state.
#include "app/state.h"

namespace vantora::app {

void ResetState() {
  STAYONTOP = 0;
  CONTROLPANEL = 0;
  AUTOPLAY = 0;
  DISPLAYMODE = 1;
  STARTX = STARTY = 0;
  WINDOWX = WINDOWY = 0;
  SETTINGSFOUND = 0;
  MAINWINDOW = 0;
  MAINHANDLE = 0;
  PREVPROC = 0;
  CAPTIONMODE = 0;
  LASTCONTROLPANEL = 0;
  LASTSTAYONTOP = 0;
  DEVICEOPEN = 0;
  CANEJECT = 0;
  PLAYING = 0;
  PAUSED = 0;
  STATUSTEXT.Clear();
  CURRENTTITLE.Clear();
  TIMETEXT.Clear();
  TIMELABEL.Clear();
  ALBUMTITLE.Clear();
  ALBUMARTIST.Clear();
  SELECTEDPLAYLIST.Clear();
  runtime::QueueFree(&PLAYQUEUE);
  runtime::QueueFree(&PLAYLISTQUEUE);
  runtime::QueueFree(&TRACKQUEUE);
}

}  // namespace vantora::app
