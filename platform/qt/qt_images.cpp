// SPDX-License-Identifier: GPL-3.0-or-later
// Icons and images found by the names the runtime uses.
#include "platform/qt/qt_images.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
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

// Every image of the bytes, or only the index-th one.
std::vector<QImage> Decode(QByteArray bytes, int index) {
  std::vector<QImage> images;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
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
  for (const QImage& image : Decode(*bytes, source.index)) {
    icon.addPixmap(QPixmap::fromImage(image));
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
