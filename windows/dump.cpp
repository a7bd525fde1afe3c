// SPDX-License-Identifier: GPL-3.0-or-later
// Printing definitions as descriptions: one line per window and per control.
#include <cstdio>

#include "windows/description.h"

namespace vantora::windows {
namespace {

namespace fmt = format;

std::string Hex(uint32_t value) {
  if (value == 0) {
    return "0";
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

// Names print bare when they read back as one word.
std::string Name(std::string_view name) {
  bool word = !name.empty();
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte >= 0x7F || c == '"' || c == '#') {
      word = false;
    }
  }
  return word ? std::string(name) : Quote(name);
}

std::string Coordinate(int32_t value) {
  return value == fmt::kDefaultPosition ? "default" : std::to_string(value);
}

std::string Colour(uint32_t colour) {
  if (colour == fmt::kDefaultColour) {
    return "default";
  }
  if ((colour >> 24) != 0) {
    return Hex(colour);
  }
  return "rgb " + std::to_string(colour & 0xFF) + " " + std::to_string((colour >> 8) & 0xFF) + " " +
         std::to_string((colour >> 16) & 0xFF);
}

class Line {
 public:
  explicit Line(std::string start) : text_(std::move(start)) {}

  Line& Word(std::string_view word) {
    text_ += ' ';
    text_ += word;
    return *this;
  }
  Line& Text(std::string_view keyword, const std::optional<std::string>& value) {
    if (value) {
      Word(keyword).Word(Quote(*value));
    }
    return *this;
  }
  Line& At(const std::optional<Position>& position) {
    if (position) {
      Word("at")
          .Word(Coordinate(position->x))
          .Word(Coordinate(position->y))
          .Word(Coordinate(position->width))
          .Word(Coordinate(position->height));
    }
    return *this;
  }
  Line& FontOf(const std::optional<Font>& font) {
    if (!font) {
      return *this;
    }
    Word("font").Word(font->face ? Quote(*font->face) : "window");
    Word(font->pointSize == 0 ? "window" : std::to_string(font->pointSize));
    if (font->weight == fmt::kWeightRegular) {
      Word("regular");
    } else if (font->weight == fmt::kWeightBold) {
      Word("bold");
    } else {
      Word(std::to_string(font->weight));
    }
    if (font->colour != fmt::kDefaultColour) {
      Word(Colour(font->colour));
    }
    return *this;
  }
  Line& Ids(std::string_view keyword, const std::vector<std::string>& ids) {
    if (!ids.empty()) {
      Word(keyword);
      for (const std::string& id : ids) {
        Word(Quote(id));
      }
    }
    return *this;
  }
  std::string Done() { return text_ + "\n"; }

 private:
  std::string text_;
};

std::string VariableText(const Variable& variable) {
  if (variable.type == static_cast<uint8_t>(DataType::Byte) && variable.size == 1) {
    return "byte";
  }
  if (variable.type == static_cast<uint8_t>(DataType::Long) && variable.size == 4) {
    return "long";
  }
  if (variable.type == static_cast<uint8_t>(DataType::Text)) {
    return "text " + std::to_string(variable.size);
  }
  return std::to_string(variable.type) + " " + std::to_string(variable.size);
}

void DumpControl(const Control& control, int depth, std::string& out) {
  Line line(std::string(2 * static_cast<size_t>(depth), ' ') + std::to_string(control.number));
  line.Word(KindName(control.type)).At(control.position);
  line.Text("text", control.text).Text("icon", control.icon).Text("picture", control.picture);
  line.Text("format", control.format);
  if (control.dropRows != 0) {
    line.Word("rows").Word(std::to_string(control.dropRows));
  }
  line.FontOf(control.font);
  if (control.colours) {
    line.Word("colours");
    for (uint32_t colour : *control.colours) {
      line.Word(Colour(colour));
    }
  }
  line.Text("status", control.statusText).Text("tip", control.tip);
  line.Text("wallpaper", control.wallpaper);
  if (control.variable) {
    line.Word("var").Word(VariableText(*control.variable));
  }
  uint32_t flags = control.flags;
  if (control.IsCheckItem()) {
    line.Word("check");
    flags &= ~fmt::kCheckItemFlag;
  }
  if (control.action != 0) {
    line.Word("action").Word(std::to_string(control.action));
  }
  line.Ids("dropids", control.dropIds).Ids("dragids", control.dragIds);
  if (!control.alertKeys.empty()) {
    line.Word("alertkeys");
    for (uint32_t key : control.alertKeys) {
      line.Word(Hex(key));
    }
  }
  if (flags != 0) {
    line.Word("flags").Word(Hex(flags));
  }
  if (control.buttonFlags != 0) {
    line.Word("buttonflags").Word(Hex(control.buttonFlags));
  }
  if (control.times[0] != 0 || control.times[1] != 0) {
    line.Word("times")
        .Word(std::to_string(control.times[0]))
        .Word(std::to_string(control.times[1]));
  }
  out += line.Done();
  for (const Control& child : control.children) {
    DumpControl(child, depth + 1, out);
  }
}

}  // namespace

std::string_view KindName(RecordType type) {
  switch (type) {
    case RecordType::VarString:
      return "varstring";
    case RecordType::String:
      return "string";
    case RecordType::Region:
      return "region";
    case RecordType::Entry:
      return "entry";
    case RecordType::Button:
      return "button";
    case RecordType::Prompt:
      return "prompt";
    case RecordType::Group:
      return "group";
    case RecordType::List:
      return "list";
    case RecordType::TextBox:
      return "textbox";
    case RecordType::Menu:
      return "menu";
    case RecordType::MenuItem:
      return "item";
    case RecordType::MenuBar:
      return "menubar";
    case RecordType::Toolbar:
      return "toolbar";
    case RecordType::Sheet:
      return "sheet";
    case RecordType::Tab:
      return "tab";
    case RecordType::Window:
      break;
  }
  return "";
}

std::string DumpWindow(const WindowDefinition& window) {
  Line line("window " + Name(window.name));
  line.Word("flags").Word(Hex(window.flags)).Word(Hex(window.flags2)).At(window.position);
  line.Text("title", window.title).Text("icon", window.icon).Text("wallpaper", window.wallpaper);
  line.FontOf(window.font);
  std::string out = line.Done();
  if (window.menuBar) {
    DumpControl(*window.menuBar, 1, out);
  }
  if (window.toolbar) {
    DumpControl(*window.toolbar, 1, out);
  }
  for (const Control& control : window.controls) {
    DumpControl(control, 1, out);
  }
  return out;
}

std::string DumpDefinitionSet(const DefinitionSet& set) {
  std::string out = "set " + Name(set.tag) + "\n";
  for (const WindowDefinition& window : set.windows) {
    out += "\n" + DumpWindow(window);
  }
  return out;
}

}  // namespace vantora::windows
