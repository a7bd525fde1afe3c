// SPDX-License-Identifier: GPL-3.0-or-later
// The player's windows as the runtime tests create them: their variables in binding order, and
// queues of the player's record shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/field.h"
#include "runtime/queue.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace vantora::runtime::testing {

inline constexpr std::string_view kTag = "cdplayer$CDPLAYER";

// A queue of the player's shape: a 60-character title first, then a number.
struct TitleRecord {
  FixedText<60> TITLE;
  int32_t NUMBER = 0;
};
inline constexpr FieldDescriptor kTitleFields[] = {
    {"TITLE", DataType::Text, 0, 60, "S60"},
    {"NUMBER", DataType::Long, offsetof(TitleRecord, NUMBER), 4, ""},
};

struct TitleQueue {
  TitleRecord record;
  QueueDescriptor queue{&record, kTitleFields, nullptr, sizeof(TitleRecord)};

  void Append(std::string_view title, int32_t number = 0) {
    record.TITLE = title;
    record.NUMBER = number;
    QueueAppend(&queue);
  }
};

// The main window's variables, in the order the player binds them.
struct MainWindowVariables {
  int32_t STAYONTOP = 0;
  int32_t CONTROLPANEL = 0;
  uint8_t AUTOPLAY = 0;
  uint8_t LOOKUPTITLES = 0;
  FixedText<60> CURRENTTITLE;
  TitleQueue PLAYQUEUE;
  FixedText<60> ALBUMARTIST;
  FixedText<60> SELECTEDPLAYLIST;
  TitleQueue PLAYLISTQUEUE;
  FixedText<60> ALBUMTITLE;
  FixedText<40> STATUSTEXT;
  FixedText<5> TIMETEXT;
  FixedText<26> TIMELABEL;
};

// The playlist editor's variables: entries 3, 5, 7, list 6, drop list 9, list 10 and the disc's
// ID in 18.
struct EditorVariables {
  FixedText<60> ALBUMARTIST;
  FixedText<60> ALBUMTITLE;
  TitleQueue TRACKQUEUE;
  FixedText<60> TRACKTITLE;
  FixedText<60> PLAYLISTNAME;
  TitleQueue HOLDQUEUE;
  TitleQueue TRACKLISTQUEUE;
  FixedText<60> DISCID;
};

inline WindowHandle CreateMainWindow(MainWindowVariables& v) {
  return WINDOWCREATE(
      "P2$CDPLAYWIN", kTag,
      {&v.STAYONTOP, &v.CONTROLPANEL, &v.AUTOPLAY, &v.LOOKUPTITLES, &v.CURRENTTITLE,
       &v.PLAYQUEUE.queue, &v.ALBUMARTIST, &v.SELECTEDPLAYLIST, &v.PLAYLISTQUEUE.queue,
       &v.ALBUMTITLE, &v.STATUSTEXT, &v.TIMETEXT, &v.TIMELABEL});
}

inline WindowHandle CreateEditorWindow(EditorVariables& v) {
  return WINDOWCREATE("P22$EDITWINDOW", kTag,
                      {&v.ALBUMARTIST, &v.ALBUMTITLE, &v.TRACKQUEUE.queue, &v.TRACKTITLE,
                       &v.PLAYLISTNAME, &v.HOLDQUEUE.queue, &v.TRACKLISTQUEUE.queue, &v.DISCID});
}

}  // namespace vantora::runtime::testing
