// SPDX-License-Identifier: GPL-3.0-or-later
// The player's settings in the section "CD Player Settings" of ZQ_CD.INI.
#include "app/settings.h"

#include <algorithm>
#include <string>
#include <utility>

#include "app/state.h"
#include "app/times.h"
#include "runtime/decimal.h"
#include "runtime/ini.h"
#include "runtime/value_stack.h"

namespace vantora::app {
namespace {

using namespace runtime;

// GETINI of one settings key, left on the value stack.
void GetSetting(const char* key, const char* fallback) {
  PushCString(kIniFile);
  PushCString(fallback);
  PushCString(key);
  PushCString(kSettingsSection);
  GETINI();
}

int32_t ReadNumber(const char* key, const char* fallback = "") {
  GetSetting(key, fallback);
  PopNumber();
  return DecPopInteger();
}

void WriteText(const char* key, const char* value) {
  PushCString(kIniFile);
  PushCString(value);
  PushCString(key);
  PushCString(kSettingsSection);
  WRITEINI();
}

void WriteNumber(const char* key, int32_t value) {
  PushCString(kIniFile);
  PushInteger(value);
  PushCString(key);
  PushCString(kSettingsSection);
  WRITEINI();
}

// The settings as they were last read or written, so that a change reaches the file when it
// is made: a session that ends by taking the display away ends the program without a word.
struct Saved {
  int32_t x, y, stayOnTop, controlPanel, autoPlay, lookUp, displayMode, volume;
  bool operator==(const Saved&) const = default;
};
Saved& LastSaved() {
  static Saved saved{};
  return saved;
}
Saved Current() {
  return {WINDOWX, WINDOWY, STAYONTOP, CONTROLPANEL, AUTOPLAY, LOOKUPTITLES, DISPLAYMODE, VOLUME};
}

std::function<void(int32_t)>& VolumeHook() {
  static std::function<void(int32_t)> hook;
  return hook;
}

}  // namespace

void READSETTINGS() {
  SETTINGSFOUND = 0;
  GetSetting("Product", "");
  ClipTop();
  if (PopText().empty()) {
    WriteText("Product", kProduct);
    WriteText("Copyright", kCopyright);
    LastSaved() = Current();
    APPLYVOLUME();
    return;
  }
  SETTINGSFOUND = 1;
  STAYONTOP = ReadNumber("Stay On Top");
  CONTROLPANEL = ReadNumber("Control Panel");
  AUTOPLAY = static_cast<uint8_t>(ReadNumber("Auto Play"));
  LOOKUPTITLES = static_cast<uint8_t>(ReadNumber("Look Up Titles") != 0);
  DISPLAYMODE = static_cast<uint8_t>(ReadNumber("Display Mode", "1"));
  // A mode the display does not know would leave it blank until it had been clicked round the
  // whole byte; a hand-edited file gets the first mode, as a missing key does.
  if (DISPLAYMODE < 1 || DISPLAYMODE > kDisplayModes) {
    DISPLAYMODE = 1;
  }
  STARTX = ReadNumber("Window X");
  STARTY = ReadNumber("Window Y");
  // The position to save starts as the one read: a player closed without being moved keeps it.
  WINDOWX = STARTX;
  WINDOWY = STARTY;
  // A hand-edited volume out of range is taken at its nearest end.
  VOLUME = std::clamp(ReadNumber("Volume", "100"), 0, 100);
  LastSaved() = Current();
  APPLYVOLUME();
}

void SAVESETTINGS() {
  WriteNumber("Window X", WINDOWX);
  WriteNumber("Window Y", WINDOWY);
  WriteNumber("Stay On Top", STAYONTOP);
  WriteNumber("Control Panel", CONTROLPANEL);
  WriteNumber("Auto Play", AUTOPLAY);
  WriteNumber("Look Up Titles", LOOKUPTITLES);
  WriteNumber("Display Mode", DISPLAYMODE);
  WriteNumber("Volume", VOLUME);
  LastSaved() = Current();
}

void SAVECHANGEDSETTINGS(bool withPosition) {
  Saved now = Current();
  if (!withPosition) {
    // A drag reports every step; the place is written at the next tick instead.
    now.x = LastSaved().x;
    now.y = LastSaved().y;
  }
  if (!(now == LastSaved()))
    SAVESETTINGS();
}

void SetVolumeHook(std::function<void(int32_t)> hook) {
  VolumeHook() = std::move(hook);
}

void APPLYVOLUME() {
  if (VolumeHook()) {
    VolumeHook()(VOLUME);
  }
}

}  // namespace vantora::app
