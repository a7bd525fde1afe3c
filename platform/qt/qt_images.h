// SPDX-License-Identifier: GPL-3.0-or-later
// Icons and images found by the names the runtime uses: stock icons, the program's resources and
// files, decoded by Qt's image readers.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QStyle>
#include <optional>
#include <string_view>

namespace vantora::platform::qt {

// What an icon name refers to.
struct IconSource {
  enum class Kind { None, Stock, ResourceId, Resource, File };
  Kind kind = Kind::None;
  uint32_t id = 0;   // Stock and ResourceId: the identifier
  std::string name;  // Resource: the resource name; File: the file name without "[k]"
  int index = -1;    // File and Resource: the image within the file ("[k]", 0-based); -1 all
};
IconSource ParseIconName(std::string_view name);

// The Qt standard icon for a stock icon identifier (7F00h application .. 7F04h information).
std::optional<QStyle::StandardPixmap> StockPixmap(uint32_t id);

// The icon with all the sizes its file holds; null when the name finds nothing decodable.
QIcon LoadIcon(std::string_view name);
// The first image of a picture or wallpaper; null when nothing decodable is found.
QImage LoadImage(std::string_view name);

}  // namespace vantora::platform::qt
