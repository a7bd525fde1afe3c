// SPDX-License-Identifier: GPL-3.0-or-later
// List controls: rows from the bound queue through the columns of the format string, and the
// format strings themselves.
#include "runtime/list_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/model_window_system.h"
#include "runtime/text.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"
#include "windows/list_format.h"

namespace vantora::runtime {
namespace {

struct PlayRecord {
  char PLTRACKTITLE[TextBytes(60)];
  int32_t PLTRACKNUMBER;
};
constexpr FieldDescriptor kPlayFields[] = {
    {"PLTRACKTITLE", DataType::Text, 0, 60, "S60"},
    {"PLTRACKNUMBER", DataType::Long, offsetof(PlayRecord, PLTRACKNUMBER), 4, ""}};

struct PlayQueue {
  PlayRecord record{};
  QueueDescriptor queue{&record, kPlayFields, nullptr, sizeof(PlayRecord)};
  void Append(std::string_view title, int32_t number = 0) {
    AssignText(record.PLTRACKTITLE, 60, title.data(), title.size());
    record.PLTRACKNUMBER = number;
    QueueAppend(&queue);
  }
};

std::string Padded(std::string_view text, size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

TEST(ListRows, RowsFollowTheQueueWithoutARefresh) {
  PlayQueue q;
  const ListRows rows(&q.queue, "160L@S40@");
  EXPECT_EQ(rows.RowCount(), 0);
  q.Append("So What", 1);
  q.Append("Freddie Freeloader", 2);
  q.Append("Blue in Green", 3);
  EXPECT_EQ(rows.RowCount(), 3);
  EXPECT_EQ(rows.Cell(2, 0), Padded("Freddie Freeloader", 40));
  const uint32_t before = rows.Changes();
  q.Append("All Blues", 4);
  EXPECT_EQ(rows.RowCount(), 4);
  EXPECT_NE(rows.Changes(), before);
  EXPECT_EQ(rows.Cell(4, 0), Padded("All Blues", 40));
  QueueGet(&q.queue, 1);
  QueueDelete(&q.queue);
  EXPECT_EQ(rows.RowCount(), 3);
  EXPECT_EQ(rows.Cell(1, 0), Padded("Freddie Freeloader", 40));
  QueueFree(&q.queue);
  EXPECT_EQ(rows.RowCount(), 0);
  EXPECT_EQ(rows.Cell(1, 0), "");
}

TEST(ListRows, CellsOutsideTheRowsAndColumnsAreEmpty) {
  PlayQueue q;
  q.Append("One");
  const ListRows rows(&q.queue, "160L@S40@");
  for (const auto& [row, column] :
       std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {2, 0}, {-1, 0}, {1, 1}, {1, -1}}) {
    EXPECT_EQ(rows.Cell(row, column), "") << row << "," << column;
  }
  const ListRows none(nullptr, "160L@S40@");
  EXPECT_EQ(none.RowCount(), 0);
  EXPECT_EQ(none.Cell(1, 0), "");
}

TEST(ListRows, PictureCutsALongTitleAndIgnoresLetterCase) {
  PlayQueue q;
  const std::string title = "A Title Of Exactly Sixty Characters For The Column Cut Check";
  ASSERT_EQ(title.size(), 60u);
  q.Append(title);
  q.Append("Short");
  const ListRows s40(&q.queue, "160L@S40@");
  EXPECT_EQ(s40.Cell(1, 0), title.substr(0, 40));
  const ListRows upper(&q.queue, "240L@S60@");
  const ListRows lower(&q.queue, "240L@s60@");
  for (int32_t row = 1; row <= 2; ++row) {
    EXPECT_EQ(upper.Cell(row, 0), lower.Cell(row, 0));
  }
  EXPECT_EQ(upper.Cell(1, 0), title);
}

TEST(ListRows, ColumnsNameTheirFields) {
  PlayQueue q;
  q.Append("Milestones", -12);
  const ListRows rows(&q.queue, "30R#2#40L#1#@S5@");
  ASSERT_EQ(rows.ColumnCount(), 2);
  EXPECT_EQ(rows.Cell(1, 0), "-12");
  EXPECT_EQ(rows.Cell(1, 1), "Miles");
  // After an explicit field the next column takes the one after it: past the record's fields.
  const ListRows beyond(&q.queue, "30R#2#40L");
  EXPECT_EQ(beyond.Cell(1, 1), "");
  EXPECT_EQ(rows.Value(1, 1), Padded("Milestones", 60));
}

TEST(ListRows, DamagedFormatShowsTheFirstFieldAsItIs) {
  PlayQueue q;
  q.Append("Round Midnight");
  const ListRows rows(&q.queue, "160L@S40");
  EXPECT_EQ(rows.ColumnCount(), 1);
  EXPECT_EQ(rows.Cell(1, 0), Padded("Round Midnight", 60));
}

TEST(ListRows, FindRowComparesTheFirstColumnWithoutTrailingBlanks) {
  PlayQueue q;
  q.Append("Album Order");
  q.Append("Favourites");
  const ListRows rows(&q.queue, "160L@S40@");
  EXPECT_EQ(rows.FindRow("Favourites"), 2);
  EXPECT_EQ(rows.FindRow("Favourites   "), 2);
  EXPECT_EQ(rows.FindRow("favourites"), 0);
  EXPECT_EQ(rows.FindRow(""), 0);
}

TEST(FieldText, ReadsEachTypeAndRefusesFieldsPastTheRecord) {
  // A text of two characters takes eight bytes.
  const std::byte record[] = {std::byte{'a'},  std::byte{'b'},  std::byte{0xFE}, std::byte{0xFF},
                              std::byte{0xFF}, std::byte{0xFF}, std::byte{200},  std::byte{'c'},
                              std::byte{'d'},  std::byte{' '},  std::byte{' '},  std::byte{' '},
                              std::byte{' '},  std::byte{' '},  std::byte{' '}};
  struct Row {
    const char* label;
    FieldDescriptor field;
    std::string expected;
  };
  const Row rows[] = {
      {"text", {"T", DataType::Text, 7, 2, ""}, "cd"},
      {"long", {"L", DataType::Long, 2, 4, ""}, "-2"},
      {"byte", {"B", DataType::Byte, 6, 1, ""}, "200"},
      {"byte array", {"A", DataType::Byte, 0, 2, ""}, "ab"},
      {"past the end", {"T", DataType::Text, 5, 3, ""}, ""},
      {"offset past the end", {"T", DataType::Text, 16, 0, ""}, ""},
      {"huge size", {"T", DataType::Text, 1, 0xFFFFFFFFu, ""}, ""},
      {"short long", {"L", DataType::Long, 0, 2, ""}, ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FieldText(record, row.field), row.expected) << row.label;
  }
}

// The list controls of a real window.
class ListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetCurrentWindowSystem(&model_);
    ResetValueStacks();
    window_ = WINDOWCREATE("P2$CDPLAYWIN", "cdplayer$CDPLAYER",
                           {&flag_, &flag_, &byte_, &byte_, &text_, &play_.queue, &text_, &text_,
                            &playlists_.queue, &text_, &status_, &time_, &label_});
    ASSERT_NE(window_, 0) << WindowCreateError();
    WINDOWOPEN(window_);
  }
  void TearDown() override {
    ResetWindows();
    platform::SetCurrentWindowSystem(nullptr);
  }
  // Native ids count the records in definition order: the menu bar and its menus and items take
  // 1 to 11, the toolbar and its buttons 12 to 18, so list 16 is 19 and list 32 is 36.
  const platform::ModelWindowSystem::ControlState& List16() {
    const auto* control = model_.Control(NativeWindowOf(window_), 19);
    EXPECT_EQ(control->spec.kind, platform::NativeKind::DropList);
    return *control;
  }

  platform::ManualClock clock_;
  platform::ScopedClock scoped_{clock_};
  platform::ModelWindowSystem model_{&clock_};
  int32_t flag_ = 0;
  uint8_t byte_ = 0;
  FixedText<60> text_;
  FixedText<40> status_;
  FixedText<5> time_;
  FixedText<26> label_;
  PlayQueue play_;
  PlayQueue playlists_;
  WindowHandle window_ = 0;
};

TEST_F(ListWindowTest, ThreeEntriesShowThreeRowsAndNoneAfterFree) {
  play_.Append("One");
  play_.Append("Two");
  play_.Append("Three");
  const platform::NativeRows* rows = List16().rows;
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->RowCount(), 3);
  EXPECT_EQ(rows->Cell(3, 0), Padded("Three", 40));
  SetSelected(16, 3);
  QueueFree(&play_.queue);
  const int32_t refreshes = List16().refreshes;
  REFRESHCONTROLS(16);
  EXPECT_EQ(rows->RowCount(), 0);
  EXPECT_EQ(List16().refreshes, refreshes + 1);
  // The selection went with the rows.
  EXPECT_EQ(SELECTEDROW(16), 0);
  EXPECT_EQ(List16().selectedRow, 0);
}

TEST_F(ListWindowTest, EachListHasItsOwnQueue) {
  playlists_.Append("Album Order");
  const platform::NativeRows* tracks = List16().rows;
  const platform::NativeRows* lists = model_.Control(NativeWindowOf(window_), 36)->rows;
  ASSERT_NE(lists, nullptr);
  EXPECT_EQ(tracks->RowCount(), 0);
  EXPECT_EQ(lists->RowCount(), 1);
  EXPECT_EQ(lists->Cell(1, 0), Padded("Album Order", 40));
}

struct FormatCase {
  const char* label;
  const char* format;
  windows::ListColumn expected;
};

windows::ListColumn Column(int32_t width, char alignment) {
  windows::ListColumn column;
  column.width = width;
  column.alignment = alignment;
  return column;
}

bool Same(const windows::ListColumn& a, const windows::ListColumn& b) {
  return a.width == b.width && a.alignment == b.alignment && a.indent == b.indent &&
         a.picture == b.picture && a.field == b.field && a.heading == b.heading &&
         a.colours == b.colours && a.flags == b.flags && a.scrollWidth == b.scrollWidth &&
         a.headerValue == b.headerValue && a.treeFlags == b.treeFlags && a.group == b.group;
}

TEST(ListFormat, EveryModifierIsRead) {
  std::vector<FormatCase> cases;
  auto add = [&](const char* label, const char* format, auto change, int32_t width = 160,
                 char alignment = 'L') {
    windows::ListColumn column = Column(width, alignment);
    change(column);
    cases.push_back({label, format, column});
  };
  add("player", "160L@S40@", [](auto& c) { c.picture = "S40"; });
  add(
      "lower-case picture kept", "240L@s60@", [](auto& c) { c.picture = "s60"; }, 240);
  add(
      "right", "160R", [](auto&) {}, 160, 'R');
  add(
      "centred lower case", "160c", [](auto&) {}, 160, 'C');
  add(
      "decimal with indent", "160D(4)", [](auto& c) { c.indent = 4; }, 160, 'D');
  add("field", "160L#3#", [](auto& c) { c.field = 3; });
  add("heading", "160L~Track Title~", [](auto& c) { c.heading = "Track Title"; });
  add("colours", "160LE(1,2,3,4)", [](auto& c) { c.colours = {1, 2, 3, 4}; });
  add("fewer colours", "160LE(255)", [](auto& c) { c.colours = {255}; });
  add("single characters", "160L/?*IMF|_", [](auto& c) { c.flags = "/?*IMF|_"; });
  add("lower-case characters", "160Limf", [](auto& c) { c.flags = "IMF"; });
  add("header value", "160LH(7)", [](auto& c) { c.headerValue = 7; });
  add("tree", "160LT(L1RBI)", [](auto& c) { c.treeFlags = "L1RBI"; });
  add("scroll default", "160LS", [](auto& c) { c.scrollWidth = 100; });
  add("scroll width", "160LS(40)", [](auto& c) { c.scrollWidth = 40; });
  add("all at once", "160R(2)#2#~H~@S5@E(1)M_S(9)H(3)T(B)", [](auto& c) {
    c.alignment = 'R';
    c.indent = 2;
    c.field = 2;
    c.heading = "H";
    c.picture = "S5";
    c.colours = {1};
    c.flags = "M_";
    c.scrollWidth = 9;
    c.headerValue = 3;
    c.treeFlags = "B";
  });
  for (const FormatCase& c : cases) {
    const auto columns = windows::ParseListFormat(c.format);
    ASSERT_TRUE(columns) << c.label;
    ASSERT_EQ(columns->size(), 1u) << c.label;
    EXPECT_TRUE(Same(columns->front(), c.expected)) << c.label;
  }
}

TEST(ListFormat, AModifierGivenTwiceKeepsTheLaterOne) {
  const auto columns = windows::ParseListFormat("160LE(2)@S5@~A~E(1,2,3,4)@S9@~B~");
  ASSERT_TRUE(columns);
  ASSERT_EQ(columns->size(), 1u);
  EXPECT_EQ(columns->front().colours, (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(columns->front().picture, "S9");
  EXPECT_EQ(columns->front().heading, "B");
}

TEST(ListFormat, ColumnsAndGroups) {
  const auto columns = windows::ParseListFormat("[20L@S5@30R]~Both~40C#1#50L");
  ASSERT_TRUE(columns);
  ASSERT_EQ(columns->size(), 4u);
  EXPECT_EQ((*columns)[0].group, 1);
  EXPECT_EQ((*columns)[1].group, 1);
  EXPECT_EQ((*columns)[1].alignment, 'R');
  EXPECT_EQ((*columns)[2].group, 0);
  EXPECT_EQ((*columns)[2].heading, "");  // the heading after "]" belongs to the group
  EXPECT_EQ(windows::ColumnFields(*columns), (std::vector<int32_t>{1, 2, 1, 2}));
  const auto two = windows::ParseListFormat("[10L][20L]");
  ASSERT_TRUE(two);
  EXPECT_EQ((*two)[1].group, 2);
}

TEST(ListFormat, MalformedStringsAreRejectedWhole) {
  const char* bad[] = {
      "",        "L",          "160",        "160X",      "160L@S40", "160L#a#",
      "160L##",  "160L#1234#", "160L~abc",   "160LE(1",   "160LE1",   "160LE(1,2",
      "160LH5",  "160LH()",    "160LH(x)",   "160LT(X)",  "160LT(L",  "160LS(",
      "160LS(5", "160LS(x)",   "[20L",       "20L]",      "[[20L]]",  "160L(3",
      "160L(x)", "160Lq",      "160L@S40@Z", "99999999L", "[]",       "160L 20L",
  };
  for (const char* format : bad) {
    EXPECT_FALSE(windows::ParseListFormat(format)) << '"' << format << '"';
  }
}

}  // namespace
}  // namespace vantora::runtime
