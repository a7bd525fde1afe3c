// SPDX-License-Identifier: GPL-3.0-or-later
// The time display: device replies as time values, time values as mm:ss, and the six modes.
#include "app/times.h"

#include <algorithm>
#include <iterator>

#include "app/album.h"
#include "app/device.h"
#include "app/state.h"
#include "runtime/decimal.h"
#include "runtime/errors.h"
#include "runtime/picture.h"
#include "runtime/queue.h"
#include "runtime/text.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

int32_t ReadField(const char* field, size_t length, std::string_view picture) {
  DeformatField(field, length, picture);
  return DecPopInteger();
}

void WriteField(int32_t value, char* field, size_t length, std::string_view picture) {
  DecPushInteger(value);
  FormatToField(picture, field, length);
}

int32_t ReplyNumber(std::string_view reply) {
  PushText(reply);
  PopNumber();
  return DecPopInteger();
}

int32_t TimeOf(const std::string& command) {
  return MSFTOTIME(MciCommand(command));
}

struct Mode {
  const char* label;
  int32_t (*value)();
};

// The display modes, 1 to kDisplayModes.
constexpr Mode kModes[kDisplayModes] = {
    {"Album Elapsed", [] { return ALBUMELAPSED; }},
    {"Album Remaining", [] { return ALBUMREMAINING; }},
    {"Album Total", [] { return ALBUMLENGTH; }},
    {"Track Elapsed", [] { return ALBUMELAPSED - TRACKSTART + ALBUMSTART; }},
    {"Track Remaining", [] { return TRACKREMAINING; }},
    {"Track Total", [] { return TRACKLENGTH; }},
};

// In album order one play runs on from track to track: the current entry follows the track
// being heard, so the end of the disc, previous and next all start from it. With Repeat: Track
// the heard track starts again once the device has moved on to the next one.
void FOLLOWTRACK() {
  if (PLAYING == 0 || PAUSED != 0 || QueuePosition(&PLAYLISTQUEUE) > 1) {
    return;
  }
  const int32_t entry = QueuePosition(&PLAYQUEUE);
  if (CURRENTTRACK < 1 || CURRENTTRACK > QueueCount(&PLAYQUEUE) || CURRENTTRACK == entry) {
    return;
  }
  if (REPEATMODE == 1 && CURRENTTRACK == entry + 1) {
    PLAYENTRY(entry, 1);
    CURRENTTRACK = entry;
    return;
  }
  QueueGet(&PLAYQUEUE, CURRENTTRACK);
}

}  // namespace

int32_t MSFTOTIME(std::string_view reply) {
  AssignFixed(reinterpret_cast<char*>(&MSFSTAMP), sizeof MSFSTAMP, reply.data(),
              std::min<size_t>(reply.size(), sizeof MSFSTAMP));
  int32_t minutes = ReadField(MSFSTAMP.MSFSTAMPMINUTES, 3, "P##:P");
  const int32_t seconds = ReadField(MSFSTAMP.MSFSTAMPSECONDS, 3, "P##:P");
  int32_t hours = 0;
  if (minutes > 59) {
    hours = 1;
    minutes -= 60;
  }
  WriteField(hours, CONSTRUCT.CONSTRUCTHOURS, 3, "P##:P");
  WriteField(minutes, CONSTRUCT.CONSTRUCTMINUTES, 3, "P##:P");
  WriteField(seconds, CONSTRUCT.CONSTRUCTSECONDS, 2, "P##P");
  return ReadField(reinterpret_cast<const char*>(&CONSTRUCT), sizeof CONSTRUCT, "T4");
}

std::string TIMETOMMSS(int32_t value) {
  DecPushInteger(value);
  FormatToField("T4", reinterpret_cast<char*>(&CONSTRUCT), sizeof CONSTRUCT);
  const int32_t hours = ReadField(CONSTRUCT.CONSTRUCTHOURS, 3, "P##:P");
  const int32_t minutes = ReadField(CONSTRUCT.CONSTRUCTMINUTES, 3, "P##:P");
  WriteField(hours * 60 + minutes, CONSTRUCT.CONSTRUCTMINUTES, 3, "P##:P");
  return std::string(CONSTRUCT.RETURNGROUP());
}

void SHOWTIMES() {
  CURRENTTRACK = ReplyNumber(MciCommand("status cdaudio current track"));
  if (ALBUMTIMESPENDING != 0) {
    ALBUMSTART = TimeOf("status cdaudio start position");
    ALBUMLENGTH = TimeOf("status cdaudio length");
    ALBUMTIMESPENDING = 0;
    // The disc's album is loaded when it is scanned; loading it again here would throw away the
    // playlist and repeat mode chosen since.
    if (ALBUMKEY != LOADEDALBUMKEY) {
      LOADALBUM();
    }
  }
  if (CURRENTTRACK != SHOWNTRACK) {
    FOLLOWTRACK();
    const std::string track = std::to_string(CURRENTTRACK);
    TRACKSTART = TimeOf("status cdaudio position track " + track);
    TRACKLENGTH = TimeOf("status cdaudio length track " + track);
    SHOWNTRACK = CURRENTTRACK;
    // In album order the track heard is the entry. A custom playlist's entry is the one
    // PLAYENTRY took: the track under a rewound head may be no entry of it at all.
    QueueGet(&TRACKQUEUE, CURRENTTRACK);
    if (LastError() == 0 && QueuePosition(&PLAYLISTQUEUE) <= 1) {
      CURRENTTITLE = TRACKRECORD.TRACKTITLE;
    }
    REFRESHCONTROLS(0, 0);
  }
  ALBUMELAPSED = TimeOf("status cdaudio position") - ALBUMSTART;
  ALBUMREMAINING = ALBUMLENGTH - ALBUMELAPSED;
  // What is left of the track is its length less what the track-elapsed mode shows, so the
  // two add up to the track.
  TRACKREMAINING = TRACKLENGTH - (ALBUMELAPSED - TRACKSTART + ALBUMSTART);
  if (DISPLAYMODE < 1 || DISPLAYMODE > std::size(kModes)) {
    return;
  }
  const Mode& mode = kModes[DISPLAYMODE - 1];
  TIMETEXT = TIMETOMMSS(mode.value());
  TIMELABEL = mode.label;
}

}  // namespace vantora::app
