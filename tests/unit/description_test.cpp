// SPDX-License-Identifier: GPL-3.0-or-later
// Window descriptions: what the compiler accepts and refuses, and what the writer lays down.
#include "windows/description.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/resources/resources.h"
#include "windows/writer.h"

namespace vantora::windows {
namespace {

std::vector<uint8_t> PlayerResource() {
  std::optional<platform::ResourceBytes> bytes =
      platform::ProgramModule().Find("DABDUMP", "CDPLAYER_RSC");
  return bytes ? std::vector<uint8_t>(bytes->begin(), bytes->end()) : std::vector<uint8_t>{};
}

TEST(Description, DumpOfThePlayersSetCompilesToTheSameBytes) {
  std::vector<uint8_t> original = PlayerResource();
  std::optional<DefinitionSet> set = ReadDefinitionSet(original);
  ASSERT_TRUE(set);
  DescriptionError error;
  std::optional<DefinitionSet> parsed = ParseDescription(DumpDefinitionSet(*set), &error);
  ASSERT_TRUE(parsed) << error.line << ": " << error.message;
  EXPECT_EQ(*parsed, *set);
  EXPECT_EQ(WriteDefinitionSet(*parsed), original);
}

TEST(Description, ContinuationLinesAndCommentsAndEscapes) {
  const char* text = R"(# a comment
set t$SET   # trailing comment
window "W 1"
  flags 0x10 8
  at default -1 10 20
  title "say \"hi\"\t\\ \x41"
  3 button at 1 2 3 4
      text "#not a comment"
      font window window 700 0x00FF00
    # a comment between attributes, indented anywhere
      tip "t"
)";
  DescriptionError error;
  std::optional<DefinitionSet> set = ParseDescription(text, &error);
  ASSERT_TRUE(set) << error.line << ": " << error.message;
  EXPECT_EQ(set->tag, "t$SET");
  ASSERT_EQ(set->windows.size(), 1u);
  const WindowDefinition& window = set->windows[0];
  EXPECT_EQ(window.name, "W 1");
  EXPECT_EQ(window.flags, 0x10u);
  EXPECT_EQ(window.flags2, 8u);
  EXPECT_EQ(window.position, (Position{format::kDefaultPosition, -1, 10, 20}));
  EXPECT_EQ(window.title, "say \"hi\"\t\\ A");
  ASSERT_EQ(window.controls.size(), 1u);
  const Control& button = window.controls[0];
  EXPECT_EQ(button.text, "#not a comment");
  EXPECT_EQ(button.tip, "t");
  EXPECT_EQ(button.font, (Font{std::nullopt, 0, 0x00FF00, 700}));
}

struct Refusal {
  const char* name;
  const char* body;  // the lines after "set s" and "window W"
  int line;          // the line the error names
  const char* says;  // part of the message
};

const Refusal kRefusals[] = {
    {"attribute the kind does not store", "  1 group at 1 1 1 1 tip \"x\"", 3, "group has no tip"},
    {"text on a region", "  1 region at 1 1 1 1\n    text \"x\"", 4, "region has no text"},
    {"check on a button", "  1 button at 1 1 1 1 check", 3, "only a menu item"},
    {"unknown kind", "  1 slider at 1 1 1 1", 3, "unknown control kind"},
    {"unknown attribute", "  1 button at 1 1 1 1 colour 3", 3, "unknown attribute"},
    {"number used twice", "  4 button at 1 1 1 1\n  0 group at 1 1 1 1\n    4 region at 1 1 1 1", 5,
     "used twice"},
    {"number too large", "  65536 button at 1 1 1 1", 3, "out of range"},
    {"missing position", "  1 button text \"x\"\n  2 button at 1 1 1 1", 3, "needs a position"},
    {"missing position at the end", "  1 button text \"x\"", 3, "needs a position"},
    {"position too short", "  1 button at 1 2 3", 3, "expected a coordinate"},
    {"button holds a control", "  1 button at 1 1 1 1\n    2 region at 1 1 1 1", 4,
     "cannot hold a region"},
    {"tab outside a sheet", "  1 tab text \"x\"", 3, "cannot hold a tab"},
    {"menu item in the body", "  1 item text \"x\"", 3, "cannot hold a item"},
    {"menu bar without menus", "  0 menubar\n  1 button at 1 1 1 1", 3, "at least one menu"},
    {"two toolbars", "  0 toolbar at 0 0 1 1\n  0 toolbar at 0 0 1 1", 4, "one toolbar"},
    {"attribute twice", "  1 button at 1 1 1 1 tip \"a\"\n    tip \"b\"", 4, "given twice"},
    {"text without closing quote", "  1 button at 1 1 1 1 tip \"a", 3, "closing quote"},
    {"NUL inside a text", "  1 button at 1 1 1 1 tip \"a\\x00b\"", 3, "NUL"},
    {"unknown escape", "  1 button at 1 1 1 1 tip \"a\\qb\"", 3, "unknown escape"},
    {"tab indentation", "\t1 button at 1 1 1 1", 3, "not tabs"},
    {"control not indented under the window", "1 button at 1 1 1 1", 3, "outside a window"},
    {"colour part above 255", "  1 button at 1 1 1 1 font \"A\" 8 bold rgb 0 256 0", 3,
     "out of range"},
    {"bad number", "  1 button at 1 1 x1 1", 3, "expected a coordinate"},
    {"text where a word belongs", "  \"x\"", 3, "not a text"},
    {"empty alert-key list", "  1 entry at 1 1 1 1 alertkeys", 3, "at least one key"},
    {"empty drop-id list", "  1 region at 1 1 1 1 dropids", 3, "at least one drag"},
};

TEST(Description, RefusesWithLineAndReason) {
  for (const Refusal& refusal : kRefusals) {
    SCOPED_TRACE(refusal.name);
    std::string text = std::string("set s\nwindow W\n") + refusal.body + "\n";
    DescriptionError error;
    EXPECT_FALSE(ParseDescription(text, &error));
    EXPECT_EQ(error.line, refusal.line) << error.message;
    EXPECT_NE(error.message.find(refusal.says), std::string::npos) << error.message;
  }
}

TEST(Description, RefusesSetsWithoutWindowsOrTag) {
  DescriptionError error;
  EXPECT_FALSE(ParseDescription("", &error));
  EXPECT_NE(error.message.find("no definition set"), std::string::npos);
  EXPECT_FALSE(ParseDescription("set s\n", &error));
  EXPECT_NE(error.message.find("no window"), std::string::npos);
  EXPECT_EQ(error.line, 0);
  EXPECT_FALSE(ParseDescription("window W\n", &error));
  EXPECT_EQ(error.line, 1);
  EXPECT_FALSE(ParseDescription("set s\nwindow W\nwindow W\n", &error));
  EXPECT_NE(error.message.find("described twice"), std::string::npos);
}

TEST(Description, NumbersMayRepeatAcrossWindows) {
  EXPECT_TRUE(ParseDescription(
      "set s\nwindow A\n  1 button at 1 1 1 1\nwindow B\n  1 button at 1 1 1 1\n"));
}

// Offsets of the blocks a record refers to: all of them must lie before the record.
TEST(Writer, ReferencedBlocksComeBeforeTheirRecords) {
  std::vector<uint8_t> bytes = PlayerResource();
  ASSERT_FALSE(bytes.empty());
  const size_t base = std::string_view("cdplayer$CDPLAYER").size() + 1 - 2;
  auto u32 = [&](uint32_t offset, uint32_t field) {
    size_t at = base + offset + field;
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
  };
  size_t checked = 0;
  auto before = [&](uint32_t record, uint32_t reference) {
    if (reference != 0) {
      EXPECT_LT(reference, record);
      ++checked;
    }
  };
  auto visit = [&](const auto& self, uint32_t record) -> void {
    for (; record != 0; record = u32(record, 1)) {
      uint8_t type = bytes[base + record];
      const format::Layout* layout = format::FindLayout(type);
      ASSERT_NE(layout, nullptr);
      before(record, u32(record, 9));
      for (int16_t field :
           {layout->variable, layout->text, layout->picture, layout->format, layout->statusText,
            layout->tip, layout->font, layout->icon, layout->colours, layout->dragIds,
            layout->alertKeys, layout->wallpaper}) {
        if (field != format::kNone) {
          before(record, u32(record, static_cast<uint32_t>(field)));
        }
      }
      if (type == 22) {
        // The first menu follows the menu bar directly.
        EXPECT_EQ(bytes[base + record + 15], 19);
        self(self, record + 15);
      } else if (layout->firstChild != format::kNone) {
        self(self, u32(record, static_cast<uint32_t>(layout->firstChild)));
      }
    }
  };
  for (uint32_t window = u32(2, 0); window != 0; window = u32(window, 1)) {
    for (uint32_t field : {33u, 37u, 41u, 57u, 110u}) {
      before(window, u32(window, field));
    }
    for (uint32_t field : {93u, 97u}) {
      if (u32(window, field) != 0) {
        visit(visit, u32(window, field));
      }
    }
    visit(visit, u32(window, 29));
  }
  EXPECT_GT(checked, 200u);
}

TEST(Writer, EmptyListsAndAbsentTextsWriteOffsetZero) {
  DefinitionSet set{"s", {}};
  WindowDefinition window;
  window.name = "W";
  Control region;
  region.type = RecordType::Region;
  region.position = Position{1, 2, 3, 4};
  window.controls.push_back(region);
  set.windows.push_back(window);
  std::vector<uint8_t> bytes = WriteDefinitionSet(set);
  std::optional<DefinitionSet> back = ReadDefinitionSet(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, set);
  // Tag, NUL, first-window value, the name "W", the window record, the region record.
  EXPECT_EQ(bytes.size(), 2u + 4 + 2 + 114 + 37);
}

}  // namespace
}  // namespace vantora::windows
