// SPDX-License-Identifier: GPL-3.0-or-later
// Reading compiled window definitions: every offset, length and chain is checked against the
// definition buffer, so damaged or hostile data ends in a failed lookup.
#include <algorithm>
#include <unordered_set>
#include <utility>

#include "windows/definition.h"

namespace vantora::windows {
namespace {

namespace fmt = format;

// Deeper nesting than this is taken as damage; the player's deepest control sits at depth 4.
constexpr int kMaxDepth = 32;

// Bounds-checked access to the definition buffer by offset. A failed access marks the reader
// damaged and yields zero, which every caller treats as "absent", so no loop outlives a failure.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> buffer) : buffer_(buffer) {}

  bool Damaged() const { return damaged_; }

  // True when [offset + field, offset + field + size) lies inside the buffer.
  bool Fits(uint32_t offset, uint32_t field, uint32_t size) {
    if (damaged_ || offset < fmt::kOffsetBias) {
      damaged_ = true;
      return false;
    }
    uint64_t start = uint64_t{offset} - fmt::kOffsetBias + field;
    if (start + size > buffer_.size()) {
      damaged_ = true;
      return false;
    }
    return true;
  }

  uint8_t U8(uint32_t offset, uint32_t field) {
    return Fits(offset, field, 1) ? At(offset, field) : 0;
  }
  uint16_t U16(uint32_t offset, uint32_t field) {
    if (!Fits(offset, field, 2)) {
      return 0;
    }
    return static_cast<uint16_t>(At(offset, field) | At(offset, field + 1) << 8);
  }
  uint32_t U32(uint32_t offset, uint32_t field) {
    if (!Fits(offset, field, 4)) {
      return 0;
    }
    uint32_t value = 0;
    for (uint32_t i = 4; i-- > 0;) {
      value = value << 8 | At(offset, field + i);
    }
    return value;
  }
  int32_t I32(uint32_t offset, uint32_t field) { return static_cast<int32_t>(U32(offset, field)); }

  Position ReadPosition(uint32_t offset, uint32_t field) {
    return Position{I32(offset, field), I32(offset, field + 4), I32(offset, field + 8),
                    I32(offset, field + 12)};
  }

  // The NUL-terminated text at the offset; offset 0 is absent.
  std::optional<std::string> String(uint32_t offset) {
    if (offset == 0 || !Fits(offset, 0, 1)) {
      return std::nullopt;
    }
    auto begin = buffer_.begin() + (offset - fmt::kOffsetBias);
    auto end = std::find(begin, buffer_.end(), uint8_t{0});
    if (end == buffer_.end()) {
      damaged_ = true;
      return std::nullopt;
    }
    return std::string(begin, end);
  }
  std::optional<std::string> StringField(uint32_t record, int16_t field) {
    return String(U32(record, static_cast<uint32_t>(field)));
  }

  std::optional<Font> ReadFont(uint32_t offset) {
    if (offset == 0 || !Fits(offset, 0, fmt::kFontBlockSize)) {
      return std::nullopt;
    }
    return Font{String(U32(offset, 0)), I32(offset, 4), U32(offset, 8), I32(offset, 12)};
  }

  std::optional<Variable> ReadVariable(uint32_t offset) {
    if (offset == 0 || !Fits(offset, 0, fmt::kVariableSize)) {
      return std::nullopt;
    }
    return Variable{U8(offset, 0), U32(offset, 1), U32(offset, 5)};
  }

  std::optional<ColourBlock> ReadColours(uint32_t offset) {
    if (offset == 0 || !Fits(offset, 0, fmt::kColourBlockSize)) {
      return std::nullopt;
    }
    return ColourBlock{U32(offset, 0), U32(offset, 4), U32(offset, 8)};
  }

  // A drop-id or drag identifier list; an element without text adds nothing.
  std::vector<std::string> ReadIdList(uint32_t first) {
    std::vector<std::string> ids;
    std::unordered_set<uint32_t> seen;
    for (uint32_t element = first; element != 0 && !damaged_; element = U32(element, 4)) {
      if (!seen.insert(element).second || !Fits(element, 0, fmt::kListElementSize)) {
        damaged_ = true;
        break;
      }
      if (std::optional<std::string> id = String(U32(element, 0))) {
        ids.push_back(std::move(*id));
      }
    }
    return ids;
  }

  std::vector<uint32_t> ReadAlertKeys(uint32_t first) {
    std::vector<uint32_t> keys;
    std::unordered_set<uint32_t> seen;
    for (uint32_t element = first; element != 0 && !damaged_; element = U32(element, 4)) {
      if (!seen.insert(element).second || !Fits(element, 0, fmt::kListElementSize)) {
        damaged_ = true;
        break;
      }
      keys.push_back(U32(element, 0));
    }
    return keys;
  }

  // The records of one chain, each checked for a type its parent may hold. A record met twice
  // (a looping chain, or one shared between parents) is damage.
  void ReadChain(uint32_t first, RecordType parent, int depth, std::vector<Control>& out) {
    if (depth > kMaxDepth) {
      damaged_ = true;
      return;
    }
    for (uint32_t record = first; record != 0 && !damaged_;
         record = U32(record, fmt::head::kNext)) {
      if (!records_.insert(record).second) {
        damaged_ = true;
        return;
      }
      const fmt::Layout* layout = fmt::FindLayout(U8(record, 0));
      if (layout == nullptr || !fmt::CanHold(parent, layout->type) ||
          !Fits(record, 0, layout->size)) {
        damaged_ = true;
        return;
      }
      out.push_back(ReadControl(record, *layout, depth));
    }
  }

  Control ReadControl(uint32_t record, const fmt::Layout& layout, int depth) {
    Control control;
    control.type = layout.type;
    control.flags = U32(record, fmt::head::kFlags);
    control.dropIds = ReadIdList(U32(record, fmt::head::kDropIds));
    control.number = U16(record, fmt::head::kNumber);
    auto field = [](int16_t at) { return static_cast<uint32_t>(at); };
    if (layout.position != fmt::kNone) {
      control.position = ReadPosition(record, field(layout.position));
    }
    if (layout.variable != fmt::kNone) {
      control.variable = ReadVariable(U32(record, field(layout.variable)));
    }
    if (layout.text != fmt::kNone) {
      control.text = StringField(record, layout.text);
    }
    if (layout.picture != fmt::kNone) {
      control.picture = StringField(record, layout.picture);
    }
    if (layout.format != fmt::kNone) {
      control.format = StringField(record, layout.format);
    }
    if (layout.statusText != fmt::kNone) {
      control.statusText = StringField(record, layout.statusText);
    }
    if (layout.tip != fmt::kNone) {
      control.tip = StringField(record, layout.tip);
    }
    if (layout.font != fmt::kNone) {
      control.font = ReadFont(U32(record, field(layout.font)));
    }
    if (layout.icon != fmt::kNone) {
      control.icon = StringField(record, layout.icon);
    }
    if (layout.colours != fmt::kNone) {
      control.colours = ReadColours(U32(record, field(layout.colours)));
    }
    if (layout.dropRows != fmt::kNone) {
      control.dropRows = I32(record, field(layout.dropRows));
    }
    if (layout.dragIds != fmt::kNone) {
      control.dragIds = ReadIdList(U32(record, field(layout.dragIds)));
    }
    if (layout.alertKeys != fmt::kNone) {
      control.alertKeys = ReadAlertKeys(U32(record, field(layout.alertKeys)));
    }
    if (layout.wallpaper != fmt::kNone) {
      control.wallpaper = StringField(record, layout.wallpaper);
    }
    if (layout.action != fmt::kNone) {
      control.action = I32(record, field(layout.action));
    }
    if (layout.buttonFlags != fmt::kNone) {
      control.buttonFlags = U8(record, field(layout.buttonFlags));
    }
    if (layout.times != fmt::kNone) {
      control.times = {U16(record, field(layout.times)), U16(record, field(layout.times) + 2)};
    }
    if (layout.type == RecordType::MenuBar) {
      // The format gives the menu bar no field for its first menu: that menu's record follows
      // the menu bar's directly.
      ReadChain(record + layout.size, layout.type, depth + 1, control.children);
    } else if (layout.firstChild != fmt::kNone) {
      ReadChain(U32(record, field(layout.firstChild)), layout.type, depth + 1, control.children);
    }
    return control;
  }

  // A window record that may sit at this offset: the right type and all of it in the buffer.
  bool WindowRecord(uint32_t record) {
    return Fits(record, 0, fmt::window::kSize) &&
           U8(record, 0) == static_cast<uint8_t>(RecordType::Window);
  }

  // A control record of the given type at a window's menu bar or toolbar field.
  std::optional<Control> ReadSingle(uint32_t record, RecordType type) {
    if (record == 0 || damaged_) {
      return std::nullopt;
    }
    const fmt::Layout* layout = fmt::FindLayout(static_cast<uint8_t>(type));
    if (!records_.insert(record).second || U8(record, 0) != static_cast<uint8_t>(type) ||
        !Fits(record, 0, layout->size)) {
      damaged_ = true;
      return std::nullopt;
    }
    return ReadControl(record, *layout, 1);
  }

  WindowDefinition ReadWindow(uint32_t record) {
    namespace w = fmt::window;
    records_.clear();
    records_.insert(record);
    WindowDefinition window;
    window.name = String(U32(record, w::kName)).value_or("");
    window.flags = U32(record, w::kFlags);
    window.flags2 = U32(record, w::kFlags2);
    window.position = ReadPosition(record, w::kPosition);
    window.title = String(U32(record, w::kTitle));
    window.icon = String(U32(record, w::kIcon));
    window.wallpaper = String(U32(record, w::kWallpaper));
    window.font = ReadFont(U32(record, w::kFont));
    window.menuBar = ReadSingle(U32(record, w::kMenuBar), RecordType::MenuBar);
    window.toolbar = ReadSingle(U32(record, w::kToolbar), RecordType::Toolbar);
    ReadChain(U32(record, w::kFirstControl), RecordType::Window, 1, window.controls);
    return window;
  }

  // Walks the window chain; calls visit(record, name) until it returns true. False when the chain
  // is damaged.
  template <typename Visit>
  bool WalkWindows(Visit visit) {
    std::unordered_set<uint32_t> seen;
    uint32_t record = buffer_.size() >= 4 ? U32(fmt::kFirstWindowOffset, 0) : 0;
    if (buffer_.size() < 4) {
      damaged_ = true;
    }
    for (; record != 0 && !damaged_; record = U32(record, fmt::window::kNext)) {
      if (!seen.insert(record).second || !WindowRecord(record)) {
        damaged_ = true;
        break;
      }
      std::optional<std::string> name = String(U32(record, fmt::window::kName));
      if (damaged_) {
        break;
      }
      if (visit(record, name.value_or(""))) {
        return true;
      }
    }
    return !damaged_;
  }

 private:
  uint8_t At(uint32_t offset, uint32_t field) const {
    return buffer_[offset - fmt::kOffsetBias + field];
  }

  std::span<const uint8_t> buffer_;
  bool damaged_ = false;
  std::unordered_set<uint32_t> records_;
};

void SetError(LookupError* error, LookupError value) {
  if (error != nullptr) {
    *error = value;
  }
}

// The definition buffer of a resource, or nullopt when its tag has no terminator.
std::optional<std::span<const uint8_t>> Buffer(std::span<const uint8_t> resource,
                                               std::string_view* tag) {
  auto nul = std::find(resource.begin(), resource.end(), uint8_t{0});
  if (nul == resource.end()) {
    return std::nullopt;
  }
  size_t length = static_cast<size_t>(nul - resource.begin());
  *tag = std::string_view(reinterpret_cast<const char*>(resource.data()), length);
  return resource.subspan(length + 1);
}

}  // namespace

std::string_view LookupErrorText(LookupError error) {
  switch (error) {
    case LookupError::None:
      return "no error";
    case LookupError::NoResource:
      return "no definition resource of that name";
    case LookupError::TagMismatch:
      return "no definition resource carries that tag";
    case LookupError::NoSuchWindow:
      return "no window of that name in the definition set";
    case LookupError::Damaged:
      return "the definition is damaged";
  }
  return "unknown error";
}

std::string DefinitionResourceName(std::string_view tag) {
  size_t dollar = tag.find('$');
  std::string name(dollar == std::string_view::npos ? tag : tag.substr(dollar + 1));
  return name + "_RSC";
}

std::optional<std::string> ResourceTag(std::span<const uint8_t> resource) {
  std::string_view tag;
  if (!Buffer(resource, &tag)) {
    return std::nullopt;
  }
  return std::string(tag);
}

std::optional<WindowDefinition> ReadWindowDefinition(std::span<const uint8_t> resource,
                                                     std::string_view tag,
                                                     std::string_view windowName,
                                                     LookupError* error) {
  std::string_view stored;
  std::optional<std::span<const uint8_t>> buffer = Buffer(resource, &stored);
  if (!buffer) {
    SetError(error, LookupError::Damaged);
    return std::nullopt;
  }
  if (stored != tag) {
    SetError(error, LookupError::TagMismatch);
    return std::nullopt;
  }
  Reader reader(*buffer);
  std::optional<WindowDefinition> found;
  bool intact = reader.WalkWindows([&](uint32_t record, const std::string& name) {
    if (name != windowName) {
      return false;
    }
    found = reader.ReadWindow(record);
    return true;
  });
  if (!intact || reader.Damaged()) {
    SetError(error, LookupError::Damaged);
    return std::nullopt;
  }
  if (!found) {
    SetError(error, LookupError::NoSuchWindow);
    return std::nullopt;
  }
  SetError(error, LookupError::None);
  return found;
}

std::optional<DefinitionSet> ReadDefinitionSet(std::span<const uint8_t> resource,
                                               LookupError* error) {
  std::string_view tag;
  std::optional<std::span<const uint8_t>> buffer = Buffer(resource, &tag);
  if (!buffer) {
    SetError(error, LookupError::Damaged);
    return std::nullopt;
  }
  DefinitionSet set{std::string(tag), {}};
  Reader reader(*buffer);
  bool intact = reader.WalkWindows([&](uint32_t record, const std::string&) {
    set.windows.push_back(reader.ReadWindow(record));
    return reader.Damaged();
  });
  if (!intact || reader.Damaged()) {
    SetError(error, LookupError::Damaged);
    return std::nullopt;
  }
  SetError(error, LookupError::None);
  return set;
}

std::vector<Binding> BindingOrder(const WindowDefinition& window) {
  std::vector<Binding> order;
  auto visit = [&order](const auto& self, const Control& control) -> void {
    if (control.variable) {
      order.push_back({control.number, Binding::Kind::Variable});
    }
    if (control.type == RecordType::List) {
      order.push_back({control.number, Binding::Kind::Rows});
    }
    for (const Control& child : control.children) {
      self(self, child);
    }
  };
  if (window.menuBar) {
    visit(visit, *window.menuBar);
  }
  if (window.toolbar) {
    visit(visit, *window.toolbar);
  }
  for (const Control& control : window.controls) {
    visit(visit, control);
  }
  return order;
}

const Control* FindControl(const WindowDefinition& window, uint16_t number) {
  if (number == 0) {
    return nullptr;
  }
  auto search = [number](const auto& self, const Control& control) -> const Control* {
    if (control.number == number) {
      return &control;
    }
    for (const Control& child : control.children) {
      if (const Control* found = self(self, child)) {
        return found;
      }
    }
    return nullptr;
  };
  std::vector<const Control*> roots;
  if (window.menuBar) {
    roots.push_back(&*window.menuBar);
  }
  if (window.toolbar) {
    roots.push_back(&*window.toolbar);
  }
  for (const Control& control : window.controls) {
    roots.push_back(&control);
  }
  for (const Control* root : roots) {
    if (const Control* found = search(search, *root)) {
      return found;
    }
  }
  return nullptr;
}

}  // namespace vantora::windows
