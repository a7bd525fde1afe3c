// SPDX-License-Identifier: GPL-3.0-or-later
// Exact decimals, the text-to-number rules and the decimal stack.
#include "runtime/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace vantora::runtime {
namespace {

Decimal D(std::string_view text) {
  return Decimal::FromText(text);
}

const std::string k31Zeros(31, '0');
const std::string k32Threes(32, '3');

struct TextCase {
  const char* name;
  std::string text;
  std::string expected;
};

class FromTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(FromTextTest, ReadsThePrefixThatIsANumber) {
  EXPECT_EQ(D(GetParam().text).ToText(), GetParam().expected) << "text '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FromTextTest,
    testing::Values(
        TextCase{"Negative", "-7", "-7"}, TextCase{"LeadingSpacesTrailingJunk", "  42abc", "42"},
        TextCase{"Letters", "abc", "0"}, TextCase{"Empty", "", "0"},
        TextCase{"PlusIsNotASign", "+5", "0"}, TextCase{"StopsAtColon", "12:", "12"},
        TextCase{"Fraction", "3.25", "3.25"}, TextCase{"TrailingFractionZeros", "  -3.10", "-3.1"},
        TextCase{"NoIntegerDigits", ".5", "0.5"}, TextCase{"MinusAlone", "-", "0"},
        TextCase{"SpaceAfterMinus", "- 5", "0"}, TextCase{"SecondPoint", "1.2.3", "1.2"},
        TextCase{"Exponent", "1.5e2", "150"}, TextCase{"NegativeExponent", "12e-3", "0.012"},
        TextCase{"ExponentWithoutDigits", "1e", "1"},
        TextCase{"ExponentStopsAtSecondE", "1e1e5", "10"},
        TextCase{"ExponentPlusNotAccepted", "2e+3", "2"},
        TextCase{"HighestIntegerPosition", "1e31", "1" + k31Zeros},
        TextCase{"BeyondIntegerPositions", "1e32", "0"},
        TextCase{"LowestFractionPosition", "1e-32", "0." + k31Zeros + "1"},
        TextCase{"BeyondFractionPositions", "1e-33", "0"},
        TextCase{"HugeExponentDoesNotOverflow", "7e99999999999999999999", "0"},
        TextCase{"TooManyIntegerDigitsKeepsLowOnes", "12345678" + std::string(32, '9'),
                 std::string(32, '9')},
        TextCase{"TooManyFractionDigitsTruncates", "0." + k32Threes + "9", "0." + k32Threes},
        TextCase{"MinusZeroHasNoSign", "-0.000", "0"}),
    [](const testing::TestParamInfo<TextCase>& row) { return std::string(row.param.name); });

TEST(DecimalTest, ZeroIsNeverNegative) {
  EXPECT_FALSE(D("-0").IsNegative());
  EXPECT_TRUE(D("-0").IsZero());
  EXPECT_FALSE((D("2.5") - D("2.5")).IsNegative());
  EXPECT_FALSE((D("-3") * D("0")).IsNegative());
  EXPECT_FALSE(D("0").Negated().IsNegative());
  EXPECT_FALSE(D("-0.4").Truncated().IsNegative());
  EXPECT_EQ(D("-0.4").Truncated().ToText(), "0");
}

TEST(DecimalTest, DigitsAndPositions) {
  const Decimal value = D("-120.0450");
  EXPECT_EQ(value.IntegerDigits(), "120");
  EXPECT_EQ(value.FractionDigits(), "045");
  EXPECT_EQ(value.DigitAt(Decimal::kUnitsPosition), 0);
  EXPECT_EQ(value.DigitAt(Decimal::kUnitsPosition + 2), 1);
  EXPECT_EQ(value.DigitAt(Decimal::kUnitsPosition - 2), 4);
  EXPECT_EQ(value.FirstSignificant(), Decimal::kUnitsPosition + 2);
  EXPECT_EQ(value.LastSignificant(), Decimal::kUnitsPosition - 3);
  EXPECT_EQ(D("0.5").IntegerDigits(), "0");
  EXPECT_EQ(D("40").FractionDigits(), "");
  EXPECT_EQ(Decimal().FirstSignificant(), -1);
  EXPECT_EQ(value.DigitAt(-1), 0);
  EXPECT_EQ(value.DigitAt(Decimal::kPositions), 0);
}

TEST(DecimalTest, FromDigitsDropsWhatDoesNotFit) {
  EXPECT_EQ(Decimal::FromDigits(true, "0012", "500").ToText(), "-12.5");
  EXPECT_EQ(Decimal::FromDigits(false, "", "").ToText(), "0");
  EXPECT_EQ(Decimal::FromDigits(true, "0", "0").IsNegative(), false);
  EXPECT_EQ(Decimal::FromDigits(false, "7" + std::string(32, '1'), "").ToText(),
            std::string(32, '1'));
  EXPECT_EQ(Decimal::FromDigits(false, "", k32Threes + "7").ToText(), "0." + k32Threes);
  EXPECT_EQ(Decimal::FromDigits(false, "1x3", "").ToText(), "103");
}

TEST(DecimalTest, IntegerConversions) {
  EXPECT_EQ(Decimal::FromInt32(std::numeric_limits<int32_t>::min()).ToText(), "-2147483648");
  EXPECT_EQ(Decimal::FromInt64(std::numeric_limits<int64_t>::min()).ToText(),
            "-9223372036854775808");
  EXPECT_EQ(Decimal::FromInt32(0).ToText(), "0");
  EXPECT_EQ(D("-2147483648").ToInt32(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(D("2147483647.99").ToInt32(), std::numeric_limits<int32_t>::max());
  // Outside int32 the value saturates instead of wrapping to the other sign.
  EXPECT_EQ(D("2147483648").ToInt32(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(D("-2147483649").ToInt32(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(D("1e30").ToInt32(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(D("-1e30").ToInt64(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(D("9223372036854775807").ToInt64(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(D("9999999999999999999").ToInt64(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(D("-3.9").ToInt32(), -3);
  EXPECT_EQ(D("0.999").ToInt32(), 0);
}

TEST(DecimalTest, ToDouble) {
  EXPECT_DOUBLE_EQ(D("12.5").ToDouble(), 12.5);
  EXPECT_DOUBLE_EQ(D("-0.25").ToDouble(), -0.25);
  EXPECT_DOUBLE_EQ(D("1e-32").ToDouble(), 1e-32);
}

struct ArithmeticCase {
  const char* name;
  char operation;
  std::string left;
  std::string right;
  std::string expected;
};

class ArithmeticTest : public testing::TestWithParam<ArithmeticCase> {};

TEST_P(ArithmeticTest, GivesTheExactResult) {
  const ArithmeticCase& c = GetParam();
  const Decimal a = D(c.left);
  const Decimal b = D(c.right);
  Decimal result;
  switch (c.operation) {
    case '+':
      result = a + b;
      break;
    case '-':
      result = a - b;
      break;
    case '*':
      result = a * b;
      break;
    default:
      result = a / b;
      break;
  }
  EXPECT_EQ(result.ToText(), c.expected) << c.left << ' ' << c.operation << ' ' << c.right;
}

const std::string kMax32(32, '9');

INSTANTIATE_TEST_SUITE_P(
    Operations, ArithmeticTest,
    testing::Values(
        ArithmeticCase{"CarryAcrossPoint", '+', "0.99999", "0.00001", "1"},
        ArithmeticCase{"CarryIntoTens", '+', "9.5", "0.5", "10"},
        ArithmeticCase{"MixedSignsAddNegative", '+', "3", "-5.5", "-2.5"},
        ArithmeticCase{"LowestPositionCarries", '+', "0." + std::string(32, '9'),
                       "0." + k31Zeros + "1", "1"},
        ArithmeticCase{"OverflowDropsHighDigit", '+', kMax32, "1", "0"},
        ArithmeticCase{"BorrowAcrossPoint", '-', "1", "0.001", "0.999"},
        ArithmeticCase{"BorrowFromTens", '-', "10", "0.5", "9.5"},
        ArithmeticCase{"SubtractBelowZero", '-', "3", "5", "-2"},
        ArithmeticCase{"SubtractNegative", '-', "-2", "-7.25", "5.25"},
        ArithmeticCase{"SubtractToZero", '-', "-2.5", "-2.5", "0"},
        ArithmeticCase{"MultiplySigns", '*', "1.5", "-2", "-3"},
        ArithmeticCase{"MultiplyFractions", '*', "0.1", "0.1", "0.01"},
        ArithmeticCase{"MultiplyLarge", '*', "123456789", "987654321", "121932631112635269"},
        ArithmeticCase{"MultiplyTruncatesFraction", '*', "1e-20", "1e-20", "0"},
        ArithmeticCase{"MultiplyKeepsLastFractionDigit", '*', "0.0000000000000001",
                       "0.0000000000000001", "0." + k31Zeros + "1"},
        ArithmeticCase{"MultiplyOverflowKeepsLowDigits", '*', "1e20", "123e10",
                       "23" + std::string(30, '0')},
        ArithmeticCase{"DivideThirds", '/', "1", "3", "0." + k32Threes},
        ArithmeticCase{"DivideTruncatesNotRounds", '/', "2", "3", "0." + std::string(32, '6')},
        ArithmeticCase{"DivideWithFraction", '/', "10", "4", "2.5"},
        ArithmeticCase{"DivideNegative", '/', "-7", "2", "-3.5"},
        ArithmeticCase{"DivideByFraction", '/', "100", "0.25", "400"},
        ArithmeticCase{"DivideTimes", '/', "372300", "6000", "62.05"},
        ArithmeticCase{"DivideLargest", '/', kMax32, "1", kMax32},
        ArithmeticCase{"DivideSmallestByLargest", '/', "1e-32", kMax32, "0"},
        ArithmeticCase{"DivideExactLong", '/', "121932631112635269", "987654321", "123456789"},
        ArithmeticCase{"DivideOverflowKeepsLowDigits", '/', "1e31", "0.01", "0"},
        ArithmeticCase{"DivideByZeroIsZero", '/', "5", "0", "0"}),
    [](const testing::TestParamInfo<ArithmeticCase>& row) { return std::string(row.param.name); });

TEST(DecimalTest, CompareOrdersBySignedValue) {
  EXPECT_EQ(Decimal::Compare(D("-1"), D("0")), -1);
  EXPECT_EQ(Decimal::Compare(D("0.5"), D("0")), 1);
  EXPECT_EQ(Decimal::Compare(D("-0.5"), D("-1")), 1);
  EXPECT_EQ(Decimal::Compare(D("-0"), D("0")), 0);
  EXPECT_EQ(Decimal::Compare(D("10"), D("9.99")), 1);
  EXPECT_TRUE(D("2.50") == D("2.5"));
  EXPECT_TRUE(D("-3") < D("-2"));
}

TEST(RealFromTextTest, SameRulesWithoutTheDigitLimits) {
  EXPECT_DOUBLE_EQ(RealFromText("  -12.5xyz"), -12.5);
  EXPECT_DOUBLE_EQ(RealFromText("1e40"), 1e40);
  EXPECT_DOUBLE_EQ(RealFromText("25e-40"), 25e-40);
  EXPECT_DOUBLE_EQ(RealFromText(".5"), 0.5);
  EXPECT_EQ(RealFromText("+5"), 0.0);
  EXPECT_EQ(RealFromText("-"), 0.0);
  EXPECT_EQ(RealFromText("e5"), 0.0);
  EXPECT_EQ(RealFromText("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(RealFromText("-1e999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(RealFromText("1e-999"), 0.0);
  EXPECT_FALSE(std::signbit(RealFromText("-0")));
}

class DecimalStackTest : public testing::Test {
 protected:
  void SetUp() override { ResetDecimalStack(); }
  void TearDown() override { ResetDecimalStack(); }
};

TEST_F(DecimalStackTest, TwoOperandOperationsTakeLowerThenTop) {
  DecPushInteger(10);
  DecPushInteger(3);
  DecSubtract();
  EXPECT_EQ(DecimalStackDepth(), 1u);
  EXPECT_EQ(DecPopInteger(), 7);

  DecPushInteger(10);
  DecPushInteger(4);
  DecDivide();
  EXPECT_EQ(DecPop().ToText(), "2.5");

  DecPushInteger(10);
  DecPushInteger(4);
  DecDivide();
  DecTruncate();
  EXPECT_EQ(DecPop().ToText(), "2");

  DecPushInteger(-7);
  DecPushInteger(2);
  DecDivide();
  DecTruncate();
  EXPECT_EQ(DecPopInteger(), -3);

  DecPushInteger(6);
  DecPushInteger(-7);
  DecMultiply();
  DecPushInteger(2);
  DecAdd();
  EXPECT_EQ(DecPopInteger(), -40);
  EXPECT_EQ(DecimalStackDepth(), 0u);
}

TEST_F(DecimalStackTest, CompareFormsAreOpposite) {
  struct Row {
    int32_t lower;
    int32_t top;
    int sign;  // of lower - top
  };
  for (const Row row : {Row{1, 2, -1}, Row{2, 1, 1}, Row{5, 5, 0}, Row{-3, 2, -1}}) {
    DecPushInteger(row.lower);
    DecPushInteger(row.top);
    EXPECT_EQ(DecCompare(), row.sign) << row.lower << " vs " << row.top;
    DecPushInteger(row.lower);
    DecPushInteger(row.top);
    EXPECT_EQ(DecCompareReversed(), -row.sign) << row.lower << " vs " << row.top;
    EXPECT_EQ(DecimalStackDepth(), 0u);
  }
}

TEST_F(DecimalStackTest, Int32Extremes) {
  DecPushInteger(std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DecPopInteger(), std::numeric_limits<int32_t>::min());
  DecPushInteger(std::numeric_limits<int32_t>::max());
  DecPushInteger(1);
  DecAdd();
  EXPECT_EQ(DecPop().ToText(), "2147483648");  // exact on the stack
  DecPushInteger(std::numeric_limits<int32_t>::max());
  DecPushInteger(1);
  DecAdd();
  EXPECT_EQ(DecPopInteger(), std::numeric_limits<int32_t>::max());  // saturates when popped
}

TEST_F(DecimalStackTest, EmptyAndFullStacksDoNotCrash) {
  EXPECT_EQ(DecPopInteger(), 0);
  EXPECT_TRUE(DecPop().IsZero());
  DecPushInteger(9);
  DecSubtract();  // the missing lower operand reads as 0
  EXPECT_EQ(DecPopInteger(), -9);
  DecDivide();
  EXPECT_EQ(DecPopInteger(), 0);
  EXPECT_EQ(DecCompare(), 0);

  for (size_t i = 0; i < kDecimalStackSize; ++i)
    DecPushInteger(static_cast<int32_t>(i));
  DecPushInteger(999);  // ignored
  EXPECT_EQ(DecimalStackDepth(), kDecimalStackSize);
  EXPECT_EQ(DecPopInteger(), static_cast<int32_t>(kDecimalStackSize - 1));
}

}  // namespace
}  // namespace vantora::runtime
