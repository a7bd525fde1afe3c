// SPDX-License-Identifier: GPL-3.0-or-later
// The album and playlist store: one section of ZQ_CD.INI per album, named by its key.
#pragma once

#include <cstdint>

#include "app/names.h"

namespace vantora::app {

// Reads the album of ALBUMKEY into memory and loads its "Album Order". An album the store has no
// title for takes the names its disc carries (stored as if saved), else is a new album, and the
// look-up is asked about it. Loading the album already in memory again keeps the playlist and
// repeat mode in use where the album still has them.
void LOADALBUM();
// Whether the store has a title for the album of ALBUMKEY.
bool ALBUMHASNAMES();
// Writes names to the album's section, as the editor saves them, unless the store has a title for
// it already (what the user named stays). True when written.
bool STOREALBUMNAMES(const FoundNames& names);
// Rebuilds the play order from the current PLAYLISTQUEUE record: the disc's tracks for "Album
// Order", else the stored playlist's tracks; cells naming no track of the disc are skipped.
void LOADPLAYLIST();
// Appends the stored playlists to HOLDQUEUE; returns how many are stored.
int32_t READPLAYLISTS();
// Writes the album's title, artist, track titles and HOLDQUEUE's playlists; sets SAVEDFLAG when
// the file took all of it. False when it refused some: the changes are kept to be written once it
// allows, and the album counts as not saved.
bool SAVEALBUM();
// Writes TRACKLISTQUEUE into the cells of the current HOLDQUEUE record and stores it back.
void PACKPLAYLIST();
// Rebuilds TRACKLISTQUEUE from the cells of the current HOLDQUEUE record.
void UNPACKPLAYLIST();
// The repeat button's text for REPEATMODE.
void SHOWREPEATMODE();

}  // namespace vantora::app
