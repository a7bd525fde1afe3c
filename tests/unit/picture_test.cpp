// SPDX-License-Identifier: GPL-3.0-or-later
// Display pictures: compiling, formatting and reading back.
#include "runtime/picture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/profile/profile.h"
#include "runtime/value_stack.h"

namespace vantora::runtime {
namespace {

struct CompileCase {
  const char* name;
  std::string picture;
  PictureKind kind;
  int width;
  bool blankWhenZero;
};

class PictureCompile : public testing::TestWithParam<CompileCase> {};

TEST_P(PictureCompile, KindWidthAndFlag) {
  const CompileCase& c = GetParam();
  const Picture p = CompilePicture(c.picture);
  EXPECT_EQ(p.kind, c.kind);
  EXPECT_EQ(p.width, c.width);
  EXPECT_EQ(p.blankWhenZero, c.blankWhenZero);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureCompile,
    testing::Values(
        CompileCase{"PatternColon", "P##:P", PictureKind::Pattern, 3, false},
        CompileCase{"PatternWithAt", "@P##P", PictureKind::Pattern, 2, false},
        CompileCase{"PatternLowerCase", "p<#p", PictureKind::Pattern, 2, false},
        CompileCase{"PatternBlankWhenZero", "P##PB", PictureKind::Pattern, 2, true},
        CompileCase{"PatternUnclosed", "P##", PictureKind::Invalid, 0, false},
        CompileCase{"PatternEmptyBody", "PP", PictureKind::Invalid, 0, false},
        CompileCase{"Numeric", "N2", PictureKind::Numeric, 2, false},
        CompileCase{"NumericZeroFill", "N05", PictureKind::Numeric, 5, false},
        CompileCase{"NumericDecimalsGrouped", "@n12,.2b", PictureKind::Numeric, 12, true},
        CompileCase{"NumericWidthZero", "N0", PictureKind::Invalid, 0, false},
        CompileCase{"NumericDecimalsFillWidth", "N2.2", PictureKind::Invalid, 0, false},
        CompileCase{"Time4", "T4", PictureKind::Time, 8, false},
        CompileCase{"Time4Blank", "@t4b", PictureKind::Time, 8, true},
        CompileCase{"Time1", "T1", PictureKind::Time, 5, false},
        CompileCase{"Time6", "T6", PictureKind::Time, 10, false},
        CompileCase{"TimeUnknownLayout", "T9", PictureKind::Invalid, 0, false},
        CompileCase{"String40", "S40", PictureKind::String, 40, false},
        CompileCase{"StringLowerCase", "@s60", PictureKind::String, 60, false},
        CompileCase{"StringMaxWidth", "S255", PictureKind::String, 255, false},
        CompileCase{"StringWidthZero", "S0", PictureKind::Invalid, 0, false},
        CompileCase{"StringTooWide", "S256", PictureKind::Invalid, 0, false},
        CompileCase{"StringJunkAfterWidth", "S4x", PictureKind::Invalid, 0, false},
        CompileCase{"Empty", "", PictureKind::Invalid, 0, false},
        CompileCase{"OnlyAt", "@", PictureKind::Invalid, 0, false},
        CompileCase{"DateKind", "D1", PictureKind::Invalid, 0, false},
        CompileCase{"ExponentKind", "E12.2", PictureKind::Invalid, 0, false},
        CompileCase{"UnknownLetter", "Q5", PictureKind::Invalid, 0, false},
        CompileCase{"LongestAccepted", "P" + std::string(98, '#') + "P", PictureKind::Pattern, 98,
                    false},
        CompileCase{"TooLong", "P" + std::string(99, '#') + "P", PictureKind::Invalid, 0, false}),
    [](const testing::TestParamInfo<CompileCase>& row) { return std::string(row.param.name); });

struct FormatCase {
  const char* name;
  const char* picture;
  const char* value;  // read with the text-to-number rules
  const char* expected;
};

class PictureFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(PictureFormat, FormatsNumber) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatNumber(Decimal::FromText(c.value), CompilePicture(c.picture)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureFormat,
    testing::Values(
        // Pattern pictures: '#' keeps leading zeros, '<' blanks them, literals are copied.
        FormatCase{"PatternFive", "P##:P", "5", "05:"},
        FormatCase{"PatternTwelve", "P##:P", "12", "12:"},
        FormatCase{"PatternSeven", "P##P", "7", "07"}, FormatCase{"PatternZero", "P##P", "0", "00"},
        FormatCase{"PatternZeroBlank", "P##PB", "0", "  "},
        FormatCase{"PatternTooManyDigits", "P##:P", "123", "   "},
        FormatCase{"PatternLessThan", "P<<#P", "7", "  7"},
        FormatCase{"PatternLessThanZero", "P<<P", "0", "  "},
        FormatCase{"PatternInnerZeroKept", "P<<<P", "105", "105"},
        FormatCase{"PatternFractionDropped", "P##P", "7.9", "07"},
        FormatCase{"PatternPhone", "P(###)###-####P", "5551234567", "(555)123-4567"},
        // Numeric pictures: right-aligned, '#' on overflow, fills, decimals and grouping.
        FormatCase{"NumericSeven", "N2", "7", " 7"}, FormatCase{"NumericTwelve", "N2", "12", "12"},
        FormatCase{"NumericOverflow", "N2", "100", "##"},
        FormatCase{"NumericNegative", "N3", "-5", " -5"},
        FormatCase{"NumericNegativeOverflow", "N2", "-10", "##"},
        FormatCase{"NumericZeroFill", "N04", "42", "0042"},
        FormatCase{"NumericZeroFillNegative", "N04", "-42", "-042"},
        FormatCase{"NumericZero", "N3", "0", "  0"},
        FormatCase{"NumericZeroBlank", "N3B", "0", "   "},
        FormatCase{"NumericDecimals", "N6.2", "3.14159", "  3.14"},
        FormatCase{"NumericRoundsUp", "N6.2", "9.995", " 10.00"},
        FormatCase{"NumericRoundsAwayFromZero", "N6.1", "-0.25", "  -0.3"},
        FormatCase{"NumericRoundsToZeroHasNoSign", "N4.1", "-0.04", " 0.0"},
        FormatCase{"NumericGrouping", "N10,", "1234567", " 1,234,567"},
        FormatCase{"NumericStarFill", "N*5", "12", "***12"},
        // "T4": hours with a blank tens digit, minutes and seconds zero-filled.
        FormatCase{"TimeOneHourTwoMinThreeSec", "T4", "372301", " 1:02:03"},
        FormatCase{"TimeMidnight", "T4", "1", " 0:00:00"},
        FormatCase{"TimeLastHundredth", "T4", "8640000", "23:59:59"},
        FormatCase{"TimeTenHours", "T4", "3600001", "10:00:00"},
        FormatCase{"TimeHundredthsDropped", "T4", "6100", " 0:01:00"},
        FormatCase{"TimeJustBelowMinute", "T4", "6000", " 0:00:59"},
        FormatCase{"TimeNoTime", "T4", "0", " 0:00:00"},
        FormatCase{"TimeNegative", "T4", "-100", " 0:00:00"},
        FormatCase{"TimeBeyondDay", "T4", "8640001", " 0:00:00"},
        FormatCase{"TimeBlankMidnight", "T4B", "1", "        "},
        FormatCase{"TimeBlankHundredthsOnly", "T4B", "50", "        "},
        FormatCase{"TimeBlankNotZero", "T4B", "101", " 0:00:01"},
        FormatCase{"TimeShort", "T1", "372301", "01:02"},
        FormatCase{"TimeAfternoon", "T3", "4860001", " 1:30PM"},
        FormatCase{"TimeNoonIsTwelve", "T3", "4320001", "12:00PM"},
        FormatCase{"TimeMidnightIsTwelve", "T3", "1", "12:00AM"},
        // String pictures show the number's text left-aligned.
        FormatCase{"StringNumber", "S5", "-12.5", "-12.5"},
        FormatCase{"StringNumberPadded", "S4", "7", "7   "},
        // Unusable pictures yield nothing.
        FormatCase{"InvalidPicture", "Q5", "7", ""}, FormatCase{"EmptyPicture", "", "7", ""}),
    [](const testing::TestParamInfo<FormatCase>& row) { return std::string(row.param.name); });

struct DeformatCase {
  const char* name;
  const char* picture;
  const char* text;
  const char* expected;
};

class PictureDeformat : public testing::TestWithParam<DeformatCase> {};

TEST_P(PictureDeformat, ReadsPlainValue) {
  const DeformatCase& c = GetParam();
  EXPECT_EQ(DeformatText(c.text, CompilePicture(c.picture)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureDeformat,
    testing::Values(DeformatCase{"PatternLeadingZero", "P##:P", "05:", "5"},
                    DeformatCase{"PatternLeadingSpace", "P##:P", " 5:", "5"},
                    DeformatCase{"PatternTwelve", "P##:P", "12:", "12"},
                    DeformatCase{"PatternBlankAtLessThanIsZero", "P<#P", " 7", "7"},
                    DeformatCase{"PatternInnerBlankAtLessThan", "P#<#P", "1 3", "103"},
                    DeformatCase{"PatternNegative", "P-##P", "-12", "12"},
                    DeformatCase{"PatternMinusAtDigit", "P###P", "-12", "-12"},
                    DeformatCase{"PatternParenthesis", "P###P", "(12", "-12"},
                    DeformatCase{"PatternLiteralsSkipped", "P##:##P", "12:34", "1234"},
                    DeformatCase{"PatternShortText", "P####P", "12", "12"},
                    DeformatCase{"PatternNoDigits", "P##P", "  ", "0"},
                    DeformatCase{"NumericPlain", "N6", "    42", "42"},
                    DeformatCase{"NumericGroupedDecimals", "N10,.2", "-1,234.50", "-1234.5"},
                    DeformatCase{"NumericOverflowMarks", "N2", "##", "0"},
                    DeformatCase{"TimeHour", "T4", " 1:02:03", "372301"},
                    DeformatCase{"TimeLeadingZeroHour", "T4", "01:02:03", "372301"},
                    DeformatCase{"TimeMidnightIsZero", "T4", " 0:00:00", "0"},
                    DeformatCase{"TimeMaximum", "T4", "23:59:59", "8639901"},
                    DeformatCase{"TimeHourTooLarge", "T4", "24:00:00", "-1"},
                    DeformatCase{"TimeMinutesTooLarge", "T4", " 0:60:00", "-1"},
                    DeformatCase{"TimeSecondsTooLarge", "T4", " 0:00:60", "-1"},
                    DeformatCase{"TimeOneSecond", "T4", " 0:00:01", "101"},
                    DeformatCase{"TimeEmpty", "T4", "", "0"},
                    DeformatCase{"TimeShortMinutes", "T1", "01:30", "540001"},
                    DeformatCase{"TimeAfternoon", "T3", " 1:30PM", "4860001"},
                    DeformatCase{"TimeTwelveAm", "T3", "12:30AM", "180001"},
                    DeformatCase{"StringCutToWidth", "S3", "abcdef", "abc"},
                    DeformatCase{"StringKeepsText", "S10", "Track 1", "Track 1"}),
    [](const testing::TestParamInfo<DeformatCase>& row) { return std::string(row.param.name); });

TEST(PictureText, StringPicturesShowTextCutOrPadded) {
  const std::string title(60, 'x');
  EXPECT_EQ(FormatText(title, CompilePicture("S40")), std::string(40, 'x'));
  EXPECT_EQ(FormatText("Intro", CompilePicture("S8")), "Intro   ");
  EXPECT_EQ(FormatText("Intro", CompilePicture("s8")), FormatText("Intro", CompilePicture("S8")));
  // Other pictures read the text as a number first.
  EXPECT_EQ(FormatText("  7abc", CompilePicture("P##P")), "07");
}

TEST(PictureTimes, EveryWholeSecondOfTheDayRoundTrips) {
  const Picture t4 = CompilePicture("T4");
  for (int32_t value = 101; value <= 8640000; value += 100 * 7) {
    const std::string text = FormatNumber(Decimal::FromInt32(value), t4);
    ASSERT_EQ(DeformatText(text, t4), std::to_string(value)) << text;
  }
}

class PictureStacks : public testing::Test {
 protected:
  void SetUp() override {
    ResetValueStacks();
    ResetDecimalStack();
  }
  void TearDown() override {
    ResetValueStacks();
    ResetDecimalStack();
  }
};

TEST_F(PictureStacks, FormatPopsTheDecimalAndPushesText) {
  DecPushInteger(5);
  FORMAT("P##:P");
  EXPECT_EQ(DecimalStackDepth(), 0u);
  ASSERT_EQ(ValueStackDepth(), 1u);
  EXPECT_EQ(PopText(), "05:");

  FORMAT(372301, "T4");
  EXPECT_EQ(PopText(), " 1:02:03");
}

TEST_F(PictureStacks, FormatToFieldAssignsFixedText) {
  char field[5];
  DecPushInteger(7);
  FormatToField("P##P", field, sizeof field);
  EXPECT_EQ(std::string(field, sizeof field), "07   ");

  char narrow[2];
  DecPushInteger(372301);
  FormatToField("T4", narrow, sizeof narrow);
  EXPECT_EQ(std::string(narrow, sizeof narrow), " 1");
  EXPECT_EQ(DecimalStackDepth(), 0u);
}

TEST_F(PictureStacks, DeformatPopsTextAndPushesValueText) {
  const std::string text = " 1:02:03";
  PushString(text.data(), text.size());
  DEFORMAT("T4");
  ASSERT_EQ(ValueStackDepth(), 1u);
  EXPECT_EQ(PopText(), "372301");

  // Only the first 254 characters are read: a digit beyond them is not part of the value.
  std::string longText(254, '1');
  longText += '9';
  PushString(longText.data(), longText.size());
  DEFORMAT("S255");
  EXPECT_EQ(PopText(), std::string(254, '1'));
}

TEST_F(PictureStacks, DeformatFieldPushesDecimal) {
  const char field[8] = {'2', '4', ':', '0', '0', ':', '0', '0'};
  DeformatField(field, sizeof field, "T4");
  EXPECT_EQ(DecPopInteger(), -1);

  const char minutes[3] = {'1', '2', ':'};
  DeformatField(minutes, sizeof minutes, "P##:P");
  EXPECT_EQ(DecPopInteger(), 12);
}

}  // namespace
}  // namespace vantora::runtime

namespace vantora::runtime {
namespace {

// The regional layouts read the platform profile's "intl" section.
class PictureRegionalTime : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() / ("vantora-picture-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    setenv("VANTORA_CONFIG_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    platform::FlushProfiles();
    unsetenv("VANTORA_CONFIG_DIR");
    std::filesystem::remove_all(dir_);
  }
  void WriteIntl(const std::string& lines) {
    std::ofstream(dir_ / "win.ini", std::ios::binary) << "[intl]\r\n" << lines;
  }
  std::filesystem::path dir_;
};

TEST_F(PictureRegionalTime, DefaultsAreTwelveHourWithLeadingZero) {
  EXPECT_EQ(FormatNumber(Decimal::FromInt32(4860001), CompilePicture("T7")), "01:30PM");
  EXPECT_EQ(FormatNumber(Decimal::FromInt32(372301), CompilePicture("T8")), "01:02:03AM");
  EXPECT_EQ(DeformatText("01:30PM", CompilePicture("T7")), "4860001");
  EXPECT_EQ(DeformatText("12:00:01am", CompilePicture("T8")), "101");
}

TEST_F(PictureRegionalTime, SettingsChangeTheLayout) {
  WriteIntl("iTime=1\r\niTLzero=0\r\nsTime=.\r\n");
  EXPECT_EQ(FormatNumber(Decimal::FromInt32(4860001), CompilePicture("T8")), "13.30.00  ");
  EXPECT_EQ(FormatNumber(Decimal::FromInt32(372301), CompilePicture("T7")), "1.02   ");
  EXPECT_EQ(DeformatText("13.30.00", CompilePicture("T8")), "4860001");
  EXPECT_EQ(DeformatText("25.00", CompilePicture("T7")), "-1");
}

}  // namespace
}  // namespace vantora::runtime
