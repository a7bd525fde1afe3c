// SPDX-License-Identifier: GPL-3.0-or-later
// The album the album store and editor tests share: "Morning Set" by Various, twelve tracks of
// which track 2 is titled "Opening".
#pragma once

#include <string>

#include "app/state.h"
#include "runtime/queue.h"

namespace vantora::app::testing {

// 12 tracks, 45:12:40 as the drive reports it; tracks 1 to 3 last 4:05, 3:30 and 5:00.
inline std::string MorningDisc() {
  std::string text = "vantora-disc 1\ntracks 12\n";
  text += "track 1 04:05:00\ntrack 2 03:30:00\ntrack 3 05:00:00\n";
  for (int n = 4; n <= 11; ++n) {
    text += "track " + std::to_string(n) + " 03:00:00\n";
  }
  return text + "track 12 08:37:41\n";
}

// The disc's album key: its track count and the lengths of the disc and its first three tracks.
inline const std::string kMorningKey = "12271201245012100130001";

// The album's section in the INI file, ending in these playlist lines.
inline std::string MorningSection(const std::string& playlists) {
  std::string text = "[" + kMorningKey + "]\r\nTitle=Morning Set\r\nArtist=Various\r\n";
  for (int n = 1; n <= 12; ++n) {
    text += "Track " + std::to_string(n) + "=" +
            (n == 2 ? "Opening" : "Track " + std::to_string(n)) + "\r\n";
  }
  return text + playlists;
}

// The album in the player's state, as if the disc had been scanned and its album loaded.
inline void HoldMorningSet() {
  TRACKCOUNT = 12;
  ALBUMKEY = kMorningKey;
  ALBUMTITLE = "Morning Set";
  ALBUMARTIST = "Various";
  for (int n = 1; n <= 12; ++n) {
    TRACKRECORD.TRACKTITLE = n == 2 ? "Opening" : "Track " + std::to_string(n);
    runtime::QueueAppend(&TRACKQUEUE);
  }
}

}  // namespace vantora::app::testing
