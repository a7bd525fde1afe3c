// SPDX-License-Identifier: GPL-3.0-or-later
// The compiled window definition writer.
#include "windows/writer.h"

#include <algorithm>

namespace vantora::windows {
namespace {

namespace fmt = format;

uint32_t Field(int16_t at) {
  return static_cast<uint32_t>(at);
}

class Writer {
 public:
  std::vector<uint8_t> Finish(const DefinitionSet& set) {
    Reserve(4);  // the first window's offset
    uint32_t previous = 0;
    for (const WindowDefinition& window : set.windows) {
      uint32_t record = WriteWindow(window);
      if (previous == 0) {
        PutU32(fmt::kFirstWindowOffset, 0, record);
      } else {
        PutU32(previous, fmt::window::kNext, record);
      }
      previous = record;
    }
    std::vector<uint8_t> resource(set.tag.begin(), set.tag.end());
    resource.push_back(0);
    resource.insert(resource.end(), buffer_.begin(), buffer_.end());
    return resource;
  }

 private:
  // Offsets of the blocks a record refers to, written before the record.
  struct Aux {
    uint32_t dropIds = 0;
    uint32_t variable = 0;
    uint32_t text = 0;
    uint32_t picture = 0;
    uint32_t format = 0;
    uint32_t statusText = 0;
    uint32_t tip = 0;
    uint32_t font = 0;
    uint32_t icon = 0;
    uint32_t colours = 0;
    uint32_t dragIds = 0;
    uint32_t alertKeys = 0;
    uint32_t wallpaper = 0;
  };

  uint32_t Here() const { return static_cast<uint32_t>(buffer_.size()) + fmt::kOffsetBias; }

  uint32_t Reserve(size_t size) {
    uint32_t offset = Here();
    buffer_.resize(buffer_.size() + size, 0);
    return offset;
  }

  uint8_t& At(uint32_t offset, uint32_t field) {
    return buffer_[offset - fmt::kOffsetBias + field];
  }
  void PutU8(uint32_t offset, uint32_t field, uint8_t value) { At(offset, field) = value; }
  void PutU16(uint32_t offset, uint32_t field, uint16_t value) {
    At(offset, field) = static_cast<uint8_t>(value);
    At(offset, field + 1) = static_cast<uint8_t>(value >> 8);
  }
  void PutU32(uint32_t offset, uint32_t field, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i) {
      At(offset, field + i) = static_cast<uint8_t>(value >> (8 * i));
    }
  }
  void PutI32(uint32_t offset, uint32_t field, int32_t value) {
    PutU32(offset, field, static_cast<uint32_t>(value));
  }
  void PutPosition(uint32_t offset, uint32_t field, const Position& position) {
    PutI32(offset, field, position.x);
    PutI32(offset, field + 4, position.y);
    PutI32(offset, field + 8, position.width);
    PutI32(offset, field + 12, position.height);
  }

  uint32_t String(const std::string& text) {
    uint32_t offset = Reserve(text.size() + 1);
    std::copy(text.begin(), text.end(), &At(offset, 0));
    return offset;
  }
  uint32_t String(const std::optional<std::string>& text) { return text ? String(*text) : 0; }

  uint32_t WriteFont(const std::optional<Font>& font) {
    if (!font) {
      return 0;
    }
    uint32_t block = Reserve(fmt::kFontBlockSize);
    PutU32(block, 0, String(font->face));  // the name follows its block
    PutI32(block, 4, font->pointSize);
    PutU32(block, 8, font->colour);
    PutI32(block, 12, font->weight);
    return block;
  }

  uint32_t WriteVariable(const std::optional<Variable>& variable) {
    if (!variable) {
      return 0;
    }
    uint32_t block = Reserve(fmt::kVariableSize);
    PutU8(block, 0, variable->type);
    PutU32(block, 1, variable->size);
    PutU32(block, 5, variable->reserved);
    return block;
  }

  uint32_t WriteColours(const std::optional<ColourBlock>& colours) {
    if (!colours) {
      return 0;
    }
    uint32_t block = Reserve(fmt::kColourBlockSize);
    for (uint32_t i = 0; i < 3; ++i) {
      PutU32(block, 4 * i, (*colours)[i]);
    }
    return block;
  }

  // Each element is followed by its text.
  uint32_t WriteIdList(const std::vector<std::string>& ids) {
    uint32_t first = 0;
    uint32_t previous = 0;
    for (const std::string& id : ids) {
      uint32_t element = Reserve(fmt::kListElementSize);
      PutU32(element, 0, String(id));
      if (previous == 0) {
        first = element;
      } else {
        PutU32(previous, 4, element);
      }
      previous = element;
    }
    return first;
  }

  uint32_t WriteAlertKeys(const std::vector<uint32_t>& keys) {
    uint32_t first = 0;
    uint32_t previous = 0;
    for (uint32_t key : keys) {
      uint32_t element = Reserve(fmt::kListElementSize);
      PutU32(element, 0, key);
      if (previous == 0) {
        first = element;
      } else {
        PutU32(previous, 4, element);
      }
      previous = element;
    }
    return first;
  }

  Aux WriteAux(const Control& control, const fmt::Layout& layout) {
    Aux aux;
    aux.dropIds = WriteIdList(control.dropIds);
    auto has = [](int16_t field) { return field != fmt::kNone; };
    if (has(layout.variable)) {
      aux.variable = WriteVariable(control.variable);
    }
    if (has(layout.text)) {
      aux.text = String(control.text);
    }
    if (has(layout.picture)) {
      aux.picture = String(control.picture);
    }
    if (has(layout.format)) {
      aux.format = String(control.format);
    }
    if (has(layout.statusText)) {
      aux.statusText = String(control.statusText);
    }
    if (has(layout.tip)) {
      aux.tip = String(control.tip);
    }
    if (has(layout.font)) {
      aux.font = WriteFont(control.font);
    }
    if (has(layout.icon)) {
      aux.icon = String(control.icon);
    }
    if (has(layout.colours)) {
      aux.colours = WriteColours(control.colours);
    }
    if (has(layout.dragIds)) {
      aux.dragIds = WriteIdList(control.dragIds);
    }
    if (has(layout.alertKeys)) {
      aux.alertKeys = WriteAlertKeys(control.alertKeys);
    }
    if (has(layout.wallpaper)) {
      aux.wallpaper = String(control.wallpaper);
    }
    return aux;
  }

  uint32_t WriteRecord(const Control& control, const fmt::Layout& layout, const Aux& aux) {
    uint32_t record = Reserve(layout.size);
    PutU8(record, 0, static_cast<uint8_t>(layout.type));
    PutU32(record, fmt::head::kFlags, control.flags);
    PutU32(record, fmt::head::kDropIds, aux.dropIds);
    PutU16(record, fmt::head::kNumber, control.number);
    auto put = [&](int16_t field, uint32_t value) {
      if (field != fmt::kNone) {
        PutU32(record, Field(field), value);
      }
    };
    if (layout.position != fmt::kNone) {
      PutPosition(record, Field(layout.position), control.position.value_or(Position{}));
    }
    put(layout.variable, aux.variable);
    put(layout.text, aux.text);
    put(layout.picture, aux.picture);
    put(layout.format, aux.format);
    put(layout.statusText, aux.statusText);
    put(layout.tip, aux.tip);
    put(layout.font, aux.font);
    put(layout.icon, aux.icon);
    put(layout.colours, aux.colours);
    put(layout.dropRows, static_cast<uint32_t>(control.dropRows));
    put(layout.dragIds, aux.dragIds);
    put(layout.alertKeys, aux.alertKeys);
    put(layout.wallpaper, aux.wallpaper);
    put(layout.action, static_cast<uint32_t>(control.action));
    if (layout.buttonFlags != fmt::kNone) {
      PutU8(record, Field(layout.buttonFlags), control.buttonFlags);
    }
    if (layout.times != fmt::kNone) {
      PutU16(record, Field(layout.times), control.times[0]);
      PutU16(record, Field(layout.times) + 2, control.times[1]);
    }
    return record;
  }

  // A control, then its children; a menu bar's first menu record goes right after the menu
  // bar's, so that menu's blocks are written before the menu bar.
  uint32_t WriteControl(const Control& control) {
    const fmt::Layout& layout = *fmt::FindLayout(static_cast<uint8_t>(control.type));
    if (control.type == RecordType::MenuBar && !control.children.empty()) {
      const Control& first = control.children.front();
      const fmt::Layout& firstLayout = *fmt::FindLayout(static_cast<uint8_t>(first.type));
      Aux firstAux = WriteAux(first, firstLayout);
      Aux aux = WriteAux(control, layout);
      // The menu bar's own drop-id list would land between the two; write it before both.
      uint32_t record = WriteRecord(control, layout, aux);
      uint32_t firstRecord = WriteRecord(first, firstLayout, firstAux);
      WriteChildren(first, firstLayout, firstRecord);
      uint32_t previous = firstRecord;
      for (size_t i = 1; i < control.children.size(); ++i) {
        uint32_t menu = WriteControl(control.children[i]);
        PutU32(previous, fmt::head::kNext, menu);
        previous = menu;
      }
      return record;
    }
    Aux aux = WriteAux(control, layout);
    uint32_t record = WriteRecord(control, layout, aux);
    WriteChildren(control, layout, record);
    return record;
  }

  void WriteChildren(const Control& control, const fmt::Layout& layout, uint32_t record) {
    if (layout.firstChild == fmt::kNone) {
      return;
    }
    PutU32(record, Field(layout.firstChild), WriteChain(control.children));
  }

  uint32_t WriteChain(const std::vector<Control>& controls) {
    uint32_t first = 0;
    uint32_t previous = 0;
    for (const Control& control : controls) {
      uint32_t record = WriteControl(control);
      if (previous == 0) {
        first = record;
      } else {
        PutU32(previous, fmt::head::kNext, record);
      }
      previous = record;
    }
    return first;
  }

  uint32_t WriteWindow(const WindowDefinition& window) {
    namespace w = fmt::window;
    uint32_t name = String(window.name);
    uint32_t title = String(window.title);
    uint32_t icon = String(window.icon);
    uint32_t wallpaper = String(window.wallpaper);
    uint32_t font = WriteFont(window.font);
    uint32_t record = Reserve(w::kSize);
    PutU8(record, 0, static_cast<uint8_t>(RecordType::Window));
    PutU32(record, w::kFlags, window.flags);
    PutPosition(record, w::kPosition, window.position);
    PutU32(record, w::kName, name);
    PutU32(record, w::kFont, font);
    PutU32(record, w::kTitle, title);
    PutU32(record, w::kIcon, icon);
    PutU32(record, w::kFlags2, window.flags2);
    PutU32(record, w::kWallpaper, wallpaper);
    if (window.menuBar) {
      PutU32(record, w::kMenuBar, WriteControl(*window.menuBar));
    }
    if (window.toolbar) {
      PutU32(record, w::kToolbar, WriteControl(*window.toolbar));
    }
    PutU32(record, w::kFirstControl, WriteChain(window.controls));
    return record;
  }

  std::vector<uint8_t> buffer_;
};

}  // namespace

std::vector<uint8_t> WriteDefinitionSet(const DefinitionSet& set) {
  return Writer().Finish(set);
}

}  // namespace vantora::windows
