// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed-length texts and the runtime's string operations.
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace vantora::runtime {
namespace {

std::string Bytes(const char* data, size_t length) {
  return std::string(data, length);
}

TEST(AssignFixedTest, CutsAndPads) {
  struct Row {
    const char* name;
    size_t destLen;
    std::string source;
    std::string expected;
  };
  for (const Row& row :
       {Row{"Cut", 3, "Track 1", "Tra"}, Row{"Pad", 10, "Track 1", "Track 1   "},
        Row{"Exact", 7, "Track 1", "Track 1"}, Row{"EmptySource", 4, "", "    "},
        Row{"KeepsInnerZeroByte", 4, std::string("a\0b", 3), std::string("a\0b ", 4)},
        Row{"CutOnACharacter", 4, "Bj\u00f6rk", "Bj\u00f6"},
        Row{"NeverSplitsOne", 3, "Bj\u00f6rk", "Bj "}}) {
    std::string dest(row.destLen + 2, '#');  // two guard bytes after the field
    AssignFixed(dest.data(), row.destLen, row.source.data(), row.source.size());
    EXPECT_EQ(dest.substr(0, row.destLen), row.expected) << row.name;
    EXPECT_EQ(dest.substr(row.destLen), "##") << row.name << ": wrote past the field";
  }
}

TEST(AssignFixedTest, NullSourceAndOverlap) {
  char field[4] = {'x', 'x', 'x', 'x'};
  AssignFixed(field, sizeof field, nullptr, 3);
  EXPECT_EQ(Bytes(field, 4), "    ");
  char self[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  AssignFixed(self, 4, self + 2, 4);  // a field assigned a later part of itself
  EXPECT_EQ(Bytes(self, 6), "cdefef");
  AssignFixed(nullptr, 0, "abc", 3);  // nothing to write into
}

TEST(AssignCStringTest, TerminatesWithinTheSize) {
  std::array<char, 6> dest;
  dest.fill('#');
  AssignCString(dest.data(), 4, "Track", 5);
  EXPECT_EQ(Bytes(dest.data(), 6), std::string("Tra\0##", 6));
  dest.fill('#');
  AssignCString(dest.data(), 6, "ab", 2);
  EXPECT_EQ(Bytes(dest.data(), 4), std::string("ab\0#", 4));
  dest.fill('#');
  AssignCString(dest.data(), 1, "ab", 2);
  EXPECT_EQ(dest[0], '\0');
  EXPECT_EQ(dest[1], '#');
  dest.fill('#');
  AssignCString(dest.data(), 0, "ab", 2);  // size 0 writes nothing
  EXPECT_EQ(dest[0], '#');
}

TEST(CompareStringsTest, TrailingBlanksAndOrder) {
  struct Row {
    const char* name;
    std::string a;
    std::string b;
    int sign;
  };
  for (const Row& row : {
           Row{"BothEmpty", "", "", 0},
           Row{"EmptyEqualsSpaces", "", "   ", 0},
           Row{"TrailingSpacesIgnored", "abc", "abc   ", 0},
           Row{"ShorterSortsFirst", "ab", "abc", -1},
           Row{"LongerSortsLast", "abc", "ab", 1},
           Row{"LeadingSpacesCount", " abc", "abc", -1},
           Row{"BelowSpaceAfterShortText", "ab", std::string("ab\x01", 3), 1},
           Row{"CaseIsByteOrder", "B", "a", -1},
           Row{"HighByteAfterZ", "\xE9", "z", 1},
           Row{"HighBytesByValue", "\xFF", "\x80", 1},
       }) {
    const int result = CompareStrings(row.a.data(), row.a.size(), row.b.data(), row.b.size());
    EXPECT_EQ((result > 0) - (result < 0), row.sign) << row.name;
    const int reversed = CompareStrings(row.b, row.a);
    EXPECT_EQ((reversed > 0) - (reversed < 0), -row.sign) << row.name << " reversed";
  }
}

TEST(CompareStringsTest, CollationTableOrdersBytes) {
  CollationTable folding = Collation();
  for (int c = 'a'; c <= 'z'; ++c)
    folding[c] = static_cast<uint8_t>(c - 'a' + 'A');
  SetCollationTable(folding);
  EXPECT_EQ(CompareStrings("abc", "ABC"), 0);
  EXPECT_LT(CompareStrings("a", "B"), 0);
  ResetCollationTable();
  EXPECT_GT(CompareStrings("abc", "ABC"), 0);
  EXPECT_GT(CompareStrings("a", "B"), 0);
  for (int c = 0; c < 256; ++c)
    ASSERT_EQ(Collation()[c], c);
}

TEST(ClipTest, RemovesOnlyTrailingSpaces) {
  EXPECT_EQ(CLIP("  ab c  "), "  ab c");
  EXPECT_EQ(CLIP("    "), "");
  EXPECT_EQ(CLIP(""), "");
  EXPECT_EQ(CLIP("ab\t"), "ab\t");
}

TEST(FixedTextTest, AssignmentCutsAndPads) {
  FixedText<5> text;
  EXPECT_EQ(text.view(), "     ");
  text = "Track 12";
  EXPECT_EQ(text.view(), "Track");
  text = "CD";
  EXPECT_EQ(text.view(), "CD   ");
  EXPECT_EQ(text.clipped(), "CD");
  EXPECT_EQ(text.str(), "CD");
  static_assert(sizeof(FixedText<40>) == TextBytes(40), "no terminator, no extra bytes");
  static_assert(FixedText<40>::size() == 40);

  FixedText<3> shorter;
  shorter.Assign(FixedText<8>("Playlist"));
  EXPECT_EQ(shorter.view(), "Pla");
  FixedText<6> longer;
  longer.Assign(shorter);
  EXPECT_EQ(longer.view(), "Pla   ");
  longer.Clear();
  EXPECT_EQ(longer.view(), "      ");
}

TEST(FixedTextTest, ComparisonIgnoresTrailingBlanks) {
  const FixedText<10> title("Album");
  EXPECT_TRUE(title == "Album");
  EXPECT_TRUE("Album  " == title);
  EXPECT_FALSE(title == "Albu");
  EXPECT_TRUE(title == FixedText<5>("Album"));
  EXPECT_TRUE(title < FixedText<3>("B"));
  EXPECT_TRUE(title > "Al");
  EXPECT_TRUE(FixedText<4>() == "");
}

struct Group {
  char title[TextBytes(6)];
  int32_t number;
  uint8_t flag;
  char artist[TextBytes(3)];
};

const FieldDescriptor kGroupFields[] = {
    {"TITLE", DataType::Text, offsetof(Group, title), 6, ""},
    {"NUMBER", DataType::Long, offsetof(Group, number), 4, ""},
    {"FLAG", DataType::Byte, offsetof(Group, flag), 1, ""},
    {"ARTIST", DataType::Text, offsetof(Group, artist), 3, ""},
};

TEST(ClearVariableTest, TextsBecomeSpacesNumbersZero) {
  Group group;
  std::memset(&group, 0x5A, sizeof group);
  ClearVariable(&group, kGroupFields);
  EXPECT_EQ(Bytes(group.title, sizeof group.title), std::string(sizeof group.title, ' '));
  EXPECT_EQ(group.number, 0);
  EXPECT_EQ(group.flag, 0);
  EXPECT_EQ(Bytes(group.artist, sizeof group.artist), std::string(sizeof group.artist, ' '));
}

TEST(ClearVariableTest, LeavesFieldsOutsideTheVariableAlone) {
  std::array<std::byte, 16> buffer;
  buffer.fill(std::byte{0x5A});
  const FieldDescriptor fields[] = {
      {"A", DataType::Text, 0, 2, ""},             // eight bytes
      {"B", DataType::Text, 9, 1, ""},             // runs past the end
      {"C", DataType::Long, 0xFFFFFFF0u, 32, ""},  // offset + size wraps
  };
  ClearVariable(std::span<std::byte>(buffer.data(), 12), fields);
  for (size_t i = 0; i < 8; ++i)
    EXPECT_EQ(buffer[i], std::byte{' '}) << i;
  for (size_t i = 8; i < buffer.size(); ++i)
    EXPECT_EQ(buffer[i], std::byte{0x5A}) << i;
}

}  // namespace
}  // namespace vantora::runtime
