// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop's media keys and the session bus see of the player, without the bus. Reading
// the head's place and the tracks' times, and seeking, go to the device as the player's own do.
#include "desktop/media_keys.h"

#include <algorithm>
#include <array>

#include "app/device.h"
#include "app/state.h"
#include "app/times.h"
#include "runtime/errors.h"
#include "runtime/events.h"
#include "runtime/queue.h"
#include "runtime/window.h"

namespace vantora::desktop {
namespace {

constexpr std::array<std::string_view, 3> kLoopNames = {"None", "Track", "Playlist"};

}  // namespace

Playback PlaybackNow() {
  if (app::PLAYING == 0) {
    return Playback::Stopped;
  }
  return app::PAUSED != 0 ? Playback::Paused : Playback::Playing;
}

std::string_view PlaybackName(Playback playback) {
  switch (playback) {
    case Playback::Playing:
      return "Playing";
    case Playback::Paused:
      return "Paused";
    case Playback::Stopped:
      break;
  }
  return "Stopped";
}

int32_t ButtonFor(Command command, Playback playback) {
  switch (command) {
    case Command::Play:
      // The pause button resumes; the play button starts from stopped.
      if (playback == Playback::Stopped) {
        return app::kPlayButton;
      }
      return playback == Playback::Paused ? app::kPauseButton : 0;
    case Command::Pause:
      return playback == Playback::Playing ? app::kPauseButton : 0;
    case Command::PlayPause:
      return playback == Playback::Stopped ? app::kPlayButton : app::kPauseButton;
    case Command::Stop:
      // While playing or paused the play button stops.
      return playback == Playback::Stopped ? 0 : app::kPlayButton;
    case Command::Next:
      return app::kNextButton;
    case Command::Previous:
      return app::kPreviousButton;
  }
  return 0;
}

bool HaveMainWindow() {
  return app::MAINWINDOW != 0 && runtime::IsWindowOpen(app::MAINWINDOW);
}

bool Press(Command command) {
  const int32_t button = ButtonFor(command, PlaybackNow());
  if (button == 0 || !HaveMainWindow()) {
    return false;
  }
  runtime::POSTEVENTTO(app::MAINWINDOW, runtime::EVENT::Accepted, button);
  return true;
}

std::string_view LoopName(uint8_t repeatMode) {
  return repeatMode < kLoopNames.size() ? kLoopNames[repeatMode] : kLoopNames[0];
}

std::optional<uint8_t> RepeatModeOf(std::string_view loopName) {
  const auto found = std::find(kLoopNames.begin(), kLoopNames.end(), loopName);
  if (found == kLoopNames.end()) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(found - kLoopNames.begin());
}

int32_t RepeatClicks(uint8_t from, uint8_t to) {
  const int32_t modes = static_cast<int32_t>(kLoopNames.size());
  if (from >= modes || to >= modes) {
    return 0;
  }
  return (to - from + modes) % modes;
}

bool SetLoop(std::string_view loopName) {
  const std::optional<uint8_t> mode = RepeatModeOf(loopName);
  if (!mode || !HaveMainWindow()) {
    return false;
  }
  for (int32_t i = RepeatClicks(app::REPEATMODE, *mode); i > 0; --i) {
    runtime::POSTEVENTTO(app::MAINWINDOW, runtime::EVENT::Accepted, app::kRepeatButton);
  }
  return true;
}

std::optional<int64_t> FramesOf(std::string_view msf) {
  int64_t fields[3] = {};
  size_t field = 0;
  size_t digits = 0;
  for (const char c : msf) {
    if (c == ':' && digits > 0 && field < 2) {
      ++field;
      digits = 0;
    } else if (c >= '0' && c <= '9' && digits < 3) {
      fields[field] = fields[field] * 10 + (c - '0');
      ++digits;
    } else {
      return std::nullopt;
    }
  }
  if (field != 2 || digits == 0 || fields[1] > 59 || fields[2] > 74) {
    return std::nullopt;
  }
  return (fields[0] * 60 + fields[1]) * 75 + fields[2];
}

namespace {

// What the device says of one track, read once per disc: its start on the disc and its length.
struct TrackTimes {
  std::string album;
  int32_t track = 0;
  std::optional<int64_t> start;
  std::optional<int64_t> length;
};

const TrackTimes& TimesOf(int32_t track) {
  static TrackTimes times;
  const std::string album = app::ALBUMKEY.str();
  if (times.track != track || times.album != album || !times.start || !times.length) {
    const std::string number = std::to_string(track);
    times = {album, track, FramesOf(app::MciCommand("status cdaudio position track " + number)),
             FramesOf(app::MciCommand("status cdaudio length track " + number))};
  }
  return times;
}

// The play order's current entry, as the record buffer holds it after reading it.
const app::PlayRecord* CurrentEntry() {
  const int32_t entry = runtime::QueuePosition(&app::PLAYQUEUE);
  if (entry < 1 || entry > runtime::QueueCount(&app::PLAYQUEUE)) {
    return nullptr;
  }
  runtime::QueueGet(&app::PLAYQUEUE, entry);
  return runtime::LastError() == 0 ? &app::PLAYRECORD : nullptr;
}

}  // namespace

bool HaveDisc() {
  return HaveMainWindow() && app::DEVICEOPEN != 0 &&
         (app::NEWMODE == "playing" || app::NEWMODE == "stopped" || app::NEWMODE == "seeking") &&
         runtime::QueueCount(&app::PLAYQUEUE) > 0;
}

Playback PlaybackShown() {
  return HaveDisc() ? PlaybackNow() : Playback::Stopped;
}

Track TrackNow() {
  Track track;
  const app::PlayRecord* entry = HaveDisc() ? CurrentEntry() : nullptr;
  if (entry == nullptr || entry->PLTRACKNUMBER <= 0) {
    return track;
  }
  track.number = entry->PLTRACKNUMBER;
  track.title = entry->PLTRACKTITLE.str();
  track.album = app::ALBUMTITLE.str();
  track.artist = app::ALBUMARTIST.str();
  track.lengthMicroseconds = MicrosecondsOf(TimesOf(track.number).length.value_or(0));
  return track;
}

int64_t PositionMicroseconds() {
  if (PlaybackShown() == Playback::Stopped) {
    return 0;
  }
  const Track track = TrackNow();
  if (track.number == 0) {
    return 0;
  }
  const TrackTimes& times = TimesOf(track.number);
  const std::optional<int64_t> head = FramesOf(app::MciCommand("status cdaudio position"));
  if (!head || !times.start || !times.length) {
    return 0;
  }
  return MicrosecondsOf(std::clamp<int64_t>(*head - *times.start, 0, *times.length));
}

bool CanStep(int32_t step) {
  if (!HaveDisc()) {
    return false;
  }
  if (app::REPEATMODE != 0) {
    return true;
  }
  const int32_t to = runtime::QueuePosition(&app::PLAYQUEUE) + step;
  return to >= 1 && to <= runtime::QueueCount(&app::PLAYQUEUE);
}

bool Step(int32_t step) {
  if (!CanStep(step)) {
    return false;
  }
  if (PlaybackNow() != Playback::Paused) {
    // A play goes on with the entry, a stop only selects it: what the button does.
    return Press(step > 0 ? Command::Next : Command::Previous);
  }
  // The button would play it; the pause holds the head at the entry's start instead.
  app::PLAYENTRY(runtime::QueuePosition(&app::PLAYQUEUE) + step, 0);
  const bool moved = app::SEEKENTRY(0);
  app::SHOWTIMES();
  app::STATUSTEXT = "Paused on track " + std::to_string(app::CURRENTTRACK);
  return moved;
}

bool SeekTo(int64_t microseconds) {
  if (PlaybackShown() == Playback::Stopped || microseconds < 0) {
    return false;
  }
  const Track track = TrackNow();
  if (track.number == 0 || microseconds > track.lengthMicroseconds) {
    return false;
  }
  return app::SEEKENTRY(microseconds * 75 / 1'000'000);
}

}  // namespace vantora::desktop
