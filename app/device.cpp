// SPDX-License-Identifier: GPL-3.0-or-later
// The player's device commands: every exchange with the CD drive goes through MCICOMMAND.
#include "app/device.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "app/state.h"
#include "app/status.h"
#include "platform/cdaudio/command_device.h"
#include "platform/clock.h"
#include "runtime/text.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

constexpr size_t kCommandSize = 100;
constexpr size_t kReplySize = 100;
constexpr uint32_t kDeviceAlreadyOpen = 265;
// Timer periods in hundredths of a second: polling, and retrying a device that would not open.
constexpr int32_t kPollPeriod = 75;
constexpr int32_t kRetryPeriod = 200;
// An entry's end is looked for again this often while the drive still plays it, up to this late.
constexpr int64_t kEndRecheckMs = 3;
constexpr int64_t kEndLateMs = 100;

bool IsYes(const std::string& result) {
  return !CLIP(result).empty();
}

// Whether an entry plays alone, to its own end: in a custom playlist, or with Repeat: Track.
bool PLAYSALONE() {
  return QueuePosition(&PLAYLISTQUEUE) > 1 || REPEATMODE == 1;
}

// Where a play of this track ends: the start of the next track when the entry plays alone, else 0
// for the end of the disc.
int32_t ENTRYEND(int32_t track) {
  return PLAYSALONE() && track != QueueCount(&TRACKQUEUE) ? track + 1 : 0;
}

int64_t NowMs() {
  return platform::CurrentClock().Now().count();
}

// A length the device gives as mm:ss:ff, in frames; 0 for anything else.
int64_t MSFTOFRAMES(std::string_view reply) {
  int64_t fields[3] = {0, 0, 0};
  size_t field = 0;
  for (const char c : reply) {
    if (c == ':' && field < 2) {
      ++field;
    } else if (c >= '0' && c <= '9' && fields[field] < 100000) {
      fields[field] = fields[field] * 10 + (c - '0');
    } else {
      return 0;
    }
  }
  return field == 2 ? (fields[0] * 60 + fields[1]) * 75 + fields[2] : 0;
}

// The entry now playing ends `ms` from now: the poll that starts the next one is made then,
// rather than at the next tick, so that the next entry follows without a pause.
void EXPECTENTRYEND(int64_t ms) {
  ENTRYENDSAT = NowMs() + ms;
  SetExtraTick(MAINWINDOW, static_cast<int32_t>(std::min<int64_t>(ms + 1, INT32_MAX)));
}

void SWITCHPLAYER(void (*change)(int32_t, int32_t)) {
  change(11, 14);  // previous, play, pause, next
  change(17, 18);  // repeat, edit playlist
  change(16, 19);  // the track list, those two again and the first track button
  // The Options menu's "&Playlist" opens the editor as "&Edit Playlist" does: not without a disc.
  change(4, 0);
}

}  // namespace

void MCICOMMAND(std::string_view command, bool modeQuery) {
  if (modeQuery) {
    command = "status cdaudio mode";
  }
  std::array<char, kCommandSize> commandBuffer;
  AssignCString(commandBuffer.data(), commandBuffer.size(), command.data(), command.size());
  std::array<char, kReplySize> reply{};
  const uint32_t error = platform::mciSendStringA(commandBuffer.data(), reply.data(),
                                                  static_cast<uint32_t>(reply.size()), nullptr);
  if (error == 0) {
    const std::string_view text(reply.data());
    if (text == "true") {
      PushText("1");
    } else if (text == "false") {
      PushText("");
    } else {
      PushText(text);
    }
  } else if (error == kDeviceAlreadyOpen) {
    PushText("1");
  } else {
    PushText(std::to_string(error));
  }
}

std::string MciCommand(std::string_view command, bool modeQuery) {
  MCICOMMAND(command, modeQuery);
  return PopText();
}

void OPENCDDEVICE() {
  CANEJECT = 0;
  const std::string opened = MciCommand("open cdaudio shareable");
  if (CLIP(opened) != "1" && CLIP(opened) != "2") {
    STATUSTEXT = "CD Player Not Available";
    SetTimer(kRetryPeriod);
    DISABLEPLAYER();
    return;
  }
  DEVICEOPEN = 1;
  if (IsYes(MciCommand("capability cdaudio can eject"))) {
    CANEJECT = 1;
    ENABLECONTROLS(kDoorButton);
  } else {
    DISABLECONTROLS(kDoorButton);  // a drive that cannot open its door has no door button
  }
  ENABLEPLAYER();
  POLLSTATUS();
  SetTimer(kPollPeriod);
}

void DISABLEPLAYER() {
  SWITCHPLAYER(&DISABLECONTROLS);
}

void ENABLEPLAYER() {
  SWITCHPLAYER(&ENABLECONTROLS);
}

bool PLAYENTRY(int32_t position, int32_t start) {
  const int32_t count = QueueCount(&PLAYQUEUE);
  if (count == 0) {
    // An empty play order has nothing to play, and the last record must not replay.
    if (start != 0) {
      PLAYING = 0;
    }
    return false;
  }
  if (position > count) {
    position = 1;
  } else if (position < 1) {
    position = count;
  }
  QueueGet(&PLAYQUEUE, position);
  bool started = false;
  if (start != 0) {
    const int32_t track = PLAYRECORD.PLTRACKNUMBER;
    const int32_t end = ENTRYEND(track);
    MciCommand("set cdaudio time format tmsf");
    std::string play = "play cdaudio from " + std::to_string(track);
    if (end != 0) {
      play += " to " + std::to_string(end);
    }
    // An action command answers nothing when it works, its error number when it does not.
    started = CLIP(MciCommand(play)).empty();
    MciCommand("set cdaudio time format msf");
    // A refused play leaves the drive as it was, and so the player.
    if (started) {
      PLAYING = 1;
      PAUSED = 0;
      ENTRYENDSAT = 0;
      if (PLAYSALONE()) {
        // The drive reports the last track one frame short of the disc's end.
        const int64_t frames =
            MSFTOFRAMES(MciCommand("status cdaudio length track " + std::to_string(track))) +
            (end == 0 ? 1 : 0);
        if (frames > 1) {
          EXPECTENTRYEND((frames * 1000 + 74) / 75);
        }
      }
    }
  }
  CURRENTTITLE = PLAYRECORD.PLTRACKTITLE;
  return started;
}

void PAUSEPLAYER() {
  if (PAUSED != 0) {
    // A paused entry that plays alone resumes to its own end, as it would have played.
    QueueGet(&PLAYQUEUE, QueuePosition(&PLAYQUEUE));
    const int32_t end = ENTRYEND(PLAYRECORD.PLTRACKNUMBER);
    if (end == 0) {
      MciCommand("play cdaudio");
    } else {
      MciCommand("set cdaudio time format tmsf");
      MciCommand("play cdaudio to " + std::to_string(end));
      MciCommand("set cdaudio time format msf");
    }
    if (ENTRYLEFT > 0) {
      EXPECTENTRYEND(ENTRYLEFT);
    }
    ENTRYLEFT = 0;
    PAUSED = 0;
  } else {
    // A play that ended since the last tick is stepped on first, or the pause would hold the
    // end of an entry that has nothing left to resume: it holds the next entry, or finds the
    // player stopped.
    if (OLDMODE == "playing" && MciCommand("", true) != "playing") {
      POLLSTATUS();
      if (NEWMODE != "playing") {
        return;
      }
    }
    MciCommand("pause cdaudio");
    PAUSED = 1;
    ENTRYLEFT = ENTRYENDSAT != 0 ? std::max<int64_t>(ENTRYENDSAT - NowMs(), 0) : 0;
    ENTRYENDSAT = 0;
  }
}

void STOPPLAYER() {
  MciCommand("stop cdaudio");
  MciCommand("seek cdaudio to start");
  PLAYING = 0;
  PAUSED = 0;
  ENTRYENDSAT = ENTRYLEFT = 0;
  // A paused drive reports "stopped" as a stopped one does: forgetting the mode lets the next
  // poll show the stop.
  OLDMODE.Clear();
}

bool SEEKENTRY(int64_t frames) {
  if (PLAYING == 0 || QueueCount(&PLAYQUEUE) == 0 || frames < 0) {
    return false;
  }
  QueueGet(&PLAYQUEUE, QueuePosition(&PLAYQUEUE));
  const int32_t track = PLAYRECORD.PLTRACKNUMBER;
  // tmsf counts from the track's own start; its fields go up to 255 minutes.
  constexpr int64_t kFramesPerMinute = 75 * 60;
  if (frames >= 256 * kFramesPerMinute) {
    return false;
  }
  const std::string at = std::to_string(track) + ":" + std::to_string(frames / kFramesPerMinute) +
                         ":" + std::to_string(frames / 75 % 60) + ":" + std::to_string(frames % 75);
  const int32_t end = ENTRYEND(track);
  MciCommand("set cdaudio time format tmsf");
  std::string move;
  if (PAUSED != 0) {
    move = "seek cdaudio to " + at;
  } else {
    move = "play cdaudio from " + at;
    if (end != 0) {
      move += " to " + std::to_string(end);
    }
  }
  const bool moved = CLIP(MciCommand(move)).empty();
  MciCommand("set cdaudio time format msf");
  if (moved && PLAYSALONE()) {
    // The entry now ends sooner or later than the poll was set for.
    const int64_t length =
        MSFTOFRAMES(MciCommand("status cdaudio length track " + std::to_string(track))) +
        (end == 0 ? 1 : 0);
    const int64_t left = std::max<int64_t>(((length - frames) * 1000 + 74) / 75, 0);
    if (PAUSED != 0) {
      ENTRYLEFT = left;
    } else if (length > 1) {
      EXPECTENTRYEND(left);
    }
  }
  return moved;
}

void WATCHENTRYEND() {
  if (ENTRYENDSAT == 0) {
    return;
  }
  const int64_t left = ENTRYENDSAT - NowMs();
  if (NEWMODE != "playing" || PAUSED != 0 || left < -kEndLateMs) {
    ENTRYENDSAT = 0;
  } else if (left <= 0) {
    // A head that resumed from a whole frame ends a little after the moment worked out.
    SetExtraTick(MAINWINDOW, static_cast<int32_t>(kEndRecheckMs));
  }
}

}  // namespace vantora::app
