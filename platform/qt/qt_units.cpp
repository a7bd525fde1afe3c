// SPDX-License-Identifier: GPL-3.0-or-later
// Window units to pixels and back.
#include "platform/qt/qt_units.h"

#include <QFontMetrics>
#include <algorithm>

namespace vantora::platform::qt {

int32_t MulDivRound(int64_t a, int64_t b, int64_t c) {
  if (c == 0) {
    return 0;
  }
  const int64_t product = a * b;
  const bool negative = (product < 0) != (c < 0);
  const int64_t magnitude =
      ((product < 0 ? -product : product) + (c < 0 ? -c : c) / 2) / (c < 0 ? -c : c);
  const int64_t result = negative ? -magnitude : magnitude;
  return static_cast<int32_t>(std::clamp<int64_t>(result, INT32_MIN + 1, INT32_MAX));
}

UnitScale UnitScale::FromFont(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  UnitScale scale;
  scale.baseX = std::max(1, (letters / 26 + 1) / 2);
  scale.baseY = std::max(1, metrics.height());
  return scale;
}

Rect UnitScale::ToUnits(const QRect& pixels) const {
  return {ToUnitsX(pixels.x()), ToUnitsY(pixels.y()), ToUnitsX(pixels.width()),
          ToUnitsY(pixels.height())};
}

}  // namespace vantora::platform::qt
