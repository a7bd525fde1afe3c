// SPDX-License-Identifier: GPL-3.0-or-later
// The definition reader against hand-built resources: fields at their byte offsets, the lookup
// across modules, and damaged or hostile data failing cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/resources/resources.h"
#include "windows/definition.h"

namespace vantora::windows {
namespace {

// Builds a resource byte by byte. Field offsets in the tests are written out as numbers, so a
// wrong offset in the reader's own tables shows here.
class Image {
 public:
  explicit Image(std::string tag) : tag_(std::move(tag)) { buffer_.resize(4); }

  // Offsets count from two bytes before the buffer.
  uint32_t Here() const { return static_cast<uint32_t>(buffer_.size()) + 2; }
  uint32_t Block(size_t size) {
    uint32_t offset = Here();
    buffer_.resize(buffer_.size() + size, 0);
    return offset;
  }
  uint32_t Str(std::string_view text) {
    uint32_t offset = Block(text.size() + 1);
    std::memcpy(&buffer_[offset - 2], text.data(), text.size());
    return offset;
  }
  void U8(uint32_t at, uint32_t field, uint8_t value) { buffer_[at - 2 + field] = value; }
  void U16(uint32_t at, uint32_t field, uint16_t value) {
    U8(at, field, static_cast<uint8_t>(value));
    U8(at, field + 1, static_cast<uint8_t>(value >> 8));
  }
  void U32(uint32_t at, uint32_t field, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i) {
      U8(at, field + i, static_cast<uint8_t>(value >> (8 * i)));
    }
  }
  void Pos(uint32_t at, uint32_t field, int32_t x, int32_t y, int32_t w, int32_t h) {
    U32(at, field, static_cast<uint32_t>(x));
    U32(at, field + 4, static_cast<uint32_t>(y));
    U32(at, field + 8, static_cast<uint32_t>(w));
    U32(at, field + 12, static_cast<uint32_t>(h));
  }
  void FirstWindow(uint32_t window) { U32(2, 0, window); }

  // A window record named name; the caller links it.
  uint32_t Window(std::string_view name) {
    uint32_t text = Str(name);
    uint32_t window = Block(114);
    U8(window, 0, 25);
    U32(window, 33, text);
    return window;
  }
  // A control record with its head filled in.
  uint32_t Record(uint8_t type, size_t size, uint16_t number) {
    uint32_t record = Block(size);
    U8(record, 0, type);
    U16(record, 13, number);
    return record;
  }
  uint32_t FontBlock(std::string_view face, int32_t size, uint32_t colour, int32_t weight) {
    uint32_t block = Block(16);
    U32(block, 0, Str(face));
    U32(block, 4, static_cast<uint32_t>(size));
    U32(block, 8, colour);
    U32(block, 12, static_cast<uint32_t>(weight));
    return block;
  }
  uint32_t Var(uint8_t type, uint32_t size) {
    uint32_t block = Block(9);
    U8(block, 0, type);
    U32(block, 1, size);
    return block;
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes(tag_.begin(), tag_.end());
    bytes.push_back(0);
    bytes.insert(bytes.end(), buffer_.begin(), buffer_.end());
    return bytes;
  }
  size_t Size() const { return buffer_.size(); }

 private:
  std::string tag_;
  std::vector<uint8_t> buffer_;
};

constexpr const char* kTag = "test$TESTSET";

std::optional<WindowDefinition> Read(const Image& image, std::string_view name,
                                     LookupError* why = nullptr) {
  return ReadWindowDefinition(image.Bytes(), kTag, name, why);
}

LookupError Why(const Image& image, std::string_view name) {
  LookupError why = LookupError::None;
  Read(image, name, &why);
  return why;
}

TEST(DefinitionFormat, OffsetsCountFromTwoBytesBeforeTheBuffer) {
  // With the 17-character tag, offset 0 is resource byte 16: the window at offset 6 starts at
  // resource byte 22, right after the first-window value.
  Image image("cdplayer$CDPLAYER");
  uint32_t window = image.Window("W");  // the name string comes first, at offset 6
  image.FirstWindow(window);
  std::vector<uint8_t> bytes = image.Bytes();
  EXPECT_EQ(bytes[16 + 6], 'W');
  EXPECT_EQ(bytes[16 + window], 25);
  std::optional<WindowDefinition> read = ReadWindowDefinition(bytes, "cdplayer$CDPLAYER", "W");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->name, "W");
}

TEST(DefinitionFormat, WindowRecordFields) {
  Image image(kTag);
  uint32_t font = image.FontBlock("Face", 9, 0x00336699, 700);
  uint32_t title = image.Str("Title");
  uint32_t icon = image.Str("Icon.ico");
  uint32_t wallpaper = image.Str("~Back.bmp");
  uint32_t window = image.Window("W");
  image.U32(window, 5, 0x800);
  image.Pos(window, 13, INT32_MIN, -5, 172, 202);
  image.U32(window, 37, font);
  image.U32(window, 41, title);
  image.U32(window, 57, icon);
  image.U32(window, 81, 0x3022);
  image.U32(window, 110, wallpaper);
  image.FirstWindow(window);

  std::optional<WindowDefinition> read = Read(image, "W");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->flags, 0x800u);
  EXPECT_EQ(read->flags2, 0x3022u);
  EXPECT_EQ(read->position, (Position{INT32_MIN, -5, 172, 202}));
  EXPECT_EQ(read->title, "Title");
  EXPECT_EQ(read->icon, "Icon.ico");
  EXPECT_EQ(read->wallpaper, "~Back.bmp");
  ASSERT_TRUE(read->font);
  EXPECT_EQ(read->font->face, "Face");
  EXPECT_EQ(read->font->pointSize, 9);
  EXPECT_EQ(read->font->colour, 0x00336699u);
  EXPECT_EQ(read->font->weight, 700);
  EXPECT_FALSE(read->menuBar);
  EXPECT_FALSE(read->toolbar);
  EXPECT_TRUE(read->controls.empty());
}

TEST(DefinitionFormat, OffsetZeroMeansAbsent) {
  Image image(kTag);
  uint32_t window = image.Window("W");
  image.FirstWindow(window);
  uint32_t button = image.Record(9, 90, 4);
  uint32_t list = image.Record(14, 105, 5);
  uint32_t group = image.Record(13, 77, 6);
  image.U32(button, 1, list);
  image.U32(list, 1, group);
  image.U32(window, 29, button);

  std::optional<WindowDefinition> read = Read(image, "W");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->title, std::nullopt);
  EXPECT_EQ(read->icon, std::nullopt);
  EXPECT_EQ(read->font, std::nullopt);
  EXPECT_EQ(read->wallpaper, std::nullopt);
  ASSERT_EQ(read->controls.size(), 3u);
  const Control& b = read->controls[0];
  EXPECT_EQ(b.number, 4);
  EXPECT_EQ(b.text, std::nullopt);
  EXPECT_EQ(b.icon, std::nullopt);
  EXPECT_EQ(b.tip, std::nullopt);
  EXPECT_EQ(b.statusText, std::nullopt);
  EXPECT_EQ(b.font, std::nullopt);
  EXPECT_TRUE(b.dropIds.empty());
  const Control& l = read->controls[1];
  EXPECT_EQ(l.variable, std::nullopt);
  EXPECT_EQ(l.format, std::nullopt);
  EXPECT_EQ(l.colours, std::nullopt);
  EXPECT_EQ(l.dropRows, 0);
  EXPECT_TRUE(l.dragIds.empty());
  EXPECT_TRUE(read->controls[2].children.empty());
}

// One record of every type the player uses, each field set at its documented offset.
struct Built {
  Image image{kTag};
};

Built EveryRecordType() {
  Built built;
  Image& im = built.image;
  uint32_t window = im.Window("W");
  im.FirstWindow(window);

  // Menu bar, then directly its first menu; the menu's text is stored before the menu bar.
  uint32_t fileText = im.Str("&File");
  uint32_t menuBar = im.Record(22, 15, 0);
  uint32_t menu = im.Record(19, 57, 1);
  im.U32(menu, 25, fileText);
  uint32_t itemVar = im.Var(6, 4);
  uint32_t itemText = im.Str("&Check");
  uint32_t item = im.Record(20, 53, 2);
  im.U8(item, 5, 1);
  im.U32(item, 21, itemVar);
  im.U32(item, 25, itemText);
  uint32_t exitText = im.Str("E&xit");
  uint32_t exit = im.Record(20, 53, 3);
  im.U32(exit, 25, exitText);
  im.U32(exit, 49, 15);
  im.U32(item, 1, exit);
  im.U32(menu, 53, item);
  im.U32(window, 93, menuBar);

  // Toolbar with one button carrying every button field.
  uint32_t status = im.Str("status");
  uint32_t tip = im.Str("tip");
  uint32_t font = im.FontBlock("Arial", 8, 0x00800080, 400);
  uint32_t text = im.Str("&Go");
  uint32_t icon = im.Str("Go.ico");
  uint32_t dropText = im.Str("Move Track");
  uint32_t drop = im.Block(8);
  im.U32(drop, 0, dropText);
  uint32_t button = im.Record(9, 90, 10);
  im.U32(button, 5, 0x40);
  im.U32(button, 9, drop);
  im.Pos(button, 21, 1, 2, 3, 4);
  im.U32(button, 37, status);
  im.U32(button, 41, tip);
  im.U32(button, 57, font);
  im.U32(button, 69, text);
  im.U32(button, 73, icon);
  im.U8(button, 85, 7);
  im.U16(button, 86, 50);
  im.U16(button, 88, 25);
  uint32_t toolbarPaper = im.Str("~Paper.bmp");
  uint32_t toolbar = im.Record(23, 78, 0);
  im.Pos(toolbar, 21, 0, 0, 135, 23);
  im.U32(toolbar, 69, button);
  im.U32(toolbar, 74, toolbarPaper);
  im.U32(window, 97, toolbar);

  // Body: sheet > tab > group > entry; then list, text box, both strings, prompt, region.
  uint32_t entryVar = im.Var(18, 60);
  uint32_t picture = im.Str("s60");
  uint32_t keys[3];
  keys[0] = im.Block(8);
  keys[1] = im.Block(8);
  keys[2] = im.Block(8);
  im.U32(keys[0], 0, 0x222);
  im.U32(keys[0], 4, keys[2]);  // stored order is the chain's, not the buffer's
  im.U32(keys[2], 0, 0x22);
  im.U32(keys[2], 4, keys[1]);
  im.U32(keys[1], 0, 0x26);
  uint32_t entry = im.Record(8, 77, 23);
  im.U32(entry, 21, entryVar);
  im.Pos(entry, 25, 21, 32, INT32_MIN, INT32_MIN);
  im.U32(entry, 41, status);
  im.U32(entry, 45, tip);
  im.U32(entry, 57, keys[0]);
  im.U32(entry, 73, picture);
  uint32_t groupText = im.Str("&Artist");
  uint32_t group = im.Record(13, 77, 22);
  im.Pos(group, 21, 15, 22, 148, 24);
  im.U32(group, 57, font);
  im.U32(group, 69, groupText);
  im.U32(group, 73, entry);
  uint32_t tabText = im.Str("Album Properties");
  uint32_t tab = im.Record(38, 62, 21);
  im.U32(tab, 50, tabText);
  im.U32(tab, 58, group);
  uint32_t sheet = im.Record(37, 81, 20);
  im.Pos(sheet, 25, 6, 5, 319, 201);
  im.U32(sheet, 77, tab);

  uint32_t listVar = im.Var(18, 60);
  uint32_t format = im.Str("160L@S40@");
  uint32_t colours = im.Block(12);
  im.U32(colours, 0, 0xFFFFFFFF);
  im.U32(colours, 4, 0x000000FF);
  im.U32(colours, 8, 0x00FF0000);
  uint32_t dragA = im.Str("Add Track");
  uint32_t dragB = im.Str("Move Track");
  uint32_t drag1 = im.Block(8);
  uint32_t drag2 = im.Block(8);
  im.U32(drag1, 0, dragA);
  im.U32(drag1, 4, drag2);
  im.U32(drag2, 0, dragB);
  uint32_t list = im.Record(14, 105, 24);
  im.U32(list, 21, listVar);
  im.U32(list, 25, format);
  im.Pos(list, 29, 42, 161, 125, 10);
  im.U32(list, 45, status);
  im.U32(list, 49, tip);
  im.U32(list, 65, font);
  im.U32(list, 73, colours);
  im.U32(list, 77, 4);
  im.U32(list, 101, drag1);
  im.U32(sheet, 1, list);

  uint32_t boxVar = im.Var(18, 60);
  uint32_t box = im.Record(17, 73, 25);
  im.U32(box, 21, boxVar);
  im.Pos(box, 25, 40, 103, 127, 19);
  im.U32(box, 41, status);
  im.U32(box, 45, tip);
  im.U32(box, 61, font);
  im.U32(box, 69, colours);
  im.U32(list, 1, box);

  uint32_t stringVar = im.Var(18, 40);
  uint32_t stringPicture = im.Str("S20");
  uint32_t varString = im.Record(1, 49, 26);
  im.U32(varString, 21, stringVar);
  im.Pos(varString, 25, 52, 9, 103, 10);
  im.U32(varString, 41, stringPicture);
  im.U32(varString, 45, font);
  im.U32(box, 1, varString);

  uint32_t fixedText = im.Str("Hello");
  uint32_t fixed = im.Record(2, 49, 0);
  im.Pos(fixed, 21, -1, 31, 259, 10);
  im.U32(fixed, 41, fixedText);
  im.U32(fixed, 45, font);
  im.U32(varString, 1, fixed);

  uint32_t promptText = im.Str("Title:");
  uint32_t prompt = im.Record(10, 45, 0);
  im.Pos(prompt, 21, 6, 9, INT32_MIN, INT32_MIN);
  im.U32(prompt, 41, promptText);
  im.U32(fixed, 1, prompt);

  uint32_t region = im.Record(4, 37, 27);
  im.Pos(region, 21, 38, 7, 131, 33);
  im.U32(prompt, 1, region);

  im.U32(window, 29, sheet);
  return built;
}

TEST(DefinitionFormat, EveryRecordTypeReadsItsFields) {
  Built built = EveryRecordType();
  LookupError why = LookupError::None;
  std::optional<WindowDefinition> read = Read(built.image, "W", &why);
  ASSERT_TRUE(read) << LookupErrorText(why);

  ASSERT_TRUE(read->menuBar);
  ASSERT_EQ(read->menuBar->children.size(), 1u);
  const Control& menu = read->menuBar->children[0];
  EXPECT_EQ(menu.type, RecordType::Menu);
  EXPECT_EQ(menu.text, "&File");
  ASSERT_EQ(menu.children.size(), 2u);
  EXPECT_TRUE(menu.children[0].IsCheckItem());
  EXPECT_EQ(menu.children[0].variable, (Variable{6, 4, 0}));
  EXPECT_EQ(menu.children[0].text, "&Check");
  EXPECT_FALSE(menu.children[1].IsCheckItem());
  EXPECT_EQ(menu.children[1].action, 15);
  EXPECT_EQ(menu.children[1].number, 3);

  ASSERT_TRUE(read->toolbar);
  EXPECT_EQ(read->toolbar->position, (Position{0, 0, 135, 23}));
  EXPECT_EQ(read->toolbar->wallpaper, "~Paper.bmp");
  ASSERT_EQ(read->toolbar->children.size(), 1u);
  const Control& button = read->toolbar->children[0];
  EXPECT_EQ(button.type, RecordType::Button);
  EXPECT_EQ(button.number, 10);
  EXPECT_EQ(button.flags, 0x40u);
  EXPECT_EQ(button.dropIds, std::vector<std::string>{"Move Track"});
  EXPECT_EQ(button.position, (Position{1, 2, 3, 4}));
  EXPECT_EQ(button.statusText, "status");
  EXPECT_EQ(button.tip, "tip");
  EXPECT_EQ(button.text, "&Go");
  EXPECT_EQ(button.icon, "Go.ico");
  EXPECT_EQ(button.font, (Font{"Arial", 8, Rgb(128, 0, 128), 400}));
  EXPECT_EQ(button.buttonFlags, 7);
  EXPECT_EQ(button.times, (std::array<uint16_t, 2>{50, 25}));

  ASSERT_EQ(read->controls.size(), 7u);
  const Control& sheet = read->controls[0];
  EXPECT_EQ(sheet.type, RecordType::Sheet);
  EXPECT_EQ(sheet.position, (Position{6, 5, 319, 201}));
  ASSERT_EQ(sheet.children.size(), 1u);
  const Control& tab = sheet.children[0];
  EXPECT_EQ(tab.type, RecordType::Tab);
  EXPECT_EQ(tab.number, 21);
  EXPECT_EQ(tab.text, "Album Properties");
  EXPECT_EQ(tab.position, std::nullopt);
  ASSERT_EQ(tab.children.size(), 1u);
  const Control& group = tab.children[0];
  EXPECT_EQ(group.text, "&Artist");
  EXPECT_EQ(group.position, (Position{15, 22, 148, 24}));
  ASSERT_EQ(group.children.size(), 1u);
  const Control& entry = group.children[0];
  EXPECT_EQ(entry.type, RecordType::Entry);
  EXPECT_EQ(entry.variable, (Variable{18, 60, 0}));
  EXPECT_EQ(entry.position, (Position{21, 32, INT32_MIN, INT32_MIN}));
  EXPECT_EQ(entry.statusText, "status");
  EXPECT_EQ(entry.tip, "tip");
  EXPECT_EQ(entry.picture, "s60");
  EXPECT_EQ(entry.alertKeys, (std::vector<uint32_t>{0x222, 0x22, 0x26}));

  const Control& list = read->controls[1];
  EXPECT_EQ(list.type, RecordType::List);
  EXPECT_EQ(list.variable, (Variable{18, 60, 0}));
  EXPECT_EQ(list.format, "160L@S40@");
  EXPECT_EQ(list.position, (Position{42, 161, 125, 10}));
  EXPECT_EQ(list.statusText, "status");
  EXPECT_EQ(list.tip, "tip");
  EXPECT_TRUE(list.font);
  EXPECT_EQ(list.colours, (ColourBlock{0xFFFFFFFF, Rgb(255, 0, 0), Rgb(0, 0, 255)}));
  EXPECT_EQ(list.dropRows, 4);
  EXPECT_EQ(list.dragIds, (std::vector<std::string>{"Add Track", "Move Track"}));

  const Control& box = read->controls[2];
  EXPECT_EQ(box.type, RecordType::TextBox);
  EXPECT_EQ(box.position, (Position{40, 103, 127, 19}));
  EXPECT_EQ(box.statusText, "status");
  EXPECT_TRUE(box.font);
  EXPECT_TRUE(box.colours);
  EXPECT_EQ(box.variable, (Variable{18, 60, 0}));

  const Control& varString = read->controls[3];
  EXPECT_EQ(varString.type, RecordType::VarString);
  EXPECT_EQ(varString.variable, (Variable{18, 40, 0}));
  EXPECT_EQ(varString.position, (Position{52, 9, 103, 10}));
  EXPECT_EQ(varString.picture, "S20");
  EXPECT_EQ(varString.text, std::nullopt);
  EXPECT_TRUE(varString.font);

  const Control& fixed = read->controls[4];
  EXPECT_EQ(fixed.type, RecordType::String);
  EXPECT_EQ(fixed.position, (Position{-1, 31, 259, 10}));
  EXPECT_EQ(fixed.text, "Hello");
  EXPECT_TRUE(fixed.font);

  EXPECT_EQ(read->controls[5].type, RecordType::Prompt);
  EXPECT_EQ(read->controls[5].text, "Title:");
  EXPECT_EQ(read->controls[5].position, (Position{6, 9, INT32_MIN, INT32_MIN}));
  EXPECT_EQ(read->controls[6].type, RecordType::Region);
  EXPECT_EQ(read->controls[6].position, (Position{38, 7, 131, 33}));
  EXPECT_EQ(read->controls[6].number, 27);
}

TEST(DefinitionFormat, WindowChainIsSearchedByName) {
  Image image(kTag);
  uint32_t first = image.Window("ONE");
  uint32_t second = image.Window("TWO");
  uint32_t third = image.Window("TWO");  // only the first of two equal names is ever found
  image.FirstWindow(first);
  image.U32(first, 1, second);
  image.U32(second, 1, third);
  image.U32(second, 81, 2);
  image.U32(third, 81, 3);
  std::optional<WindowDefinition> two = Read(image, "TWO");
  ASSERT_TRUE(two);
  EXPECT_EQ(two->flags2, 2u);
  EXPECT_EQ(Why(image, "THREE"), LookupError::NoSuchWindow);
  EXPECT_EQ(Why(image, "TW"), LookupError::NoSuchWindow);
  EXPECT_EQ(Why(image, "TWO "), LookupError::NoSuchWindow);
}

TEST(DefinitionFormat, EmptyChainFindsNothing) {
  Image image(kTag);
  EXPECT_EQ(Why(image, "W"), LookupError::NoSuchWindow);
}

TEST(DefinitionFormat, TagMustMatchWhole) {
  Image image(kTag);
  image.FirstWindow(image.Window("W"));
  std::vector<uint8_t> bytes = image.Bytes();
  LookupError why = LookupError::None;
  EXPECT_FALSE(ReadWindowDefinition(bytes, "other$TESTSET", "W", &why));
  EXPECT_EQ(why, LookupError::TagMismatch);
  EXPECT_FALSE(ReadWindowDefinition(bytes, "test$TESTSE", "W", &why));
  EXPECT_EQ(why, LookupError::TagMismatch);
  EXPECT_TRUE(ReadWindowDefinition(bytes, kTag, "W", &why));
}

TEST(DefinitionLookup, ResourceNameFromTag) {
  EXPECT_EQ(DefinitionResourceName("cdplayer$CDPLAYER"), "CDPLAYER_RSC");
  EXPECT_EQ(DefinitionResourceName("PLAIN"), "PLAIN_RSC");
  EXPECT_EQ(DefinitionResourceName("a$b$c"), "b$c_RSC");  // the part after the first "$"
  EXPECT_EQ(DefinitionResourceName("x$"), "_RSC");
}

platform::ResourceModule ModuleWith(std::string_view resourceName, const Image& image) {
  platform::ResourceModule module("test");
  std::vector<uint8_t> bytes = image.Bytes();
  module.Add(platform::kDefinitionResourceType, resourceName, bytes);
  return module;
}

TEST(DefinitionLookup, TagWithoutDollarUsesWholeTag) {
  Image image("PLAIN");
  uint32_t window = image.Window("W");
  image.U32(window, 81, 42);
  image.FirstWindow(window);
  platform::ScopedResourceModule loaded(ModuleWith("PLAIN_RSC", image));
  std::optional<WindowDefinition> read = FindWindowDefinition("PLAIN", "W");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->flags2, 42u);
}

TEST(DefinitionLookup, ResourceWithOtherTagIsSkipped) {
  // The program's CDPLAYER_RSC carries "cdplayer$CDPLAYER"; another tag ending in the same
  // resource name must pass it over and find the added module's.
  Image image("other$CDPLAYER");
  uint32_t window = image.Window("P2$CDPLAYWIN");
  image.U32(window, 81, 7);
  image.FirstWindow(window);
  platform::ScopedResourceModule loaded(ModuleWith("CDPLAYER_RSC", image));

  std::optional<WindowDefinition> other = FindWindowDefinition("other$CDPLAYER", "P2$CDPLAYWIN");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->flags2, 7u);
  // The program's own comes first for its own tag.
  std::optional<WindowDefinition> own = FindWindowDefinition("cdplayer$CDPLAYER", "P2$CDPLAYWIN");
  ASSERT_TRUE(own);
  EXPECT_EQ(own->flags2, 0x3022u);

  LookupError why = LookupError::None;
  EXPECT_FALSE(FindWindowDefinition("third$CDPLAYER", "P2$CDPLAYWIN", &why));
  EXPECT_EQ(why, LookupError::TagMismatch);
  EXPECT_FALSE(FindWindowDefinition("x$NOSUCH", "W", &why));
  EXPECT_EQ(why, LookupError::NoResource);
}

TEST(DefinitionLookup, WindowMissingInFirstModuleIsSoughtInTheNext) {
  Image image("cdplayer$CDPLAYER");
  uint32_t window = image.Window("P99$EXTRA");
  image.FirstWindow(window);
  platform::ScopedResourceModule loaded(ModuleWith("CDPLAYER_RSC", image));
  EXPECT_TRUE(FindWindowDefinition("cdplayer$CDPLAYER", "P99$EXTRA"));
}

TEST(DefinitionLookup, DamagedResourceIsPassedOver) {
  Image damaged("cdplayer$CDPLAYER");
  damaged.FirstWindow(0x7FFFFFF0);
  Image good("cdplayer$CDPLAYER");
  good.FirstWindow(good.Window("P98$LATER"));
  platform::ScopedResourceModule first(ModuleWith("CDPLAYER_RSC", damaged));
  platform::ScopedResourceModule second(ModuleWith("CDPLAYER_RSC", good));
  EXPECT_TRUE(FindWindowDefinition("cdplayer$CDPLAYER", "P98$LATER"));
  LookupError why = LookupError::None;
  EXPECT_FALSE(FindWindowDefinition("cdplayer$CDPLAYER", "P97$NONE", &why));
  EXPECT_EQ(why, LookupError::Damaged);  // the reason that says most
}

// Damage: every case must fail as damaged, not crash, hang or read outside the resource (the
// sanitizer build checks the last).
struct DamageCase {
  const char* name;
  void (*damage)(Image& image, uint32_t window);
  // Damage after the window in the chain shows only to a search that walks past it.
  const char* lookup = "W";
};

const DamageCase kDamage[] = {
    {"first window past the end", [](Image& im, uint32_t) { im.FirstWindow(100000); }},
    {"first window offset 1, before the buffer", [](Image& im, uint32_t) { im.FirstWindow(1); }},
    {"first window offset near 2^32", [](Image& im, uint32_t) { im.FirstWindow(0xFFFFFFFE); }},
    {"window record cut by the end",
     [](Image& im, uint32_t) { im.FirstWindow(static_cast<uint32_t>(im.Size()) - 50); }},
    {"window chain points at a control",
     [](Image& im, uint32_t w) { im.U32(w, 1, im.Record(9, 90, 1)); }, "X"},
    {"window chain loops", [](Image& im, uint32_t w) { im.U32(w, 1, w); }, "X"},
    {"window chain loops back to the first",
     [](Image& im, uint32_t w) {
       uint32_t second = im.Window("V");
       im.U32(w, 1, second);
       im.U32(second, 1, w);
     },
     "X"},
    {"name offset past the end", [](Image& im, uint32_t w) { im.U32(w, 33, 0x10000); }},
    {"title offset past the end", [](Image& im, uint32_t w) { im.U32(w, 41, 0x10000); }},
    {"string without NUL at the end",
     [](Image& im, uint32_t w) {
       uint32_t text = im.Block(3);
       im.U8(text, 0, 'a');
       im.U8(text, 1, 'b');
       im.U8(text, 2, 'c');
       im.U32(w, 41, text);
     }},
    {"font block cut by the end",
     [](Image& im, uint32_t w) { im.U32(w, 37, static_cast<uint32_t>(im.Size()) - 8); }},
    {"control chain loops onto itself",
     [](Image& im, uint32_t w) {
       uint32_t b = im.Record(9, 90, 1);
       im.U32(b, 1, b);
       im.U32(w, 29, b);
     }},
    {"control chain loops back two records",
     [](Image& im, uint32_t w) {
       uint32_t a = im.Record(4, 37, 1);
       uint32_t b = im.Record(4, 37, 2);
       im.U32(a, 1, b);
       im.U32(b, 1, a);
       im.U32(w, 29, a);
     }},
    {"group holds itself",
     [](Image& im, uint32_t w) {
       uint32_t g = im.Record(13, 77, 1);
       im.U32(g, 73, g);
       im.U32(w, 29, g);
     }},
    {"two parents share a child",
     [](Image& im, uint32_t w) {
       uint32_t child = im.Record(4, 37, 3);
       uint32_t g1 = im.Record(13, 77, 1);
       uint32_t g2 = im.Record(13, 77, 2);
       im.U32(g1, 73, child);
       im.U32(g2, 73, child);
       im.U32(g1, 1, g2);
       im.U32(w, 29, g1);
     }},
    {"unknown record type in the body",
     [](Image& im, uint32_t w) { im.U32(w, 29, im.Record(99, 90, 1)); }},
    {"menu record in the body", [](Image& im, uint32_t w) { im.U32(w, 29, im.Record(19, 57, 1)); }},
    {"window record in the body", [](Image& im, uint32_t w) { im.U32(w, 29, w); }},
    {"button record cut by the end",
     [](Image& im, uint32_t w) {
       uint32_t b = im.Record(4, 37, 1);  // room for a region, not a button
       im.U8(b, 0, 9);
       im.U32(w, 29, b);
     }},
    {"menu bar not followed by a menu",
     [](Image& im, uint32_t w) {
       uint32_t bar = im.Record(22, 15, 0);
       im.Record(9, 90, 1);
       im.U32(w, 93, bar);
     }},
    {"menu bar at the very end",
     [](Image& im, uint32_t w) { im.U32(w, 93, im.Record(22, 15, 0)); }},
    {"toolbar field points at a group",
     [](Image& im, uint32_t w) { im.U32(w, 97, im.Record(13, 77, 0)); }},
    {"drop-id list loops",
     [](Image& im, uint32_t w) {
       uint32_t element = im.Block(8);
       im.U32(element, 0, im.Str("Move Track"));
       im.U32(element, 4, element);
       uint32_t r = im.Record(4, 37, 1);
       im.U32(r, 9, element);
       im.U32(w, 29, r);
     }},
    {"alert-key list loops",
     [](Image& im, uint32_t w) {
       uint32_t a = im.Block(8);
       uint32_t b = im.Block(8);
       im.U32(a, 4, b);
       im.U32(b, 4, a);
       uint32_t e = im.Record(8, 77, 1);
       im.U32(e, 57, a);
       im.U32(w, 29, e);
     }},
    {"variable descriptor cut by the end",
     [](Image& im, uint32_t w) {
       uint32_t e = im.Record(8, 77, 1);
       im.U32(e, 21, static_cast<uint32_t>(im.Size()) - 4);
       im.U32(w, 29, e);
     }},
};

TEST(DefinitionDamage, FailsCleanly) {
  for (const DamageCase& c : kDamage) {
    SCOPED_TRACE(c.name);
    Image image(kTag);
    uint32_t window = image.Window("W");
    image.FirstWindow(window);
    c.damage(image, window);
    EXPECT_EQ(Why(image, c.lookup), LookupError::Damaged);
    std::vector<uint8_t> bytes = image.Bytes();
    EXPECT_FALSE(ReadDefinitionSet(bytes));
  }
}

TEST(DefinitionDamage, NestingDepthIsBounded) {
  auto nested = [](int depth) {
    Image image(kTag);
    uint32_t window = image.Window("W");
    image.FirstWindow(window);
    uint32_t inner = 0;
    for (int i = 0; i < depth; ++i) {
      uint32_t group = image.Record(13, 77, 0);
      image.U32(group, 73, inner);
      inner = group;
    }
    image.U32(window, 29, inner);
    return image;
  };
  EXPECT_TRUE(Read(nested(20), "W"));
  EXPECT_EQ(Why(nested(200), "W"), LookupError::Damaged);
}

TEST(DefinitionDamage, ResourceWithoutTagTerminator) {
  std::vector<uint8_t> bytes = {'c', 'd'};
  LookupError why = LookupError::None;
  EXPECT_FALSE(ReadWindowDefinition(bytes, "cd", "W", &why));
  EXPECT_EQ(why, LookupError::Damaged);
  EXPECT_FALSE(ReadWindowDefinition({}, "", "W", &why));
  EXPECT_EQ(why, LookupError::Damaged);
  EXPECT_EQ(ResourceTag(bytes), std::nullopt);
}

TEST(DefinitionDamage, EveryTruncationOfThePlayersDefinitionFails) {
  std::optional<platform::ResourceBytes> resource =
      platform::ProgramModule().Find("DABDUMP", "CDPLAYER_RSC");
  ASSERT_TRUE(resource);
  std::vector<uint8_t> whole(resource->begin(), resource->end());
  ASSERT_TRUE(ReadDefinitionSet(whole));
  // The About window is written last, so every shorter prefix cuts something it needs.
  for (size_t size = 0; size < whole.size(); ++size) {
    std::span<const uint8_t> prefix(whole.data(), size);
    LookupError why = LookupError::None;
    ASSERT_FALSE(ReadWindowDefinition(prefix, "cdplayer$CDPLAYER", "P27$ABOUTWINDOW", &why))
        << size;
    ASSERT_EQ(why, LookupError::Damaged) << size;
    ASSERT_FALSE(ReadDefinitionSet(prefix)) << size;
  }
}

TEST(DefinitionDamage, EveryFlippedByteReadsOrFailsCleanly) {
  std::optional<platform::ResourceBytes> resource =
      platform::ProgramModule().Find("DABDUMP", "CDPLAYER_RSC");
  ASSERT_TRUE(resource);
  std::vector<uint8_t> bytes(resource->begin(), resource->end());
  size_t read = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint8_t saved = bytes[i];
    bytes[i] = static_cast<uint8_t>(saved ^ 0xFF);
    if (ReadDefinitionSet(bytes)) {
      ++read;  // a changed text or number still reads
    }
    bytes[i] = saved;
  }
  EXPECT_GT(read, 0u);
}

}  // namespace
}  // namespace vantora::windows
