// SPDX-License-Identifier: GPL-3.0-or-later
// The disc scan and the track table: the album key, and the pages of track buttons.
#pragma once

namespace vantora::app {

// Counts the tracks and builds ALBUMKEY from the count and a few lengths; NEWDISC tells whether
// the key differs from the last scan's.
void SCANDISC();
// Labels and shows the track buttons of BUTTONPAGE, hiding those past the last track.
void SHOWTRACKBUTTONS();
// Back to the first page of track buttons for TRACKCOUNT tracks; "+10" shows only when there
// are more pages than one.
void RESETTRACKBUTTONS();
// The next page of track buttons, back to the first after the last.
void NEXTBUTTONPAGE();

}  // namespace vantora::app
