// SPDX-License-Identifier: GPL-3.0-or-later
// Byte layout of compiled window definitions: record type codes, field offsets and block sizes,
// shared by the definition reader and the description compiler.
#pragma once

#include <cstdint>

namespace vantora::windows::format {

// References are 32-bit offsets counted from two bytes before the first byte after the tag's
// terminator; the first value there is the offset of the first window record.
inline constexpr uint32_t kOffsetBias = 2;
inline constexpr uint32_t kFirstWindowOffset = kOffsetBias;

enum class RecordType : uint8_t {
  VarString = 1,  // string showing a variable through a picture
  String = 2,     // string with fixed text
  Region = 4,
  Entry = 8,
  Button = 9,
  Prompt = 10,
  Group = 13,
  List = 14,
  TextBox = 17,
  Menu = 19,
  MenuItem = 20,
  MenuBar = 22,
  Toolbar = 23,
  Window = 25,
  Sheet = 37,
  Tab = 38,
};

// Window record.
namespace window {
inline constexpr uint32_t kNext = 1;
inline constexpr uint32_t kFlags = 5;
inline constexpr uint32_t kPosition = 13;
inline constexpr uint32_t kFirstControl = 29;
inline constexpr uint32_t kName = 33;
inline constexpr uint32_t kFont = 37;
inline constexpr uint32_t kTitle = 41;
inline constexpr uint32_t kIcon = 57;
inline constexpr uint32_t kFlags2 = 81;
inline constexpr uint32_t kMenuBar = 93;
inline constexpr uint32_t kToolbar = 97;
inline constexpr uint32_t kWallpaper = 110;
inline constexpr uint32_t kSize = 114;
}  // namespace window

// Head shared by every control record (menus, menu items, the menu bar and the toolbar too).
namespace head {
inline constexpr uint32_t kNext = 1;
inline constexpr uint32_t kFlags = 5;
inline constexpr uint32_t kDropIds = 9;
inline constexpr uint32_t kNumber = 13;
inline constexpr uint32_t kSize = 15;
}  // namespace head

// Where a control record keeps each field; kNone where its type has no such field. Positions are
// 16 bytes; rows and the action code 32-bit; the button flag one byte, its times two 16-bit values;
// every other field is a 32-bit offset.
inline constexpr int16_t kNone = -1;
struct Layout {
  RecordType type;
  uint32_t size;
  int16_t position = kNone;
  int16_t variable = kNone;
  int16_t text = kNone;
  int16_t picture = kNone;
  int16_t format = kNone;
  int16_t statusText = kNone;
  int16_t tip = kNone;
  int16_t font = kNone;
  int16_t icon = kNone;
  int16_t colours = kNone;
  int16_t dropRows = kNone;
  int16_t dragIds = kNone;
  int16_t alertKeys = kNone;
  int16_t firstChild = kNone;
  int16_t wallpaper = kNone;
  int16_t action = kNone;
  int16_t buttonFlags = kNone;
  int16_t times = kNone;
};

// clang-format off
inline constexpr Layout kLayouts[] = {
  {.type = RecordType::VarString, .size = 49, .position = 25, .variable = 21, .picture = 41,
   .font = 45},
  {.type = RecordType::String, .size = 49, .position = 21, .text = 41, .font = 45},
  {.type = RecordType::Region, .size = 37, .position = 21},
  {.type = RecordType::Entry, .size = 77, .position = 25, .variable = 21, .picture = 73,
   .statusText = 41, .tip = 45, .alertKeys = 57},
  // A button keeps its standard action where a menu item does.
  {.type = RecordType::Button, .size = 90, .position = 21, .text = 69, .statusText = 37, .tip = 41,
   .font = 57, .icon = 73, .action = 49, .buttonFlags = 85, .times = 86},
  {.type = RecordType::Prompt, .size = 45, .position = 21, .text = 41},
  {.type = RecordType::Group, .size = 77, .position = 21, .text = 69, .font = 57,
   .firstChild = 73},
  {.type = RecordType::List, .size = 105, .position = 29, .variable = 21, .format = 25,
   .statusText = 45, .tip = 49, .font = 65, .colours = 73, .dropRows = 77, .dragIds = 101},
  {.type = RecordType::TextBox, .size = 73, .position = 25, .variable = 21, .statusText = 41,
   .tip = 45, .font = 61, .colours = 69},
  {.type = RecordType::Menu, .size = 57, .text = 25, .firstChild = 53},
  {.type = RecordType::MenuItem, .size = 53, .variable = 21, .text = 25, .action = 49},
  // The menu bar has no field for its first menu: that menu record follows it directly.
  {.type = RecordType::MenuBar, .size = head::kSize},
  {.type = RecordType::Toolbar, .size = 78, .position = 21, .firstChild = 69, .wallpaper = 74},
  {.type = RecordType::Sheet, .size = 81, .position = 25, .firstChild = 77},
  {.type = RecordType::Tab, .size = 62, .text = 50, .firstChild = 58},
};
// clang-format on

// The layout of a control record type, or nullptr for the window record and unknown codes.
constexpr const Layout* FindLayout(uint8_t type) {
  for (const Layout& layout : kLayouts) {
    if (static_cast<uint8_t>(layout.type) == type) {
      return &layout;
    }
  }
  return nullptr;
}

// Which records a chain under a parent may hold: the window body (parent Window), groups, tabs and
// the toolbar hold controls; a sheet holds tabs, the menu bar menus, a menu menus and items.
constexpr bool CanHold(RecordType parent, RecordType child) {
  switch (parent) {
    case RecordType::Sheet:
      return child == RecordType::Tab;
    case RecordType::MenuBar:
      return child == RecordType::Menu;
    case RecordType::Menu:
      return child == RecordType::Menu || child == RecordType::MenuItem;
    case RecordType::Window:
    case RecordType::Group:
    case RecordType::Tab:
    case RecordType::Toolbar:
      break;
    default:
      return false;
  }
  switch (child) {
    case RecordType::VarString:
    case RecordType::String:
    case RecordType::Region:
    case RecordType::Entry:
    case RecordType::Button:
    case RecordType::Prompt:
    case RecordType::Group:
    case RecordType::List:
    case RecordType::TextBox:
    case RecordType::Sheet:
      return true;
    default:
      return false;
  }
}

// Auxiliary blocks.
inline constexpr uint32_t kFontBlockSize = 16;  // name offset, point size, colour, weight; name
inline constexpr uint32_t kVariableSize = 9;    // type code, size, 4 reserved bytes
inline constexpr uint32_t kColourBlockSize = 12;
inline constexpr uint32_t kListElementSize = 8;  // drop-id: text, next; alert key: key, next
inline constexpr uint32_t kPositionSize = 16;

inline constexpr uint32_t kDefaultColour = 0xFFFFFFFF;
inline constexpr int32_t kDefaultPosition = INT32_MIN;  // 0x80000000: the runtime chooses
inline constexpr int32_t kWeightRegular = 400;
inline constexpr int32_t kWeightBold = 700;
inline constexpr int32_t kActionClose = 15;
inline constexpr uint32_t kCheckItemFlag = 1;  // the flag byte at offset 5 of a menu item
// The window flag that has the runtime show every bound variable again after each event.
inline constexpr uint32_t kAutoDisplayFlag = 0x800;

}  // namespace vantora::windows::format
