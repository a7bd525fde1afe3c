// SPDX-License-Identifier: GPL-3.0-or-later
// The player's settings in the section "CD Player Settings" of ZQ_CD.INI.
#pragma once

namespace vantora::app {

// Fills the settings from the section, or creates it on the first run.
void READSETTINGS();
// Writes the six settings keys.
void SAVESETTINGS();

}  // namespace vantora::app
