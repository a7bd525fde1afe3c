// SPDX-License-Identifier: GPL-3.0-or-later
// Texts, fonts and colours as they cross between the runtime and Qt.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window_system.h"

namespace vantora::platform::qt {

// Texts cross this boundary in the platform's code page, which is UTF-8 here.
QString FromAnsi(std::string_view text);
std::string ToAnsi(const QString& text);

// "&Title" shows as "Title" where a plain label has no buddy to take the mnemonic.
QString WithoutMnemonics(const QString& text);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// A colour as the platform packs it: red in the low byte.
QColor ToColour(uint32_t colour);

// Metric-compatible stand-ins for the faces the definitions name.
void InstallFontSubstitutions();
// The font a definition describes; a face or size it leaves out comes from `base`, or else from
// the system's default window font.
QFont MakeFont(const NativeFont& font, const QFont* base);

}  // namespace vantora::platform::qt
