// SPDX-License-Identifier: GPL-3.0-or-later
// The player's settings in the section "CD Player Settings" of ZQ_CD.INI.
#pragma once

#include <cstdint>
#include <functional>

namespace vantora::app {

// Fills the settings from the section, or creates it on the first run.
void READSETTINGS();
// Writes the settings keys.
void SAVESETTINGS();
// Writes the six keys when a setting changed since they were last read or written; a changed
// window position counts only `withPosition`.
void SAVECHANGEDSETTINGS(bool withPosition);

// Where VOLUME is heard: the sound output, when there is one. APPLYVOLUME hands it VOLUME; the
// settings do so once they are read.
void SetVolumeHook(std::function<void(int32_t)> hook);
void APPLYVOLUME();

}  // namespace vantora::app
