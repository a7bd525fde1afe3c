// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing window descriptions into definition sets, with the checks a definition writer needs.
#include <charconv>
#include <set>

#include "windows/description.h"

namespace vantora::windows {
namespace {

namespace fmt = format;

struct Token {
  bool quoted = false;
  std::string value;
};

std::optional<RecordType> KindFromName(std::string_view name) {
  for (const fmt::Layout& layout : fmt::kLayouts) {
    if (KindName(layout.type) == name) {
      return layout.type;
    }
  }
  return std::nullopt;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

class Parser {
 public:
  std::optional<DefinitionSet> Parse(std::string_view text, DescriptionError* error) {
    size_t start = 0;
    while (start <= text.size() && !failed_) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) {
        end = text.size();
      }
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
      }
      ++line_;
      ParseLine(line);
      start = end + 1;
    }
    if (!failed_) {
      while (!stack_.empty() && !failed_) {
        Pop();
      }
    }
    if (!failed_) {
      line_ = 0;
    }
    if (!failed_ && !haveSet_) {
      Fail("the description names no definition set (set TAG)");
    }
    if (!failed_ && set_.windows.empty()) {
      Fail("the definition set has no window");
    }
    if (failed_) {
      if (error != nullptr) {
        *error = error_;
      }
      return std::nullopt;
    }
    return std::move(set_);
  }

 private:
  // What the lines indented under a window or control line add to.
  struct Frame {
    int indent = 0;
    int line = 0;
    WindowDefinition* window = nullptr;
    Control* control = nullptr;
    std::set<std::string> seen;  // attributes given so far
  };

  bool Fail(std::string message) {
    if (!failed_) {
      failed_ = true;
      error_ = DescriptionError{line_, std::move(message)};
    }
    return false;
  }

  bool Tokenize(std::string_view line, int* indent) {
    tokens_.clear();
    next_ = 0;
    size_t i = 0;
    while (i < line.size() && line[i] == ' ') {
      ++i;
    }
    *indent = static_cast<int>(i);
    if (i < line.size() && line[i] == '\t') {
      return Fail("indent with spaces, not tabs");
    }
    while (i < line.size()) {
      char c = line[i];
      if (c == ' ' || c == '\t') {
        ++i;
      } else if (c == '#') {
        break;
      } else if (c == '"') {
        Token token{true, {}};
        ++i;
        for (;;) {
          if (i >= line.size()) {
            return Fail("text without closing quote");
          }
          char d = line[i++];
          if (d == '"') {
            break;
          }
          if (d != '\\') {
            token.value += d;
            continue;
          }
          if (i >= line.size()) {
            return Fail("text without closing quote");
          }
          char e = line[i++];
          if (e == 'n') {
            token.value += '\n';
          } else if (e == 't') {
            token.value += '\t';
          } else if (e == '"' || e == '\\') {
            token.value += e;
          } else if (e == 'x' && i + 1 < line.size() && IsHexDigit(line[i]) &&
                     IsHexDigit(line[i + 1])) {
            token.value +=
                static_cast<char>(std::stoi(std::string(line.substr(i, 2)), nullptr, 16));
            i += 2;
          } else {
            return Fail(std::string("unknown escape \\") + e);
          }
        }
        tokens_.push_back(std::move(token));
      } else {
        size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '"') {
          ++end;
        }
        tokens_.push_back(Token{false, std::string(line.substr(i, end - i))});
        i = end;
      }
    }
    return true;
  }

  bool More() const { return next_ < tokens_.size(); }
  bool PeekWord(std::string_view word) const {
    return More() && !tokens_[next_].quoted && tokens_[next_].value == word;
  }
  bool PeekNumber() const {
    if (!More() || tokens_[next_].quoted) {
      return false;
    }
    const std::string& value = tokens_[next_].value;
    return !value.empty() && ((value[0] >= '0' && value[0] <= '9') || value[0] == '-');
  }

  std::optional<std::string> Word(std::string_view what) {
    if (!More() || tokens_[next_].quoted) {
      Fail("expected " + std::string(what));
      return std::nullopt;
    }
    return tokens_[next_++].value;
  }

  // A number within [low, high]: decimal, or hexadecimal after "0x".
  std::optional<int64_t> Number(std::string_view what, int64_t low, int64_t high) {
    std::optional<std::string> word = Word(what);
    if (!word) {
      return std::nullopt;
    }
    std::string_view digits = *word;
    bool negative = !digits.empty() && digits.front() == '-';
    if (negative) {
      digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      base = 16;
      digits.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    auto [end, status] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || status != std::errc() || end != digits.data() + digits.size() ||
        magnitude > (uint64_t{1} << 33)) {
      Fail("expected " + std::string(what) + ", not \"" + *word + "\"");
      return std::nullopt;
    }
    int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (value < low || value > high) {
      Fail(std::string(what) + " " + *word + " is out of range");
      return std::nullopt;
    }
    return value;
  }
  std::optional<uint32_t> Unsigned(std::string_view what) {
    std::optional<int64_t> value = Number(what, 0, UINT32_MAX);
    return value ? std::optional<uint32_t>(static_cast<uint32_t>(*value)) : std::nullopt;
  }
  std::optional<int32_t> Signed(std::string_view what) {
    std::optional<int64_t> value = Number(what, INT32_MIN, INT32_MAX);
    return value ? std::optional<int32_t>(static_cast<int32_t>(*value)) : std::nullopt;
  }

  std::optional<std::string> Text(std::string_view what) {
    if (!More() || !tokens_[next_].quoted) {
      Fail("expected " + std::string(what) + " in quotes");
      return std::nullopt;
    }
    std::string value = tokens_[next_++].value;
    if (value.find('\0') != std::string::npos) {
      Fail(std::string(what) + " holds a NUL character");
      return std::nullopt;
    }
    return value;
  }
  // A name: one word or a quoted text.
  std::optional<std::string> Name(std::string_view what) {
    if (More() && tokens_[next_].quoted) {
      return Text(what);
    }
    return Word(what);
  }

  std::optional<int32_t> Coordinate() {
    if (PeekWord("default")) {
      ++next_;
      return fmt::kDefaultPosition;
    }
    return Signed("a coordinate");
  }
  std::optional<Position> ParsePosition() {
    Position position;
    for (int32_t* value : {&position.x, &position.y, &position.width, &position.height}) {
      std::optional<int32_t> coordinate = Coordinate();
      if (!coordinate) {
        return std::nullopt;
      }
      *value = *coordinate;
    }
    return position;
  }

  std::optional<uint32_t> ParseColour() {
    if (PeekWord("default")) {
      ++next_;
      return fmt::kDefaultColour;
    }
    if (PeekWord("rgb")) {
      ++next_;
      uint32_t colour = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        std::optional<int64_t> part = Number("a colour part", 0, 255);
        if (!part) {
          return std::nullopt;
        }
        colour |= static_cast<uint32_t>(*part) << shift;
      }
      return colour;
    }
    return Unsigned("a colour (rgb R G B, default or a number)");
  }

  std::optional<Font> ParseFont() {
    Font font;
    if (PeekWord("window")) {
      ++next_;
    } else if (std::optional<std::string> face = Text("a font face or window")) {
      font.face = std::move(*face);
    } else {
      return std::nullopt;
    }
    if (PeekWord("window")) {
      ++next_;
    } else if (std::optional<int32_t> size = Signed("a point size or window")) {
      font.pointSize = *size;
    } else {
      return std::nullopt;
    }
    if (PeekWord("regular")) {
      ++next_;
    } else if (PeekWord("bold")) {
      ++next_;
      font.weight = fmt::kWeightBold;
    } else if (std::optional<int32_t> weight = Signed("a weight (regular, bold or a number)")) {
      font.weight = *weight;
    } else {
      return std::nullopt;
    }
    if (PeekWord("rgb") || PeekWord("default") || PeekNumber()) {
      std::optional<uint32_t> colour = ParseColour();
      if (!colour) {
        return std::nullopt;
      }
      font.colour = *colour;
    }
    return font;
  }

  std::optional<Variable> ParseVariable() {
    if (PeekWord("byte")) {
      ++next_;
      return Variable{static_cast<uint8_t>(DataType::Byte), 1, 0};
    }
    if (PeekWord("long")) {
      ++next_;
      return Variable{static_cast<uint8_t>(DataType::Long), 4, 0};
    }
    if (PeekWord("text")) {
      ++next_;
      std::optional<int64_t> size = Number("a text length", 1, UINT32_MAX);
      if (!size) {
        return std::nullopt;
      }
      return Variable{static_cast<uint8_t>(DataType::Text), static_cast<uint32_t>(*size), 0};
    }
    std::optional<int64_t> code =
        Number("a variable type (byte, long, text N or CODE SIZE)", 0, 255);
    std::optional<uint32_t> size = code ? Unsigned("a variable size") : std::nullopt;
    if (!size) {
      return std::nullopt;
    }
    return Variable{static_cast<uint8_t>(*code), *size, 0};
  }

  std::optional<std::vector<std::string>> ParseIds(std::string_view what) {
    std::vector<std::string> ids;
    while (More() && tokens_[next_].quoted) {
      std::optional<std::string> id = Text(what);
      if (!id) {
        return std::nullopt;
      }
      ids.push_back(std::move(*id));
    }
    if (ids.empty()) {
      Fail("expected at least one " + std::string(what) + " in quotes");
      return std::nullopt;
    }
    return ids;
  }

  bool WindowAttribute(const std::string& keyword, WindowDefinition& window) {
    if (keyword == "flags") {
      std::optional<uint32_t> flags = Unsigned("the window flags");
      std::optional<uint32_t> flags2 = flags ? Unsigned("the second flag word") : std::nullopt;
      if (!flags2) {
        return false;
      }
      window.flags = *flags;
      window.flags2 = *flags2;
      return true;
    }
    if (keyword == "at") {
      std::optional<Position> position = ParsePosition();
      if (position) {
        window.position = *position;
      }
      return position.has_value();
    }
    std::optional<std::string>* text = keyword == "title"       ? &window.title
                                       : keyword == "icon"      ? &window.icon
                                       : keyword == "wallpaper" ? &window.wallpaper
                                                                : nullptr;
    if (text != nullptr) {
      *text = Text(keyword);
      return text->has_value();
    }
    if (keyword == "font") {
      window.font = ParseFont();
      return window.font.has_value();
    }
    return Fail("a window has no attribute \"" + keyword + "\"");
  }

  bool ControlAttribute(const std::string& keyword, Control& control) {
    const fmt::Layout& layout = *fmt::FindLayout(static_cast<uint8_t>(control.type));
    auto stores = [&](int16_t field) {
      return field != fmt::kNone ||
             Fail("a " + std::string(KindName(control.type)) + " has no " + keyword);
    };
    struct TextField {
      std::string_view keyword;
      int16_t fmt::Layout::*field;
      std::optional<std::string> Control::*value;
    };
    static constexpr TextField kTexts[] = {
        {"text", &fmt::Layout::text, &Control::text},
        {"picture", &fmt::Layout::picture, &Control::picture},
        {"format", &fmt::Layout::format, &Control::format},
        {"status", &fmt::Layout::statusText, &Control::statusText},
        {"tip", &fmt::Layout::tip, &Control::tip},
        {"icon", &fmt::Layout::icon, &Control::icon},
        {"wallpaper", &fmt::Layout::wallpaper, &Control::wallpaper},
    };
    for (const TextField& text : kTexts) {
      if (keyword == text.keyword) {
        if (!stores(layout.*text.field)) {
          return false;
        }
        control.*text.value = Text(keyword);
        return (control.*text.value).has_value();
      }
    }
    if (keyword == "at") {
      if (!stores(layout.position)) {
        return false;
      }
      control.position = ParsePosition();
      return control.position.has_value();
    }
    if (keyword == "font") {
      if (!stores(layout.font)) {
        return false;
      }
      control.font = ParseFont();
      return control.font.has_value();
    }
    if (keyword == "colours") {
      if (!stores(layout.colours)) {
        return false;
      }
      ColourBlock colours{};
      for (uint32_t& colour : colours) {
        std::optional<uint32_t> value = ParseColour();
        if (!value) {
          return false;
        }
        colour = *value;
      }
      control.colours = colours;
      return true;
    }
    if (keyword == "var") {
      if (!stores(layout.variable)) {
        return false;
      }
      control.variable = ParseVariable();
      return control.variable.has_value();
    }
    if (keyword == "rows") {
      std::optional<int32_t> rows = stores(layout.dropRows) ? Signed("a row count") : std::nullopt;
      control.dropRows = rows.value_or(0);
      return rows.has_value();
    }
    if (keyword == "action") {
      std::optional<int32_t> action =
          stores(layout.action) ? Signed("an action code") : std::nullopt;
      control.action = action.value_or(0);
      return action.has_value();
    }
    if (keyword == "buttonflags") {
      std::optional<int64_t> flags =
          stores(layout.buttonFlags) ? Number("a flag byte", 0, 255) : std::nullopt;
      control.buttonFlags = static_cast<uint8_t>(flags.value_or(0));
      return flags.has_value();
    }
    if (keyword == "times") {
      if (!stores(layout.times)) {
        return false;
      }
      for (uint16_t& time : control.times) {
        std::optional<int64_t> value = Number("a time in hundredths", 0, UINT16_MAX);
        if (!value) {
          return false;
        }
        time = static_cast<uint16_t>(*value);
      }
      return true;
    }
    if (keyword == "dropids") {
      std::optional<std::vector<std::string>> ids = ParseIds("drag identifier");
      control.dropIds = ids.value_or(std::vector<std::string>{});
      return ids.has_value();
    }
    if (keyword == "dragids") {
      std::optional<std::vector<std::string>> ids =
          stores(layout.dragIds) ? ParseIds("drag identifier") : std::nullopt;
      control.dragIds = ids.value_or(std::vector<std::string>{});
      return ids.has_value();
    }
    if (keyword == "alertkeys") {
      if (!stores(layout.alertKeys)) {
        return false;
      }
      while (PeekNumber()) {
        std::optional<uint32_t> key = Unsigned("a key code");
        if (!key) {
          return false;
        }
        control.alertKeys.push_back(*key);
      }
      return !control.alertKeys.empty() || Fail("expected at least one key code");
    }
    if (keyword == "check") {
      if (control.type != RecordType::MenuItem) {
        return Fail("only a menu item can be a check item");
      }
      control.flags |= fmt::kCheckItemFlag;
      return true;
    }
    if (keyword == "flags") {
      std::optional<uint32_t> flags = Unsigned("control flags");
      control.flags |= flags.value_or(0);
      return flags.has_value();
    }
    return Fail("unknown attribute \"" + keyword + "\"");
  }

  // The attributes from the current token to the end of the line.
  void Attributes(Frame& frame) {
    while (More() && !failed_) {
      std::optional<std::string> keyword = Word("an attribute");
      if (!keyword) {
        return;
      }
      if (!frame.seen.insert(*keyword).second) {
        Fail("\"" + *keyword + "\" given twice");
        return;
      }
      if (frame.control != nullptr) {
        ControlAttribute(*keyword, *frame.control);
      } else {
        WindowAttribute(*keyword, *frame.window);
      }
    }
  }

  // Checks made when a control's lines are complete.
  void Pop() {
    Frame& frame = stack_.back();
    if (frame.control != nullptr) {
      const Control& control = *frame.control;
      const fmt::Layout& layout = *fmt::FindLayout(static_cast<uint8_t>(control.type));
      std::string what = std::string(KindName(control.type)) + " " + std::to_string(control.number);
      bool noPosition = layout.position != fmt::kNone && !control.position;
      bool noMenu = control.type == RecordType::MenuBar && control.children.empty();
      if (noPosition || noMenu) {
        line_ = frame.line;  // the error belongs to the control's own line
        Fail(what + (noPosition ? " needs a position (at X Y W H)" : " needs at least one menu"));
      }
    }
    stack_.pop_back();
  }

  void ControlLine(int indent) {
    if (stack_.empty()) {
      Fail("a control outside a window");
      return;
    }
    std::optional<int64_t> number = Number("a control number", 0, UINT16_MAX);
    std::optional<std::string> kindName = number ? Word("a control kind") : std::nullopt;
    if (!kindName) {
      return;
    }
    std::optional<RecordType> kind = KindFromName(*kindName);
    if (!kind) {
      Fail("unknown control kind \"" + *kindName + "\"");
      return;
    }
    if (*number != 0 && !numbers_.insert(static_cast<uint16_t>(*number)).second) {
      Fail("control number " + std::to_string(*number) + " is used twice in this window");
      return;
    }
    Frame& parent = stack_.back();
    Control control;
    control.type = *kind;
    control.number = static_cast<uint16_t>(*number);
    Control* added = nullptr;
    if (parent.window != nullptr && *kind == RecordType::MenuBar) {
      if (parent.window->menuBar) {
        Fail("a window has one menu bar");
        return;
      }
      added = &parent.window->menuBar.emplace(std::move(control));
    } else if (parent.window != nullptr && *kind == RecordType::Toolbar) {
      if (parent.window->toolbar) {
        Fail("a window has one toolbar");
        return;
      }
      added = &parent.window->toolbar.emplace(std::move(control));
    } else {
      RecordType parentType = parent.window != nullptr ? RecordType::Window : parent.control->type;
      if (!fmt::CanHold(parentType, *kind)) {
        std::string holder = parent.window != nullptr ? std::string("a window")
                                                      : "a " + std::string(KindName(parentType));
        Fail(holder + " cannot hold a " + *kindName);
        return;
      }
      std::vector<Control>& siblings =
          parent.window != nullptr ? parent.window->controls : parent.control->children;
      added = &siblings.emplace_back(std::move(control));
    }
    stack_.push_back(Frame{indent, line_, nullptr, added, {}});
    Attributes(stack_.back());
  }

  void ParseLine(std::string_view line) {
    int indent = 0;
    if (!Tokenize(line, &indent) || tokens_.empty()) {
      return;
    }
    while (!stack_.empty() && stack_.back().indent >= indent && !failed_) {
      Pop();
    }
    if (failed_) {
      return;
    }
    const Token& head = tokens_.front();
    if (head.quoted) {
      Fail("a line starts with a keyword or a control number, not a text");
    } else if (head.value == "set") {
      ++next_;
      if (indent != 0 || haveSet_ || !set_.windows.empty()) {
        Fail("\"set\" comes once, unindented, before the windows");
        return;
      }
      std::optional<std::string> tag = Name("the definition set's tag");
      if (tag) {
        set_.tag = std::move(*tag);
        haveSet_ = true;
        if (More()) {
          Fail("unexpected text after the tag");
        }
      }
    } else if (head.value == "window") {
      ++next_;
      if (indent != 0 || !haveSet_) {
        Fail("\"window\" comes unindented, after \"set\"");
        return;
      }
      std::optional<std::string> name = Name("a window name");
      if (!name) {
        return;
      }
      for (const WindowDefinition& window : set_.windows) {
        if (window.name == *name) {
          Fail("window " + *name + " is described twice");
          return;
        }
      }
      set_.windows.push_back(WindowDefinition{});
      set_.windows.back().name = std::move(*name);
      numbers_.clear();
      stack_.push_back(Frame{indent, line_, &set_.windows.back(), nullptr, {}});
      Attributes(stack_.back());
    } else if (PeekNumber()) {
      ControlLine(indent);
    } else if (stack_.empty()) {
      Fail("\"" + head.value + "\" outside a window");
    } else {
      Attributes(stack_.back());
    }
  }

  DefinitionSet set_;
  bool haveSet_ = false;
  std::vector<Frame> stack_;
  std::set<uint16_t> numbers_;
  std::vector<Token> tokens_;
  size_t next_ = 0;
  int line_ = 0;
  bool failed_ = false;
  DescriptionError error_;
};

}  // namespace

std::optional<DefinitionSet> ParseDescription(std::string_view text, DescriptionError* error) {
  return Parser().Parse(text, error);
}

}  // namespace vantora::windows
