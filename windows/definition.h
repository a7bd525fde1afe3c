// SPDX-License-Identifier: GPL-3.0-or-later
// Window definitions: the plain model of a window and its controls, and the lookup that reads one
// from the program's definition resources.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "windows/format.h"

namespace vantora::windows {

using format::RecordType;

// Data type codes of variable descriptors.
enum class DataType : uint8_t {
  Byte = 1,   // unsigned 8-bit
  Long = 6,   // signed 32-bit
  Text = 18,  // fixed-length text
};

// x, y, width, height in window units; format::kDefaultPosition in any of them means "default".
struct Position {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Position&) const = default;
};

// Colours are red in the low byte, then green and blue; format::kDefaultColour means default.
constexpr uint32_t Rgb(uint8_t red, uint8_t green, uint8_t blue) {
  return red | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
}

struct Font {
  std::optional<std::string> face;  // absent: the window's face
  int32_t pointSize = 0;            // 0: the window's size
  uint32_t colour = format::kDefaultColour;
  int32_t weight = format::kWeightRegular;
  bool operator==(const Font&) const = default;
};

struct Variable {
  uint8_t type = 0;  // a DataType code
  uint32_t size = 0;
  uint32_t reserved = 0;
  bool operator==(const Variable&) const = default;
};

using ColourBlock = std::array<uint32_t, 3>;

// One control record. Fields the record type does not store stay empty.
struct Control {
  RecordType type = RecordType::Region;
  uint32_t flags = 0;
  uint16_t number = 0;
  std::vector<std::string> dropIds;  // drag identifiers the control accepts
  std::optional<Position> position;
  std::optional<Variable> variable;
  std::optional<std::string> text;
  std::optional<std::string> picture;
  std::optional<std::string> format;
  std::optional<std::string> statusText;
  std::optional<std::string> tip;
  std::optional<Font> font;  // absent: the window font
  std::optional<std::string> icon;
  std::optional<ColourBlock> colours;
  int32_t dropRows = 0;              // list: rows shown when dropped, 0 for a plain list
  std::vector<std::string> dragIds;  // list: what its rows offer when dragged
  std::vector<uint32_t> alertKeys;   // entry: in stored order
  std::optional<std::string> wallpaper;
  int32_t action = 0;  // menu item and button: standard action code
  uint8_t buttonFlags = 0;
  std::array<uint16_t, 2> times{};
  // Group, tab and toolbar: their controls; sheet: its tabs; menu bar: menus; menu: items.
  std::vector<Control> children;

  bool IsCheckItem() const {
    return type == RecordType::MenuItem && (flags & format::kCheckItemFlag) != 0;
  }
  bool operator==(const Control&) const = default;
};

struct WindowDefinition {
  std::string name;
  uint32_t flags = 0;
  uint32_t flags2 = 0;
  Position position;
  std::optional<std::string> title;
  std::optional<std::string> icon;
  std::optional<std::string> wallpaper;
  std::optional<Font> font;
  std::optional<Control> menuBar;
  std::optional<Control> toolbar;
  std::vector<Control> controls;  // the window body
  bool operator==(const WindowDefinition&) const = default;
};

// All windows of one definition set, in chain order.
struct DefinitionSet {
  std::string tag;
  std::vector<WindowDefinition> windows;
  bool operator==(const DefinitionSet&) const = default;
};

enum class LookupError {
  None,
  NoResource,    // no module has the resource
  TagMismatch,   // resources exist, but none carries the tag
  NoSuchWindow,  // no window of that name in the set
  Damaged,       // an offset, length or chain in the definition is invalid
};
std::string_view LookupErrorText(LookupError error);

// "cdplayer$CDPLAYER" -> "CDPLAYER_RSC"; a tag without "$" is used whole.
std::string DefinitionResourceName(std::string_view tag);

// Reads the window named windowName from one resource (the tag, its terminator, then the
// definition). Every offset is checked against the resource; on failure returns nullopt and, when
// error is given, why.
std::optional<WindowDefinition> ReadWindowDefinition(std::span<const uint8_t> resource,
                                                     std::string_view tag,
                                                     std::string_view windowName,
                                                     LookupError* error = nullptr);

// The resource's tag (the text before its first NUL), or nullopt when it has no terminator.
std::optional<std::string> ResourceTag(std::span<const uint8_t> resource);

// Reads every window of one resource, whatever its tag.
std::optional<DefinitionSet> ReadDefinitionSet(std::span<const uint8_t> resource,
                                               LookupError* error = nullptr);

// Finds a window across the loaded resource modules, the program's own first: a module whose
// resource carries another tag, lacks the window or is damaged is passed over.
std::optional<WindowDefinition> FindWindowDefinition(std::string_view tag,
                                                     std::string_view windowName,
                                                     LookupError* error = nullptr);

// What a procedure binds when it creates a window, in definition order (menu bar, toolbar, body,
// depth first): a control's variable, and for a list then its rows.
struct Binding {
  enum class Kind { Variable, Rows };
  uint16_t control = 0;
  Kind kind = Kind::Variable;
  bool operator==(const Binding&) const = default;
};
std::vector<Binding> BindingOrder(const WindowDefinition& window);

// Depth-first search for a control by number (0 never matches); nullptr when absent.
const Control* FindControl(const WindowDefinition& window, uint16_t number);

}  // namespace vantora::windows
