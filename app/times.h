// SPDX-License-Identifier: GPL-3.0-or-later
// The time display: device replies as time values, time values as mm:ss, and the six modes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantora::app {

// The display modes are 1 to this many.
inline constexpr uint8_t kDisplayModes = 6;

// A device reply mm:ss:ff as a time value (frames dropped); minutes from 60 count as an hour.
// 00:00:00 is 0; a reply it cannot read as a time gives a meaningless value, -1 beyond 119:59.
int32_t MSFTOTIME(std::string_view reply);
// A time value, or a count of hundredths, as the five characters mm:ss (minutes may pass 59).
std::string TIMETOMMSS(int32_t value);
// Reads the current track and the play head and shows the time that DISPLAYMODE selects.
void SHOWTIMES();

}  // namespace vantora::app
