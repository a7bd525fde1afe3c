// SPDX-License-Identifier: GPL-3.0-or-later
// Turns a window definition into the description the native window system builds a window from.
#include "windows/native_spec.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "windows/list_format.h"

namespace vantora::windows {
namespace {

platform::Rect ToRect(const std::optional<Position>& position) {
  if (!position) {
    return {platform::kDefault, platform::kDefault, platform::kDefault, platform::kDefault};
  }
  return {position->x, position->y, position->width, position->height};
}

platform::NativeFont ToFont(const Font& font) {
  platform::NativeFont out;
  out.face = font.face.value_or("");
  out.pointSize = font.pointSize;
  out.colour = font.colour;
  out.weight = font.weight;
  return out;
}

platform::NativeKind KindOf(const Control& control) {
  switch (control.type) {
    case RecordType::MenuBar:
      return platform::NativeKind::MenuBar;
    case RecordType::Menu:
      return platform::NativeKind::Menu;
    case RecordType::MenuItem:
      return platform::NativeKind::MenuItem;
    case RecordType::Toolbar:
      return platform::NativeKind::Toolbar;
    case RecordType::Button:
      return platform::NativeKind::Button;
    case RecordType::Group:
      return platform::NativeKind::Group;
    case RecordType::Prompt:
      return platform::NativeKind::Prompt;
    case RecordType::String:
    case RecordType::VarString:
      return platform::NativeKind::String;
    case RecordType::Entry:
      return platform::NativeKind::Entry;
    case RecordType::TextBox:
      return platform::NativeKind::TextBox;
    case RecordType::List:
      return control.dropRows > 0 ? platform::NativeKind::DropList : platform::NativeKind::List;
    case RecordType::Sheet:
      return platform::NativeKind::Sheet;
    case RecordType::Tab:
      return platform::NativeKind::Tab;
    case RecordType::Region:
    case RecordType::Window:
      break;
  }
  return platform::NativeKind::Region;
}

// A button's label without its mnemonic marker, compared without regard to case.
bool LabelIs(const Control& control, std::string_view label) {
  if (control.type != RecordType::Button || !control.text) {
    return false;
  }
  std::string text = *control.text;
  std::erase(text, '&');
  return std::ranges::equal(text, label, [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

class Builder {
 public:
  explicit Builder(NativeLayout& layout) : layout_(layout) {}

  void Add(const Control& control, int32_t parent) {
    layout_.controls.push_back(&control);
    const auto id = static_cast<int32_t>(layout_.controls.size());
    platform::NativeControl native;
    native.id = id;
    native.parent = parent;
    native.kind = KindOf(control);
    native.rect = ToRect(control.position);
    native.text = control.text.value_or("");
    native.icon = control.icon.value_or("");
    native.tip = control.tip.value_or("");
    native.statusText = control.statusText.value_or("");
    if (control.font) {
      native.font = ToFont(*control.font);
    }
    if (control.colours) {
      native.colours.assign(control.colours->begin(), control.colours->end());
    }
    native.checkable = control.IsCheckItem();
    native.closesWindow =
        (control.type == RecordType::MenuItem || control.type == RecordType::Button) &&
        control.action == format::kActionClose;
    native.dropRows = control.dropRows;
    if (control.format) {
      if (const auto columns = ParseListFormat(*control.format)) {
        for (const ListColumn& column : *columns) {
          native.columnWidths.push_back(column.width);
          native.columnAlignments.push_back(column.alignment);
        }
      }
    }
    native.dropIds = control.dropIds;
    native.dragIds = control.dragIds;
    native.alertKeys = control.alertKeys;
    if (control.type == RecordType::Entry && control.variable) {
      native.maxLength = static_cast<int32_t>(control.variable->size);
    }
    native.wallpaper = control.wallpaper.value_or("");
    // The definitions mark no default button: as the platform's dialogs do with their OK and
    // Cancel, "OK" is the button Enter presses and "Cancel" the one Escape presses.
    native.defaultButton = LabelIs(control, "OK");
    native.cancelButton = LabelIs(control, "Cancel");
    layout_.spec.controls.push_back(std::move(native));
    for (const Control& child : control.children) {
      Add(child, id);
    }
  }

 private:
  NativeLayout& layout_;
};

}  // namespace

NativeLayout ToNativeLayout(const WindowDefinition& window) {
  NativeLayout layout;
  platform::NativeWindowSpec& spec = layout.spec;
  spec.title = window.title.value_or("");
  spec.icon = window.icon.value_or("");
  spec.wallpaper = window.wallpaper.value_or("");
  spec.rect = ToRect(window.position);
  if (window.font) {
    spec.font = ToFont(*window.font);
  }
  Builder builder(layout);
  if (window.menuBar) {
    builder.Add(*window.menuBar, 0);
  }
  if (window.toolbar) {
    builder.Add(*window.toolbar, 0);
  }
  for (const Control& control : window.controls) {
    builder.Add(control, 0);
  }
  return layout;
}

}  // namespace vantora::windows
