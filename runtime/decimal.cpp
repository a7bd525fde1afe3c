// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/decimal.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace vantora::runtime {

namespace {

constexpr int kPositions = Decimal::kPositions;
constexpr int kUnits = Decimal::kUnitsPosition;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

uint8_t DigitValue(char c) {
  return IsDigit(c) ? static_cast<uint8_t>(c - '0') : 0;
}

// The parts of a number text as the text-to-number rules read them.
struct NumberText {
  bool negative = false;
  std::string_view integer;   // digits before the "."
  std::string_view fraction;  // digits after it
  int64_t exponent = 0;
};

NumberText ScanNumber(std::string_view text) {
  NumberText number;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  if (i < n && text[i] == '-') {
    number.negative = true;
    ++i;
  }
  const size_t integerStart = i;
  while (i < n && IsDigit(text[i]))
    ++i;
  number.integer = text.substr(integerStart, i - integerStart);
  if (i < n && text[i] == '.') {
    const size_t fractionStart = ++i;
    while (i < n && IsDigit(text[i]))
      ++i;
    number.fraction = text.substr(fractionStart, i - fractionStart);
  }
  // The exponent saturates far beyond any position a digit could reach, so it cannot overflow.
  constexpr int64_t kExponentLimit = 1'000'000'000;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponentNegative = false;
    if (i < n && text[i] == '-') {
      exponentNegative = true;
      ++i;
    }
    while (i < n && IsDigit(text[i])) {
      number.exponent = std::min<int64_t>(number.exponent * 10 + (text[i] - '0'), kExponentLimit);
      ++i;
    }
    if (exponentNegative)
      number.exponent = -number.exponent;
  }
  return number;
}

}  // namespace

Decimal::Decimal() = default;

void Decimal::Normalize() {
  high_ = -1;
  low_ = -1;
  for (int p = kPositions - 1; p >= 0; --p) {
    if (digits_[p] != 0) {
      high_ = static_cast<int8_t>(p);
      break;
    }
  }
  for (int p = 0; p < kPositions; ++p) {
    if (digits_[p] != 0) {
      low_ = static_cast<int8_t>(p);
      break;
    }
  }
  if (high_ < 0)
    negative_ = false;
}

Decimal Decimal::FromInt64(int64_t value) {
  Decimal result;
  // Work on the magnitude as unsigned so INT64_MIN needs no special case.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  for (int p = kUnits; p < kPositions && magnitude != 0; ++p) {
    result.digits_[p] = static_cast<uint8_t>(magnitude % 10);
    magnitude /= 10;
  }
  result.negative_ = value < 0;
  result.Normalize();
  return result;
}

Decimal Decimal::FromInt32(int32_t value) {
  return FromInt64(value);
}

Decimal Decimal::FromDigits(bool negative, std::string_view integerDigits,
                            std::string_view fractionDigits) {
  Decimal result;
  // The last integer digit is the units digit; earlier ones climb until they fall off the top.
  const size_t count = integerDigits.size();
  for (size_t k = 0; k < count && k < static_cast<size_t>(kIntegerDigits); ++k) {
    result.digits_[kUnits + k] = DigitValue(integerDigits[count - 1 - k]);
  }
  for (size_t k = 0; k < fractionDigits.size() && k < static_cast<size_t>(kFractionDigits); ++k) {
    result.digits_[kUnits - 1 - k] = DigitValue(fractionDigits[k]);
  }
  result.negative_ = negative;
  result.Normalize();
  return result;
}

Decimal Decimal::FromText(std::string_view text) {
  const NumberText number = ScanNumber(text);
  // Mantissa digit k (counted from the left over integer and fraction digits) lands at position
  // units + (integer digit count + exponent) - 1 - k; digits outside 0..63 are dropped.
  Decimal result;
  const int64_t pointShift = static_cast<int64_t>(number.integer.size()) + number.exponent;
  const size_t total = number.integer.size() + number.fraction.size();
  for (size_t k = 0; k < total; ++k) {
    const char c =
        k < number.integer.size() ? number.integer[k] : number.fraction[k - number.integer.size()];
    const int64_t position = kUnits + pointShift - 1 - static_cast<int64_t>(k);
    if (position >= 0 && position < kPositions)
      result.digits_[position] = DigitValue(c);
  }
  result.negative_ = number.negative;
  result.Normalize();
  return result;
}

double RealFromText(std::string_view text) {
  const NumberText number = ScanNumber(text);
  if (number.integer.empty() && number.fraction.empty())
    return 0.0;
  // Rebuilt in the one form from_chars surely reads, whatever the process locale says.
  std::string normalized = number.negative ? "-" : "";
  normalized += number.integer.empty() ? std::string_view("0") : number.integer;
  if (!number.fraction.empty()) {
    normalized += '.';
    normalized += number.fraction;
  }
  normalized += 'e';
  normalized += std::to_string(number.exponent);
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(normalized.data(), normalized.data() + normalized.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too small gives zero, too large an infinity with the text's sign.
    const bool tiny = number.exponent < 0;
    const double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    return number.negative && !tiny ? -magnitude : magnitude;
  }
  return value == 0.0 ? 0.0 : value;  // zero has no sign
}

int Decimal::DigitAt(int position) const {
  return position >= 0 && position < kPositions ? digits_[position] : 0;
}

std::string Decimal::IntegerDigits() const {
  if (high_ < kUnits)
    return "0";
  std::string out;
  for (int p = high_; p >= kUnits; --p)
    out.push_back(static_cast<char>('0' + digits_[p]));
  return out;
}

std::string Decimal::FractionDigits() const {
  std::string out;
  if (low_ < 0 || low_ >= kUnits)
    return out;
  for (int p = kUnits - 1; p >= low_; --p)
    out.push_back(static_cast<char>('0' + digits_[p]));
  return out;
}

std::string Decimal::ToText() const {
  std::string out = negative_ ? "-" : "";
  out += IntegerDigits();
  const std::string fraction = FractionDigits();
  if (!fraction.empty())
    out += "." + fraction;
  return out;
}

int64_t Decimal::ToInt64() const {
  constexpr int kMaxDigits = 19;  // 10^19 - 1 still fits in uint64
  const bool tooLarge = high_ >= kUnits + kMaxDigits;
  uint64_t magnitude = 0;
  if (!tooLarge) {
    for (int p = std::max<int>(high_, kUnits); p >= kUnits; --p) {
      magnitude = magnitude * 10 + digits_[p];
    }
  }
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (negative_) {
    if (tooLarge || magnitude > kMax + 1)
      return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(0 - magnitude);
  }
  if (tooLarge || magnitude > kMax)
    return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(magnitude);
}

int32_t Decimal::ToInt32() const {
  const int64_t value = ToInt64();
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

double Decimal::ToDouble() const {
  // from_chars reads "." whatever the process locale says.
  const std::string text = ToText();
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

Decimal Decimal::Truncated() const {
  Decimal result = *this;
  std::fill(result.digits_.begin(), result.digits_.begin() + kUnits, uint8_t{0});
  result.Normalize();
  return result;
}

Decimal Decimal::Negated() const {
  Decimal result = *this;
  result.negative_ = !negative_;
  result.Normalize();
  return result;
}

Decimal Decimal::Abs() const {
  Decimal result = *this;
  result.negative_ = false;
  return result;
}

int Decimal::CompareMagnitude(const Digits& a, const Digits& b) {
  for (int p = kPositions - 1; p >= 0; --p) {
    if (a[p] != b[p])
      return a[p] < b[p] ? -1 : 1;
  }
  return 0;
}

int Decimal::Compare(const Decimal& a, const Decimal& b) {
  if (a.negative_ != b.negative_)
    return a.negative_ ? -1 : 1;
  const int magnitude = CompareMagnitude(a.digits_, b.digits_);
  return a.negative_ ? -magnitude : magnitude;
}

Decimal operator+(const Decimal& a, const Decimal& b) {
  Decimal result;
  if (a.negative_ == b.negative_) {
    int carry = 0;
    for (int p = 0; p < kPositions; ++p) {
      const int sum = a.digits_[p] + b.digits_[p] + carry;
      result.digits_[p] = static_cast<uint8_t>(sum % 10);
      carry = sum / 10;
    }
    // A carry out of the highest integer position is dropped with it.
    result.negative_ = a.negative_;
  } else {
    // Subtract the smaller magnitude from the larger; the larger one gives the sign.
    const bool aLarger = Decimal::CompareMagnitude(a.digits_, b.digits_) >= 0;
    const Decimal& big = aLarger ? a : b;
    const Decimal& small = aLarger ? b : a;
    int borrow = 0;
    for (int p = 0; p < kPositions; ++p) {
      int difference = big.digits_[p] - small.digits_[p] - borrow;
      borrow = difference < 0 ? 1 : 0;
      if (difference < 0)
        difference += 10;
      result.digits_[p] = static_cast<uint8_t>(difference);
    }
    result.negative_ = big.negative_;
  }
  result.Normalize();
  return result;
}

Decimal operator-(const Decimal& a, const Decimal& b) {
  return a + b.Negated();
}

Decimal operator*(const Decimal& a, const Decimal& b) {
  Decimal result;
  if (a.IsZero() || b.IsZero())
    return result;
  // Full product over 128 positions of weight 10^(k - 64); positions 32..95 are kept.
  std::array<uint32_t, 2 * kPositions> product{};
  for (int i = a.low_; i <= a.high_; ++i) {
    if (a.digits_[i] == 0)
      continue;
    for (int j = b.low_; j <= b.high_; ++j) {
      product[i + j] += static_cast<uint32_t>(a.digits_[i]) * b.digits_[j];
    }
  }
  uint32_t carry = 0;
  for (size_t k = 0; k < product.size(); ++k) {
    const uint32_t value = product[k] + carry;
    product[k] = value % 10;
    carry = value / 10;
  }
  for (int p = 0; p < kPositions; ++p)
    result.digits_[p] = static_cast<uint8_t>(product[p + kUnits]);
  result.negative_ = a.negative_ != b.negative_;
  result.Normalize();
  return result;
}

Decimal operator/(const Decimal& a, const Decimal& b) {
  Decimal result;
  if (b.IsZero() || a.IsZero())
    return result;
  // As integers A = |a|·10^32 and B = |b|·10^32, the result's digits are floor(A·10^32 / B):
  // long division over the digits of A·10^32, most significant first. The remainder stays below
  // 10·B, so it never needs more than one digit beyond B's highest.
  const int width = b.high_ + 2;
  std::array<uint8_t, kPositions + 1> remainder{};
  auto remainderBelowDivisor = [&] {
    if (remainder[width - 1] != 0)
      return false;
    for (int p = width - 2; p >= 0; --p) {
      if (remainder[p] != b.digits_[p])
        return remainder[p] < b.digits_[p];
    }
    return false;  // equal
  };
  // A·10^32 has a's digit at position k - 32 at k; above a's highest digit the quotient is 0.
  for (int k = a.high_ + kUnits; k >= 0; --k) {
    std::copy_backward(remainder.begin(), remainder.begin() + width - 1, remainder.begin() + width);
    remainder[0] = k >= kUnits ? a.digits_[k - kUnits] : 0;
    uint8_t digit = 0;
    while (!remainderBelowDivisor()) {
      int borrow = 0;
      for (int p = 0; p < width; ++p) {
        int difference = remainder[p] - (p < kPositions ? b.digits_[p] : 0) - borrow;
        borrow = difference < 0 ? 1 : 0;
        if (difference < 0)
          difference += 10;
        remainder[p] = static_cast<uint8_t>(difference);
      }
      ++digit;
    }
    // Quotient digit k weighs 10^(k - 32); those above the highest integer position are dropped.
    if (k < kPositions)
      result.digits_[k] = digit;
  }
  result.negative_ = a.negative_ != b.negative_;
  result.Normalize();
  return result;
}

// The decimal stack.

namespace {

struct DecimalStack {
  std::array<Decimal, kDecimalStackSize> entries;
  size_t depth = 0;
};

DecimalStack& Stack() {
  static DecimalStack stack;
  return stack;
}

}  // namespace

void DecPush(const Decimal& value) {
  DecimalStack& stack = Stack();
  if (stack.depth >= kDecimalStackSize)
    return;
  stack.entries[stack.depth++] = value;
}

Decimal DecPop() {
  DecimalStack& stack = Stack();
  if (stack.depth == 0)
    return Decimal();
  return stack.entries[--stack.depth];
}

size_t DecimalStackDepth() {
  return Stack().depth;
}

void ResetDecimalStack() {
  Stack().depth = 0;
}

void DecPushInteger(int32_t value) {
  DecPush(Decimal::FromInt32(value));
}

void DecAdd() {
  const Decimal top = DecPop();
  const Decimal lower = DecPop();
  DecPush(lower + top);
}

void DecSubtract() {
  const Decimal top = DecPop();
  const Decimal lower = DecPop();
  DecPush(lower - top);
}

void DecMultiply() {
  const Decimal top = DecPop();
  const Decimal lower = DecPop();
  DecPush(lower * top);
}

void DecDivide() {
  const Decimal top = DecPop();
  const Decimal lower = DecPop();
  DecPush(lower / top);
}

void DecTruncate() {
  DecPush(DecPop().Truncated());
}

int DecCompare() {
  const Decimal top = DecPop();
  const Decimal lower = DecPop();
  return Decimal::Compare(lower, top);
}

int DecCompareReversed() {
  const Decimal top = DecPop();
  const Decimal lower = DecPop();
  return Decimal::Compare(top, lower);
}

int32_t DecPopInteger() {
  return DecPop().ToInt32();
}

}  // namespace vantora::runtime
