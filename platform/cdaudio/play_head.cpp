// SPDX-License-Identifier: GPL-3.0-or-later
// How a drive's play head moves: the rules every drive keeps, worked on the head of a DriveState.
#include "platform/cdaudio/play_head.h"

#include <algorithm>
#include <string>

namespace vantora::platform::cdaudio {

void RestHead(DriveState& state, Frames place, ClockTime now) {
  state.head = Head::Stopped;
  state.position = place;
  state.playEnd = place;
  state.moment = now;
}

void SettleHead(DriveState& state, const DriveView& view, ClockTime now, std::string_view domain) {
  if (state.clockDomain != domain) {
    state.readyAt = now;
  }
  state.clockDomain = std::string(domain);
  if (state.head != view.head || state.head == Head::Playing) {
    state.head = view.head;
    state.position = view.position;
    state.moment = now;
  }
}

DriveStatus StartPlay(DriveState& state, Frames from, Frames to, ClockTime now) {
  const Toc& toc = state.disc->toc;
  if (from < toc.Start(TrackNumber{1}) || to < from || to > toc.LeadOut()) {
    return DriveStatus::Fail(DriveError::OutOfRange, "the play range lies outside the disc");
  }
  const TrackNumber first = toc.TrackAt(from);
  if (toc.Kind(first) == TrackKind::Data) {
    return DriveStatus::Fail(DriveError::Hardware,
                             "track " + std::to_string(first.value) + " holds data");
  }
  // Sound ends where data begins.
  Frames end = to;
  for (int32_t t = first.value + 1; t <= toc.TrackCount(); ++t) {
    if (toc.Kind(TrackNumber{t}) == TrackKind::Data) {
      end = std::min(end, toc.Start(TrackNumber{t}));
      break;
    }
  }
  RestHead(state, from, now);
  if (from < end) {
    state.head = Head::Playing;
    state.playEnd = end;
  }
  return DriveStatus::Ok({});
}

DriveMode ModeOf(const DriveView& view) {
  if (view.tray == Tray::Open) {
    return DriveMode::Open;
  }
  if (!view.Ready()) {
    return DriveMode::NotReady;
  }
  switch (view.head) {
    case Head::Playing:
      return DriveMode::Playing;
    case Head::Paused:
      return DriveMode::Paused;
    case Head::Stopped:
      break;
  }
  return DriveMode::Stopped;
}

DriveStatus SeekHead(DriveState& state, Frames to, ClockTime now) {
  const Toc& toc = state.disc->toc;
  if (to < toc.Start(TrackNumber{1}) || to > toc.LeadOut()) {
    return DriveStatus::Fail(DriveError::OutOfRange, "the place lies outside the disc");
  }
  RestHead(state, to, now);
  return DriveStatus::Ok({});
}

}  // namespace vantora::platform::cdaudio
