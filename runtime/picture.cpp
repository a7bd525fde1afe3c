// SPDX-License-Identifier: GPL-3.0-or-later
// Display pictures: compiling them, and formatting numbers and texts through them and back.
#include "runtime/picture.h"

#include <algorithm>
#include <array>

#include "platform/profile/profile.h"
#include "platform/text_encoding.h"
#include "runtime/text.h"
#include "runtime/value_stack.h"

namespace vantora::runtime {
namespace {

constexpr size_t kDeformatMax = 254;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Reads a width of 1..255 at the front of `body`; 0 when there is none or it is out of range.
int ReadWidth(std::string_view& body) {
  int width = 0;
  size_t used = 0;
  while (used < body.size() && IsDigit(body[used])) {
    width = width * 10 + (body[used] - '0');
    if (width > Picture::kMaxWidth) {
      return 0;
    }
    ++used;
  }
  body.remove_prefix(used);
  return width;
}

// Time layouts: H hour with its tens digit blank when zero, h hour zero-filled, m minutes,
// s seconds (two positions each), x the two-letter AM/PM marker (the hour then counts 1..12),
// anything else a literal.
constexpr std::array<std::string_view, 7> kTimeLayouts = {
    "", "h:m", "hm", "H:mx", "H:m:s", "hms", "H:m:sx",
};

int LayoutWidth(std::string_view layout) {
  int width = 0;
  for (char c : layout) {
    width += (c == ':') ? 1 : 2;
  }
  return width;
}

bool CompilePattern(std::string_view body, Picture& picture) {
  // The body runs up to the closing letter; a "B" may follow it.
  if (!body.empty() && Upper(body.back()) == 'B' && body.size() >= 2 &&
      Upper(body[body.size() - 2]) == 'P') {
    picture.blankWhenZero = true;
    body.remove_suffix(1);
  }
  if (body.empty() || Upper(body.back()) != 'P') {
    return false;
  }
  body.remove_suffix(1);
  if (body.empty() || body.size() > static_cast<size_t>(Picture::kMaxWidth)) {
    return false;
  }
  picture.slots = std::string(body);
  picture.width = static_cast<int>(platform::Utf8Length(body));
  return true;
}

bool CompileNumeric(std::string_view body, Picture& picture) {
  if (!body.empty() && body.front() == '-') {
    body.remove_prefix(1);  // negatives always show their sign
  }
  if (body.size() >= 2 && (body[0] == '0' || body[0] == '_' || body[0] == '*') &&
      IsDigit(body[1])) {
    picture.fill = body[0];
    body.remove_prefix(1);
  }
  picture.width = ReadWidth(body);
  if (!body.empty() && body.front() == ',') {
    picture.grouping = ',';
    body.remove_prefix(1);
  }
  if (!body.empty() && body.front() == '.') {
    body.remove_prefix(1);
    if (body.empty() || !IsDigit(body.front())) {
      return false;
    }
    picture.decimals = ReadWidth(body);
  }
  if (!body.empty() && body.front() == '-') {
    body.remove_prefix(1);
  }
  if (!body.empty() && Upper(body.front()) == 'B') {
    picture.blankWhenZero = true;
    body.remove_prefix(1);
  }
  return body.empty() && picture.width > 0 && picture.decimals < picture.width;
}

bool CompileTime(std::string_view body, Picture& picture) {
  if (body.empty() || !IsDigit(body.front())) {
    return false;
  }
  picture.layout = body.front() - '0';
  body.remove_prefix(1);
  if (!body.empty() && Upper(body.front()) == 'B') {
    picture.blankWhenZero = true;
    body.remove_prefix(1);
  }
  if (!body.empty() || picture.layout < 1 || picture.layout > 8) {
    return false;
  }
  if (picture.layout <= 6) {
    picture.width = LayoutWidth(kTimeLayouts[static_cast<size_t>(picture.layout)]);
  } else {
    picture.width = picture.layout == 7 ? 7 : 10;  // regional forms: "hh:mmPM", "hh:mm:ssPM"
  }
  return true;
}

bool CompileString(std::string_view body, Picture& picture) {
  picture.width = ReadWidth(body);
  if (!body.empty() && Upper(body.front()) == 'B') {
    picture.blankWhenZero = true;
    body.remove_prefix(1);
  }
  return body.empty() && picture.width > 0;
}

std::string Spaces(int width) {
  return std::string(static_cast<size_t>(width), ' ');
}

// The first `width` characters of the text, padded to `width` characters.
std::string LeftAligned(std::string_view text, int width) {
  const auto chars = static_cast<size_t>(width);
  std::string out(text.substr(0, platform::Utf8Prefix(text, chars, text.size())));
  out.append(chars - platform::Utf8Length(out), ' ');
  return out;
}

// The character at the front of `text`, taken off it.
std::string_view TakeChar(std::string_view& text) {
  const size_t length = platform::Utf8Prefix(text, 1, text.size());
  const std::string_view taken = text.substr(0, length);
  text.remove_prefix(length);
  return taken;
}

// Rounds the value's digits to `decimals` fraction digits, half away from zero.
void RoundDigits(std::string& integer, std::string& fraction, int decimals) {
  const size_t keep = static_cast<size_t>(decimals);
  const bool roundUp = fraction.size() > keep && fraction[keep] >= '5';
  fraction.resize(keep, '0');
  if (!roundUp) {
    return;
  }
  std::string all = integer + fraction;
  int i = static_cast<int>(all.size()) - 1;
  for (; i >= 0; --i) {
    if (all[static_cast<size_t>(i)] == '9') {
      all[static_cast<size_t>(i)] = '0';
    } else {
      ++all[static_cast<size_t>(i)];
      break;
    }
  }
  if (i < 0) {
    all.insert(all.begin(), '1');
  }
  integer = all.substr(0, all.size() - keep);
  fraction = all.substr(all.size() - keep);
}

std::string FormatNumeric(const Decimal& value, const Picture& picture) {
  std::string integer = value.IntegerDigits();
  std::string fraction = value.FractionDigits();
  RoundDigits(integer, fraction, picture.decimals);
  const bool zero = integer.find_first_not_of('0') == std::string::npos &&
                    fraction.find_first_not_of('0') == std::string::npos;
  if (zero && picture.blankWhenZero) {
    return Spaces(picture.width);
  }
  if (picture.grouping != 0) {
    for (int at = static_cast<int>(integer.size()) - 3; at > 0; at -= 3) {
      integer.insert(static_cast<size_t>(at), 1, picture.grouping);
    }
  }
  std::string body = integer;
  if (picture.decimals > 0) {
    body += '.';
    body += fraction;
  }
  const bool negative = value.IsNegative() && !zero;
  const size_t needed = body.size() + (negative ? 1 : 0);
  if (needed > static_cast<size_t>(picture.width)) {
    return std::string(static_cast<size_t>(picture.width), '#');
  }
  const std::string pad(static_cast<size_t>(picture.width) - needed, picture.fill);
  if (picture.fill == ' ') {
    return pad + (negative ? "-" : "") + body;
  }
  return (negative ? "-" : "") + pad + body;
}

std::string FormatPattern(const Decimal& value, const Picture& picture) {
  std::string digits = value.IntegerDigits();
  if (digits == "0" && value.FractionDigits().empty() && picture.blankWhenZero) {
    return Spaces(picture.width);
  }
  const auto slotCount = static_cast<size_t>(std::count_if(
      picture.slots.begin(), picture.slots.end(), [](char c) { return c == '#' || c == '<'; }));
  if (digits.size() > slotCount) {
    return Spaces(picture.width);
  }
  digits.insert(0, slotCount - digits.size(), '0');
  std::string out;
  size_t next = 0;
  bool leading = true;
  for (char slot : picture.slots) {
    if (slot != '#' && slot != '<') {
      out += slot;
      continue;
    }
    const char digit = digits[next++];
    leading = leading && digit == '0';
    out += (slot == '<' && leading) ? ' ' : digit;
  }
  return out;
}

struct ClockTime {
  int32_t hours = 0;
  int32_t minutes = 0;
  int32_t seconds = 0;
};

constexpr int32_t kTimeMax = 8640000;

ClockTime SplitTime(int32_t value) {
  ClockTime t;
  if (value < 1 || value > kTimeMax) {
    return t;  // not a time: every field shows zero
  }
  const int32_t rest = value - 1;
  t.hours = rest / 360000;
  t.minutes = rest % 360000 / 6000;
  t.seconds = rest % 6000 / 100;
  return t;
}

std::string TwoDigits(int32_t n) {
  return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

// The regional time settings of the platform profile's "intl" section.
struct RegionalTime {
  bool twentyFourHour = false;
  bool leadingZero = true;
  std::string separator = ":";
  std::string am = "AM";
  std::string pm = "PM";
};

// Read at every format, as the platform's own regional settings can change while we run.
RegionalTime ReadRegionalTime() {
  auto read = [](const char* key, const char* fallback) {
    std::array<char, 32> value{};
    platform::GetProfileStringA("intl", key, fallback, value.data(), value.size());
    return std::string(value.data());
  };
  RegionalTime r;
  r.twentyFourHour = read("iTime", "0") == "1";
  r.leadingZero = read("iTLzero", "1") != "0";
  r.separator = read("sTime", ":");
  r.am = read("s1159", "AM");
  r.pm = read("s2359", "PM");
  return r;
}

std::string FormatRegionalTime(const ClockTime& t, bool withSeconds) {
  const RegionalTime r = ReadRegionalTime();
  int32_t hours = t.hours;
  std::string suffix;
  if (!r.twentyFourHour) {
    suffix = hours < 12 ? r.am : r.pm;
    hours %= 12;
    if (hours == 0) {
      hours = 12;
    }
  }
  std::string out = (r.leadingZero || hours >= 10) ? TwoDigits(hours) : std::to_string(hours);
  out += r.separator + TwoDigits(t.minutes);
  if (withSeconds) {
    out += r.separator + TwoDigits(t.seconds);
  }
  return out + suffix;
}

std::string FormatTime(int32_t value, const Picture& picture) {
  const ClockTime t = SplitTime(value);
  if (picture.blankWhenZero && t.hours == 0 && t.minutes == 0 && t.seconds == 0) {
    return Spaces(picture.width);
  }
  if (picture.layout >= 7) {
    return LeftAligned(FormatRegionalTime(t, picture.layout == 8), picture.width);
  }
  const bool valid = value >= 1 && value <= kTimeMax;
  std::string_view layout = kTimeLayouts[picture.layout];
  int32_t hours = t.hours;
  if (valid && layout.find('x') != std::string_view::npos) {
    hours = hours % 12 == 0 ? 12 : hours % 12;
  }
  std::string out;
  for (char c : layout) {
    switch (c) {
      case 'H':
        out += hours >= 10 ? TwoDigits(hours) : " " + TwoDigits(hours).substr(1);
        break;
      case 'h':
        out += TwoDigits(hours);
        break;
      case 'm':
        out += TwoDigits(t.minutes);
        break;
      case 's':
        out += TwoDigits(t.seconds);
        break;
      case 'x':
        out += t.hours < 12 ? "AM" : "PM";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string DeformatPattern(std::string_view text, const Picture& picture) {
  std::string digits;
  bool negative = false;
  // Position by position, a literal of several bytes being one position like any other.
  std::string_view slots = picture.slots;
  while (!text.empty() && !slots.empty()) {
    const std::string_view slotChar = TakeChar(slots);
    const std::string_view textChar = TakeChar(text);
    const char slot = slotChar.size() == 1 ? slotChar[0] : '\0';
    if (slot != '#' && slot != '<') {
      continue;
    }
    const char c = textChar.size() == 1 ? textChar[0] : '\0';
    if (IsDigit(c)) {
      digits += c;
    } else if (c == ' ' && slot == '<') {
      digits += '0';
    } else if (c == '-' || c == '(') {
      negative = true;
    }
  }
  return Decimal::FromDigits(negative, digits, "").ToText();
}

std::string DeformatNumeric(std::string_view text) {
  std::string integer;
  std::string fraction;
  bool negative = false;
  bool inFraction = false;
  for (char c : text) {
    if (IsDigit(c)) {
      (inFraction ? fraction : integer) += c;
    } else if (c == '.') {
      inFraction = true;
    } else if (c == '-' || c == '(') {
      negative = true;
    }
  }
  return Decimal::FromDigits(negative, integer, fraction).ToText();
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  if (word.empty() || word.size() > text.size()) {
    return false;
  }
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < word.size() && Upper(text[i + j]) == Upper(word[j])) {
      ++j;
    }
    if (j == word.size()) {
      return true;
    }
  }
  return false;
}

std::string TimeResult(int32_t hours, int32_t minutes, int32_t seconds) {
  if (hours > 23 || minutes > 59 || seconds > 59) {
    return "-1";
  }
  if (hours == 0 && minutes == 0 && seconds == 0) {
    return "0";
  }
  return std::to_string(hours * 360000 + minutes * 6000 + seconds * 100 + 1);
}

// The regional layouts have no fixed positions: hours, minutes and seconds are the runs of
// digits in order, and the AM/PM words of the settings say which half of the day it is.
std::string DeformatRegionalTime(std::string_view text) {
  std::array<int32_t, 3> fields{};
  size_t field = 0;
  size_t at = 0;
  while (at < text.size() && field < fields.size()) {
    if (!IsDigit(text[at])) {
      ++at;
      continue;
    }
    int32_t value = 0;
    while (at < text.size() && IsDigit(text[at])) {
      value = std::min(value * 10 + (text[at] - '0'), 100);
      ++at;
    }
    fields[field++] = value;
  }
  int32_t hours = fields[0];
  const RegionalTime r = ReadRegionalTime();
  if (!r.twentyFourHour) {
    if (ContainsNoCase(text, r.pm) && hours < 12) {
      hours += 12;
    } else if (ContainsNoCase(text, r.am) && hours == 12) {
      hours = 0;
    }
  }
  return TimeResult(hours, fields[1], fields[2]);
}

std::string DeformatTime(std::string_view text, const Picture& picture) {
  if (picture.layout >= 7) {
    return DeformatRegionalTime(text);
  }
  int32_t hours = 0;
  int32_t minutes = 0;
  int32_t seconds = 0;
  bool pm = false;
  bool am = false;
  size_t at = 0;
  auto readTwo = [&](int32_t& into) {
    for (int i = 0; i < 2; ++i, ++at) {
      if (at < text.size() && IsDigit(text[at])) {
        into = into * 10 + (text[at] - '0');
      }
    }
  };
  for (char c : kTimeLayouts[static_cast<size_t>(picture.layout)]) {
    switch (c) {
      case 'H':
      case 'h':
        readTwo(hours);
        break;
      case 'm':
        readTwo(minutes);
        break;
      case 's':
        readTwo(seconds);
        break;
      case 'x':
        pm = at < text.size() && Upper(text[at]) == 'P';
        am = at < text.size() && Upper(text[at]) == 'A';
        at += 2;
        break;
      default:
        ++at;
    }
  }
  if (pm && hours < 12) {
    hours += 12;
  } else if (am && hours == 12) {
    hours = 0;
  }
  return TimeResult(hours, minutes, seconds);
}

}  // namespace

Picture CompilePicture(std::string_view text) {
  Picture picture;
  if (text.empty() || text.size() > Picture::kMaxText) {
    return picture;
  }
  if (text.front() == '@') {
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return picture;
  }
  const char letter = Upper(text.front());
  const std::string_view body = text.substr(1);
  bool ok = false;
  switch (letter) {
    case 'P':
      picture.kind = PictureKind::Pattern;
      ok = CompilePattern(body, picture);
      break;
    case 'N':
      picture.kind = PictureKind::Numeric;
      ok = CompileNumeric(body, picture);
      break;
    case 'T':
      picture.kind = PictureKind::Time;
      ok = CompileTime(body, picture);
      break;
    case 'S':
      picture.kind = PictureKind::String;
      ok = CompileString(body, picture);
      break;
    default:
      break;
  }
  return ok ? picture : Picture{};
}

std::string FormatNumber(const Decimal& value, const Picture& picture) {
  switch (picture.kind) {
    case PictureKind::Pattern:
      return FormatPattern(value, picture);
    case PictureKind::Numeric:
      return FormatNumeric(value, picture);
    case PictureKind::Time:
      return FormatTime(value.ToInt32(), picture);
    case PictureKind::String:
      if (picture.blankWhenZero && value.IsZero()) {
        return Spaces(picture.width);
      }
      return LeftAligned(value.ToText(), picture.width);
    case PictureKind::Invalid:
      break;
  }
  return {};
}

std::string FormatText(std::string_view text, const Picture& picture) {
  if (picture.kind == PictureKind::String) {
    return LeftAligned(text, picture.width);
  }
  return FormatNumber(Decimal::FromText(text), picture);
}

std::string DeformatText(std::string_view text, const Picture& picture) {
  switch (picture.kind) {
    case PictureKind::Pattern:
      return DeformatPattern(text, picture);
    case PictureKind::Numeric:
      return DeformatNumeric(text);
    case PictureKind::Time:
      return DeformatTime(text, picture);
    case PictureKind::String:
      return std::string(text.substr(
          0, platform::Utf8Prefix(text, static_cast<size_t>(picture.width), text.size())));
    case PictureKind::Invalid:
      break;
  }
  return std::string(text);
}

void FORMAT(std::string_view picture) {
  PushText(FormatNumber(DecPop(), CompilePicture(picture)));
}

void FORMAT(int32_t value, std::string_view picture) {
  PushText(FormatNumber(Decimal::FromInt32(value), CompilePicture(picture)));
}

void FormatToField(std::string_view picture, char* field, size_t length) {
  const std::string text = FormatNumber(DecPop(), CompilePicture(picture));
  AssignFixed(field, length, text.data(), text.size());
}

void DEFORMAT(std::string_view picture) {
  std::string text = PopText();
  if (text.size() > kDeformatMax) {
    text.resize(kDeformatMax);
  }
  PushText(DeformatText(text, CompilePicture(picture)));
}

void DeformatField(const char* field, size_t length, std::string_view picture) {
  const std::string_view text =
      field == nullptr ? std::string_view{} : std::string_view(field, length);
  DecPush(Decimal::FromText(DeformatText(text, CompilePicture(picture))));
}

}  // namespace vantora::runtime
