// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist editor: the album's title, artist and track titles, and its playlists built by
// dragging tracks, saved to ZQ_CD.INI with OK or Apply.
#pragma once

#include <cstdint>

namespace vantora::app {

// Runs the editor modally; returns 1 if it saved the album at least once, else 0.
int32_t EDITPLAYLISTS();

}  // namespace vantora::app
