// SPDX-License-Identifier: GPL-3.0-or-later
// Exact signed decimals of 32 integer and 32 fraction digits, and the decimal stack on which the
// runtime evaluates number expressions.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantora::runtime {

// One digit per position: position p weighs 10^(p - 32), so the units digit sits at position 32,
// positions 0..31 hold the fraction and 33..63 the higher integer digits. Zero has no sign.
//
// Results that need more than 32 integer digits keep their low 32 integer digits (higher digits
// are dropped, as when a text has too many digits); fraction digits beyond the 32nd are truncated.
class Decimal {
 public:
  static constexpr int kIntegerDigits = 32;
  static constexpr int kFractionDigits = 32;
  static constexpr int kPositions = kIntegerDigits + kFractionDigits;
  static constexpr int kUnitsPosition = kFractionDigits;

  Decimal();  // zero
  static Decimal FromInt32(int32_t value);
  static Decimal FromInt64(int64_t value);
  // Text-to-number rules of PopNumber: leading spaces, optional "-", digits, optional "." and
  // fraction digits, optional "e"/"E" with optional "-" and exponent digits; scanning stops at the
  // first other character. "+5", "abc" and "" read as 0.
  static Decimal FromText(std::string_view text);
  // Digits beyond 32 integer / 32 fraction positions are dropped (the highest integer digits, the
  // lowest fraction digits); non-digits are not allowed and count as 0.
  static Decimal FromDigits(bool negative, std::string_view integerDigits,
                            std::string_view fractionDigits);

  bool IsZero() const { return high_ < 0; }
  bool IsNegative() const { return negative_; }  // never true for zero
  std::string IntegerDigits() const;             // "0" for |x| < 1; no leading zeros
  std::string FractionDigits() const;            // no trailing zeros; "" when whole
  std::string ToText() const;                    // "-12.5", "0", "7"
  // The integer part with its sign (fraction dropped); values outside int32 saturate to
  // INT32_MIN / INT32_MAX rather than wrapping into a value of the wrong sign.
  int32_t ToInt32() const;
  int64_t ToInt64() const;  // the same, saturating to the int64 range
  double ToDouble() const;
  Decimal Truncated() const;  // the fraction dropped, towards zero: -3.5 gives -3
  Decimal Negated() const;
  Decimal Abs() const;

  // The digit (0..9) at a position; 0 outside 0..63.
  int DigitAt(int position) const;
  // Highest and lowest non-zero positions; -1 for zero.
  int FirstSignificant() const { return high_; }
  int LastSignificant() const { return low_; }

  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b);
  // Exact product truncated to 32 fraction digits.
  friend Decimal operator*(const Decimal& a, const Decimal& b);
  // Quotient truncated (towards zero) to 32 fraction digits; division by zero gives 0.
  friend Decimal operator/(const Decimal& a, const Decimal& b);

  // -1, 0 or 1 for the sign of a - b.
  static int Compare(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return Compare(a, b) == 0; }
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
    return Compare(a, b) <=> 0;
  }

 private:
  using Digits = std::array<uint8_t, kPositions>;

  void Normalize();  // recomputes the significant positions; clears the sign of zero
  static int CompareMagnitude(const Digits& a, const Digits& b);

  Digits digits_{};
  bool negative_ = false;
  int8_t high_ = -1;  // first (highest) significant position
  int8_t low_ = -1;   // last (lowest) significant position
};

// Reads a text with the text-to-number rules of Decimal::FromText into a double, without the
// 32/32 digit limits. Beyond the double range it gives an infinity of the text's sign.
double RealFromText(std::string_view text);

// The decimal stack. It holds up to kDecimalStackSize entries; a push onto a full stack is ignored
// and popping an empty stack yields 0, so a mismatched expression never crashes.
inline constexpr size_t kDecimalStackSize = 32;

void DecPush(const Decimal& value);
Decimal DecPop();  // zero when empty
size_t DecimalStackDepth();
// Empties the decimal stack.
void ResetDecimalStack();

void DecPushInteger(int32_t value);
// The two-operand operations pop the top and the lower entry and push the result.
void DecAdd();       // lower + top
void DecSubtract();  // lower - top
void DecMultiply();  // lower * top
void DecDivide();    // lower / top with fraction digits; division by zero pushes 0
void DecTruncate();  // drops the fraction of the top entry
// Pops both and returns the sign of lower - top as -1, 0 or 1.
int DecCompare();
// Pops both and returns the sign of top - lower as -1, 0 or 1.
int DecCompareReversed();
// Pops the top entry as a 32-bit integer: integer part with sign, saturating outside int32.
int32_t DecPopInteger();

}  // namespace vantora::runtime
