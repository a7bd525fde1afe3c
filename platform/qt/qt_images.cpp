// SPDX-License-Identifier: GPL-3.0-or-later
// Icons and images found by the names the runtime uses.
#include "platform/qt/qt_images.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/resources/resources.h"

namespace vantora::platform::qt {
namespace {

uint32_t Word(std::string_view bytes, size_t at) {
  return static_cast<uint8_t>(bytes[at]) |
         (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8);
}

// "name[k]" -> "name", k; a malformed suffix stays part of the name.
std::string_view SplitIndex(std::string_view name, int& index) {
  index = -1;
  if (name.size() < 3 || name.back() != ']') {
    return name;
  }
  const size_t open = name.rfind('[');
  if (open == std::string_view::npos || open + 2 > name.size() - 1) {
    return name;
  }
  int value = 0;
  for (size_t i = open + 1; i + 1 < name.size(); ++i) {
    const char c = name[i];
    if (c < '0' || c > '9' || value > 10000) {
      return name;
    }
    value = value * 10 + (c - '0');
  }
  index = value;
  return name.substr(0, open);
}

std::optional<QByteArray> Bytes(const IconSource& source) {
  switch (source.kind) {
    case IconSource::Kind::ResourceId: {
      // Numeric resources are stored under "#n", the platform's spelling of a numeric name.
      const auto found = FindResource(kImageResourceType, "#" + std::to_string(source.id));
      if (found) {
        return QByteArray(reinterpret_cast<const char*>(found->data()),
                          static_cast<qsizetype>(found->size()));
      }
      return std::nullopt;
    }
    case IconSource::Kind::Resource:
    case IconSource::Kind::File: {
      // A plain file name finds the program's own copy first, as the definitions name them so.
      const std::string resource =
          source.kind == IconSource::Kind::File ? ResourceNameForFile(source.name) : source.name;
      if (const auto found = FindResource(kImageResourceType, resource)) {
        return QByteArray(reinterpret_cast<const char*>(found->data()),
                          static_cast<qsizetype>(found->size()));
      }
      if (source.kind == IconSource::Kind::Resource) {
        return std::nullopt;
      }
      QFile file(
          QString::fromLocal8Bit(source.name.data(), static_cast<qsizetype>(source.name.size())));
      if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
      }
      return file.readAll();
    }
    case IconSource::Kind::None:
    case IconSource::Kind::Stock:
      break;
  }
  return std::nullopt;
}

uint32_t Long(const QByteArray& bytes, qsizetype at) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.constData()) + at;
  return b[0] | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

uint16_t Short(const QByteArray& bytes, qsizetype at) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.constData()) + at;
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

// A device-independent bitmap of 24 or 32 bits a pixel, uncompressed, as the program's own images
// are stored: its header at `at`, its rows (bottom-up unless the height is negative) at `pixels`,
// all before `end`. An icon's is 32 bits with alpha (its height counts the mask below, which such
// an icon does not need); a plain bitmap's fourth byte is unused. Null for any other kind, which
// Qt's reader then reads.
QImage DecodeBitmap(const QByteArray& bytes, qsizetype at, qsizetype pixels, qsizetype end,
                    bool icon) {
  if (at < 0 || end > bytes.size() || at + 40 > end) {
    return {};
  }
  const auto width = static_cast<int32_t>(Long(bytes, at + 4));
  const int64_t stored = static_cast<int32_t>(Long(bytes, at + 8));
  const bool topDown = !icon && stored < 0;
  const int64_t height = icon ? stored / 2 : std::abs(stored);
  const int bits = Short(bytes, at + 14);
  if (Long(bytes, at) < 40 || width < 1 || width > 4096 || height < 1 || height > 4096 ||
      (bits != 24 && bits != 32) || (icon && bits != 32) || Long(bytes, at + 16) != 0) {
    return {};
  }
  const qsizetype stride = (qsizetype{width} * bits / 8 + 3) / 4 * 4;
  if (pixels < at || pixels + stride * height > end) {
    return {};
  }
  // Premultiplied, as a pixmap keeps it, so that making one needs no converted copy.
  QImage image(width, static_cast<int>(height),
               icon ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  bool anyAlpha = false;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const uint8_t*>(bytes.constData()) + pixels +
                      stride * (topDown ? y : height - 1 - y);
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = row + x * bits / 8;
      const int alpha = bits == 32 && icon ? p[3] : 0xFF;
      anyAlpha = anyAlpha || alpha != 0;
      line[x] = qPremultiply(qRgba(p[2], p[1], p[0], alpha));
    }
  }
  // An icon without alpha of its own needs its mask; Qt's reader applies it.
  if (icon && !anyAlpha) {
    return {};
  }
  return image;
}

// The images of an icon file whose images are 24- or 32-bit bitmaps or PNG, as the program's own
// are, read here so that starting the player scans and loads no image plugin; nullopt for any
// other icon.
std::optional<std::vector<QImage>> DecodeIcon(const QByteArray& bytes, int index) {
  if (bytes.size() < 6 || Short(bytes, 0) != 0 || Short(bytes, 2) != 1) {
    return std::nullopt;
  }
  const int count = Short(bytes, 4);
  if (count == 0 || bytes.size() < 6 + qsizetype{count} * 16) {
    return std::nullopt;
  }
  std::vector<QImage> images;
  for (int i = 0; i < count; ++i) {
    if (index >= 0 && i != index) {
      continue;
    }
    const qsizetype size = Long(bytes, 6 + i * 16 + 8);
    const qsizetype at = Long(bytes, 6 + i * 16 + 12);
    QImage image;
    if (at >= 0 && size > 8 && at <= bytes.size() - size &&
        bytes.mid(at, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8)) {
      image = QImage::fromData(bytes.mid(at, size), "PNG");
    } else {
      image = at >= 0 && size >= 40 && at <= bytes.size() - size
                  ? DecodeBitmap(bytes, at, at + Long(bytes, at), at + size, true)
                  : QImage();
    }
    if (image.isNull()) {
      return std::nullopt;
    }
    images.push_back(std::move(image));
  }
  return images;
}

// The format the bytes are in, for the formats Qt reads itself or its plugins read: a reader told
// the format loads no plugin just to ask whether it can read them.
QByteArray FormatOf(const QByteArray& bytes) {
  if (bytes.startsWith("BM")) {
    return "bmp";
  }
  if (bytes.startsWith("\x89PNG")) {
    return "png";
  }
  if (bytes.startsWith(QByteArray("\0\0\1\0", 4))) {
    return "ico";
  }
  if (bytes.startsWith("GIF8")) {
    return "gif";
  }
  return {};
}

// Every image of the bytes, or only the index-th one.
std::vector<QImage> Decode(QByteArray bytes, int index) {
  if (std::optional<std::vector<QImage>> icon = DecodeIcon(bytes, index)) {
    return std::move(*icon);
  }
  if (bytes.startsWith("BM") && bytes.size() >= 54 && index <= 0) {
    if (QImage image = DecodeBitmap(bytes, 14, Long(bytes, 10), bytes.size(), false);
        !image.isNull()) {
      return {std::move(image)};
    }
  }
  std::vector<QImage> images;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  const QByteArray format = FormatOf(bytes);
  QImageReader reader(&buffer, format);
  // Told the format, the reader asks no other plugin whether it reads it.
  reader.setAutoDetectImageFormat(format.isEmpty());
  for (int i = 0;; ++i) {
    QImage image = reader.read();
    if (image.isNull()) {
      break;
    }
    if (index < 0 || index == i) {
      images.push_back(std::move(image));
    }
    if ((index >= 0 && i >= index) || !reader.jumpToNextImage()) {
      break;
    }
  }
  return images;
}

}  // namespace

IconSource ParseIconName(std::string_view name) {
  IconSource source;
  if (name.empty()) {
    return source;
  }
  const auto first = static_cast<uint8_t>(name[0]);
  if (name.size() >= 4 && first == 0xFF && (name[1] == '\x01' || name[1] == '\x02')) {
    const uint32_t plusOne = Word(name, 2);
    if (plusOne == 0) {
      return source;
    }
    source.kind = name[1] == '\x01' ? IconSource::Kind::Stock : IconSource::Kind::ResourceId;
    source.id = plusOne - 1;
    return source;
  }
  if (name[0] == '~') {
    source.kind = IconSource::Kind::Resource;
    source.name = ResourceNameForFile(name);
    return source;
  }
  int index = -1;
  const std::string_view file = SplitIndex(name, index);
  if (file.empty()) {
    return source;
  }
  source.kind = IconSource::Kind::File;
  source.name = std::string(file);
  source.index = index;
  return source;
}

std::optional<QStyle::StandardPixmap> StockPixmap(uint32_t id) {
  switch (id) {
    case 0x7F00:  // application
    case 0x7F05:  // the system's logo
      return QStyle::SP_DesktopIcon;
    case 0x7F01:  // hand (error)
      return QStyle::SP_MessageBoxCritical;
    case 0x7F02:
      return QStyle::SP_MessageBoxQuestion;
    case 0x7F03:  // exclamation
      return QStyle::SP_MessageBoxWarning;
    case 0x7F04:  // asterisk
      return QStyle::SP_MessageBoxInformation;
    default:
      return std::nullopt;
  }
}

QIcon LoadIcon(std::string_view name) {
  const IconSource source = ParseIconName(name);
  if (source.kind == IconSource::Kind::Stock) {
    const auto pixmap = StockPixmap(source.id);
    if (!pixmap || QApplication::style() == nullptr) {
      return {};
    }
    return QApplication::style()->standardIcon(*pixmap);
  }
  const auto bytes = Bytes(source);
  if (!bytes) {
    return {};
  }
  QIcon icon;
  for (QImage& image : Decode(*bytes, source.index)) {
    icon.addPixmap(QPixmap::fromImage(std::move(image)));
  }
  return icon;
}

QImage LoadImage(std::string_view name) {
  const IconSource source = ParseIconName(name);
  if (source.kind == IconSource::Kind::Stock) {
    return LoadIcon(name).pixmap(32, 32).toImage();
  }
  const auto bytes = Bytes(source);
  if (!bytes) {
    return {};
  }
  auto images = Decode(*bytes, source.index < 0 ? 0 : source.index);
  return images.empty() ? QImage() : images.front();
}

}  // namespace vantora::platform::qt
