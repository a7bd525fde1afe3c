// SPDX-License-Identifier: GPL-3.0-or-later
// The value stack. Owned texts are checked for leaks by the sanitizer build.
#include "runtime/value_stack.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "runtime/decimal.h"

namespace vantora::runtime {
namespace {

class ValueStackTest : public testing::Test {
 protected:
  void SetUp() override { ResetValueStacks(); }
  void TearDown() override { ResetValueStacks(); }

  // Pops every entry, top first.
  static std::vector<std::string> PopAll() {
    std::vector<std::string> texts;
    while (ValueStackDepth() > 0)
      texts.push_back(PopText());
    return texts;
  }
};

using Texts = std::vector<std::string>;

TEST_F(ValueStackTest, PushStringPointsAtTheCallersText) {
  char variable[] = {'a', 'b', 'c'};
  PushString(variable, sizeof variable);
  EXPECT_EQ(EntryFlags(), 0u);
  variable[0] = 'x';
  EXPECT_EQ(TopText(), "xbc");
  EXPECT_EQ(TopText().data(), variable);
  PushString(nullptr, 12);
  EXPECT_EQ(TopText(), "");
  EXPECT_EQ(PopAll(), (Texts{"", "xbc"}));
}

TEST_F(ValueStackTest, PushIntegerWritesDecimalTextInline) {
  struct Row {
    int32_t value;
    const char* text;
  };
  for (const Row row : {Row{0, "0"}, Row{7, "7"}, Row{-7, "-7"}, Row{100, "100"},
                        Row{std::numeric_limits<int32_t>::max(), "2147483647"},
                        Row{std::numeric_limits<int32_t>::min(), "-2147483648"}}) {
    PushInteger(row.value);
    EXPECT_EQ(EntryFlags(), kEntryInline);
    EXPECT_EQ(PopText(), row.text);
  }
}

TEST_F(ValueStackTest, OwnedCopiesDoNotFollowTheSource) {
  char source[] = "Album";
  PushCString(source);
  PushText(std::string_view(source, 2));
  source[0] = 'X';
  EXPECT_EQ(EntryFlags(0), kEntryOwned);
  EXPECT_EQ(EntryFlags(1), kEntryOwned);
  PushCString(nullptr);
  EXPECT_EQ(PopAll(), (Texts{"", "Al", "Album"}));
}

TEST_F(ValueStackTest, PushOntoFullStackIsIgnored) {
  for (size_t i = 0; i < kValueStackSize; ++i)
    PushInteger(static_cast<int32_t>(i));
  PushCString("lost");  // an owned copy that must not leak
  PushText("lost");
  PushString("lost", 4);
  PushInteger(-1);
  EXPECT_EQ(ValueStackDepth(), kValueStackSize);
  EXPECT_EQ(TopText(), std::to_string(kValueStackSize - 1));
  Concatenate();  // room again after popping two
  EXPECT_EQ(ValueStackDepth(), kValueStackSize - 1);
  EXPECT_EQ(TopText(), "3031");
}

TEST_F(ValueStackTest, ConcatenatePutsLowerFirst) {
  PushString("Track ", 6);
  PushInteger(12);
  Concatenate();
  EXPECT_EQ(EntryFlags(), kEntryOwned);
  PushCString(" of ");
  Concatenate();  // both operands owned: both blocks released
  EXPECT_EQ(ValueStackDepth(), 1u);
  EXPECT_EQ(PopText(), "Track 12 of ");
  Concatenate();  // empty stack: one empty entry
  EXPECT_EQ(PopAll(), (Texts{""}));
}

TEST_F(ValueStackTest, CompareTopIsLowerAgainstTop) {
  struct Row {
    const char* lower;
    const char* top;
    int sign;
  };
  for (const Row row : {Row{"ab", "abc", -1}, Row{"abc", "ab", 1}, Row{"abc", "abc   ", 0},
                        Row{"", "  ", 0}, Row{"10", "9", -1}}) {
    PushCString(row.lower);
    PushCString(row.top);
    const int result = CompareTop();
    EXPECT_EQ((result > 0) - (result < 0), row.sign) << row.lower << " vs " << row.top;
    EXPECT_EQ(ValueStackDepth(), 0u);
  }
  EXPECT_EQ(CompareTop(), 0);
}

TEST_F(ValueStackTest, RollMovesTheNthEntryToTheTop) {
  struct Row {
    const char* name;
    int n;
    Texts expectedTopFirst;
  };
  for (const Row& row :
       {Row{"RollTwo", 2, {"A", "C", "B"}}, Row{"RollOne", 1, {"B", "C", "A"}},
        Row{"RollZero", 0, {"C", "B", "A"}}, Row{"BeyondBottom", 3, {"C", "B", "A"}},
        Row{"Negative", -1, {"C", "B", "A"}}}) {
    PushString("A", 1);
    PushCString("B");
    PushString("C", 1);
    Roll(row.n);
    EXPECT_EQ(PopAll(), row.expectedTopFirst) << row.name;
  }
}

TEST_F(ValueStackTest, RolledInlineEntriesKeepTheirOwnText) {
  PushInteger(1);
  PushInteger(22);
  PushInteger(333);
  Roll(2);  // 22, 333, 1
  EXPECT_EQ(EntryFlags(), kEntryInline);
  PushInteger(4444);  // reuses the slot above
  Roll(3);            // 333, 1, 4444, 22
  EXPECT_EQ(PopAll(), (Texts{"22", "4444", "1", "333"}));
}

TEST_F(ValueStackTest, ClipTopShrinksInPlace) {
  const char constant[] = "ab   ";
  PushString(constant, 5);
  ClipTop();
  EXPECT_EQ(TopText(), "ab");
  EXPECT_EQ(TopText().data(), constant);
  Discard();

  PushCString("owned   ");
  ClipTop();
  EXPECT_EQ(TopText(), "owned");
  Discard();  // the whole block is released, not just the clipped length

  PushCString("   ");
  ClipTop();
  EXPECT_EQ(TopText(), "");
  HeapString slot;
  PopToHeap(slot);
  EXPECT_TRUE(slot.empty());
  ClipTop();  // empty stack
  EXPECT_EQ(ValueStackDepth(), 0u);
}

TEST_F(ValueStackTest, OwnTopOutlivesTheVariable) {
  {
    std::string local = "Playlist";
    PushString(local.data(), local.size());
    OwnTop();
    local.assign("XXXXXXXX");
  }
  EXPECT_EQ(EntryFlags(), kEntryOwned);
  EXPECT_EQ(TopText(), "Playlist");
  PushInteger(-45);
  OwnTop();
  EXPECT_EQ(EntryFlags(), kEntryOwned);
  const char* before = TopText().data();
  OwnTop();  // already owned: no second copy
  EXPECT_EQ(TopText().data(), before);
  EXPECT_EQ(PopAll(), (Texts{"-45", "Playlist"}));
  OwnTop();  // empty stack
}

TEST_F(ValueStackTest, PopToFixedCutsOrPads) {
  char field[6];
  PushString("Track 12", 8);
  PopToFixed(field, sizeof field);
  EXPECT_EQ(std::string(field, 6), "Track ");
  PushInteger(42);
  PopToFixed(field, sizeof field);
  EXPECT_EQ(std::string(field, 6), "42    ");
  PopToFixed(field, sizeof field);  // empty stack
  EXPECT_EQ(std::string(field, 6), "      ");
  EXPECT_EQ(ValueStackDepth(), 0u);
}

TEST_F(ValueStackTest, PopToHeapTakesOverOwnedBlocksAndCopiesOthers) {
  HeapString slot;
  PushCString("owned   ");
  ClipTop();
  const char* block = TopText().data();
  PopToHeap(slot);
  EXPECT_EQ(slot.data(), block);  // taken over, not copied
  EXPECT_EQ(slot.view(), "owned");

  std::string variable = "borrowed";
  PushString(variable.data(), variable.size());
  PopToHeap(slot);  // the previous block is released
  EXPECT_NE(slot.data(), variable.data());
  variable[0] = 'X';
  EXPECT_EQ(slot.view(), "borrowed");

  PushInteger(-9);
  PopToHeap(slot);
  EXPECT_EQ(slot.view(), "-9");

  HeapString moved = std::move(slot);
  EXPECT_EQ(moved.view(), "-9");
  EXPECT_TRUE(slot.empty());  // NOLINT(bugprone-use-after-move): a moved-from slot is empty
  PopToHeap(moved);           // empty stack
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(ValueStackDepth(), 0u);
}

TEST_F(ValueStackTest, PopNumberReadsUpTo99Characters) {
  struct Row {
    std::string text;
    const char* value;
  };
  for (const Row& row :
       {Row{"-7", "-7"}, Row{"  42abc", "42"}, Row{"abc", "0"}, Row{"", "0"}, Row{"12:", "12"},
        Row{"3.75", "3.75"}, Row{std::string(98, ' ') + "5", "5"},
        Row{std::string(99, ' ') + "5", "0"}, Row{std::string(98, '0') + "12", "1"}}) {
    PushText(row.text);
    PopNumber();
    EXPECT_EQ(ValueStackDepth(), 0u);
    ASSERT_EQ(DecimalStackDepth(), 1u);
    EXPECT_EQ(DecPop().ToText(), row.value) << "text '" << row.text << "'";
  }
  PopNumber();  // empty stack pushes 0
  EXPECT_TRUE(DecPop().IsZero());
}

TEST_F(ValueStackTest, PopRealClipsAndReadsUpTo39Characters) {
  PushString("12.5   ", 7);
  EXPECT_DOUBLE_EQ(PopReal(), 12.5);
  PushText(std::string(38, ' ') + "7");
  EXPECT_DOUBLE_EQ(PopReal(), 7.0);
  PushText(std::string(39, ' ') + "7");
  EXPECT_DOUBLE_EQ(PopReal(), 0.0);
  PushText("-2.5e3" + std::string(60, ' '));
  EXPECT_DOUBLE_EQ(PopReal(), -2500.0);
  EXPECT_DOUBLE_EQ(PopReal(), 0.0);  // empty stack
}

TEST_F(ValueStackTest, PopBooleanIsNonEmptyAfterClipping) {
  struct Row {
    const char* text;
    int32_t value;
  };
  for (const Row row : {Row{"1", 1}, Row{"", 0}, Row{"   ", 0}, Row{"0", 1}, Row{" x ", 1}}) {
    PushCString(row.text);
    EXPECT_EQ(PopBoolean(), row.value) << "'" << row.text << "'";
  }
  EXPECT_EQ(PopBoolean(), 0);  // empty stack
  PushBoolean(true);
  PushBoolean(false);
  EXPECT_EQ(TopText(), "");
  EXPECT_EQ(PopBoolean(), 0);
  EXPECT_EQ(PopBoolean(), 1);
}

TEST_F(ValueStackTest, EmptyStackPopsYieldNothing) {
  EXPECT_EQ(PopText(), "");
  EXPECT_EQ(TopText(), "");
  EXPECT_EQ(EntryFlags(), 0u);
  Discard();
  Roll(1);
  EXPECT_EQ(ValueStackDepth(), 0u);
}

TEST_F(ValueStackTest, ResetReleasesOwnedEntriesAndEmptiesBothStacks) {
  PushCString("one");
  PushText("two");
  PushInteger(3);
  DecPushInteger(4);
  ResetValueStacks();
  EXPECT_EQ(ValueStackDepth(), 0u);
  EXPECT_EQ(DecimalStackDepth(), 0u);
}

// Owned text still on the stack when the program ends is released by the stack itself (the
// sanitizer build's leak check would report it otherwise).
TEST(ValueStackExitTest, OwnedTextLeftAtExit) {
  PushCString("left at exit");
  PushText("and this");
  EXPECT_GE(ValueStackDepth(), 2u);
}

}  // namespace
}  // namespace vantora::runtime
