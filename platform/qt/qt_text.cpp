// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qt_text.h"

#include <QStringList>
#include <algorithm>

namespace vantora::platform::qt {
namespace {

constexpr const char* kDefaultFace = "MS Sans Serif";
constexpr int kDefaultPointSize = 8;

}  // namespace

QString FromAnsi(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToAnsi(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString WithoutMnemonics(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
      ++i;
    }
    out.append(text[i]);
  }
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

QColor ToColour(uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

void InstallFontSubstitutions() {
  const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                            QStringLiteral("DejaVu Sans")};
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
  QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
}

QFont MakeFont(const NativeFont& font, const QFont* base) {
  QFont out = base != nullptr ? *base : QFont();
  if (!font.face.empty() || base == nullptr) {
    out.setFamily(font.face.empty() ? QString::fromLatin1(kDefaultFace) : FromAnsi(font.face));
  }
  if (font.pointSize > 0) {
    out.setPointSize(font.pointSize);
  } else if (base == nullptr) {
    out.setPointSize(kDefaultPointSize);
  }
  out.setWeight(
      static_cast<QFont::Weight>(std::clamp(font.weight <= 0 ? 400 : font.weight, 1, 1000)));
  return out;
}

}  // namespace vantora::platform::qt
