// SPDX-License-Identifier: GPL-3.0-or-later
// The disc scan and the track table: the album key, and the pages of track buttons.
#include "app/disc.h"

#include <string>

#include "app/device.h"
#include "app/state.h"
#include "app/times.h"
#include "runtime/decimal.h"
#include "runtime/picture.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

constexpr int32_t kButtonsPerPage = 10;
constexpr int32_t kMaxDiscTracks = 99;

// Appends the time value of a length reply to the key, which keeps its first 24 characters.
void APPENDLENGTH(const std::string& command) {
  ALBUMKEY = std::string(ALBUMKEY.clipped()) + std::to_string(MSFTOTIME(MciCommand(command)));
}

}  // namespace

void SCANDISC() {
  PushText(MciCommand("status cdaudio number of tracks"));
  PopNumber();
  // A disc holds at most 99 tracks: anything more is the error number of a disc that cannot
  // be counted (a blank one), which has no tracks to offer.
  const int32_t count = DecPopInteger();
  TRACKCOUNT = static_cast<uint8_t>(count >= 0 && count <= kMaxDiscTracks ? count : 0);
  FORMAT(TRACKCOUNT, "N2");
  ALBUMKEY = PopText();
  APPENDLENGTH("status cdaudio length");
  APPENDLENGTH("status cdaudio length track 1");
  if (TRACKCOUNT > 1) {
    APPENDLENGTH("status cdaudio length track 2");
  }
  if (TRACKCOUNT > 2) {
    APPENDLENGTH("status cdaudio length track 3");
  }
  NEWDISC = 0;
  if (LASTALBUMKEY != ALBUMKEY) {
    NEWDISC = 1;
    LASTALBUMKEY.Assign(ALBUMKEY);
  }
}

void SHOWTRACKBUTTONS() {
  for (int32_t i = 1; i <= kButtonsPerPage; ++i) {
    const int32_t track = BUTTONPAGE * kButtonsPerPage + i;
    const int32_t button = kFirstTrackButton - 1 + i;
    if (track > TRACKCOUNT) {
      HIDECONTROLS(button, kLastTrackButton);
      return;
    }
    UNHIDECONTROLS(button);
    SetText(button, std::to_string(track));
  }
}

void RESETTRACKBUTTONS() {
  PAGECOUNT = static_cast<uint8_t>((TRACKCOUNT - 1) / kButtonsPerPage + 1);
  BUTTONPAGE = 0;
  if (PAGECOUNT == 1) {
    HIDECONTROLS(kNextPageButton);
  } else {
    UNHIDECONTROLS(kNextPageButton);
  }
  SHOWTRACKBUTTONS();
}

void NEXTBUTTONPAGE() {
  ++BUTTONPAGE;
  if (BUTTONPAGE >= PAGECOUNT) {
    BUTTONPAGE = 0;
  }
  SHOWTRACKBUTTONS();
}

}  // namespace vantora::app
