// SPDX-License-Identifier: GPL-3.0-or-later
// Window units to pixels and back: one rule for definitions, positions and sizes.
#pragma once

#include <QFont>
#include <QRect>
#include <cstdint>

#include "platform/window_system.h"

namespace vantora::platform::qt {

// a * b / c rounded to the nearest integer, halves away from zero; c == 0 gives 0.
int32_t MulDivRound(int64_t a, int64_t b, int64_t c);

// Window units are dialog units of the window's font: a unit across is a quarter of the font's
// average character width, a unit down an eighth of its character height. The average width is
// taken over the 52 letters A-Z and a-z, rounded as the platform rounds its base unit.
struct UnitScale {
  int baseX = 6;   // average character width in pixels
  int baseY = 13;  // character height in pixels

  static UnitScale FromFont(const QFont& font);

  int ToPixelsX(int32_t units) const { return MulDivRound(units, baseX, 4); }
  int ToPixelsY(int32_t units) const { return MulDivRound(units, baseY, 8); }
  int32_t ToUnitsX(int pixels) const { return MulDivRound(pixels, 4, baseX); }
  int32_t ToUnitsY(int pixels) const { return MulDivRound(pixels, 8, baseY); }
  Rect ToUnits(const QRect& pixels) const;
};

}  // namespace vantora::platform::qt
