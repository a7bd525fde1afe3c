// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the display pictures: any picture text compiles to a picture of the width it
// claims or to nothing, formats every number and text to exactly that width, reads any text back
// as a plain value, and where the picture keeps all of a value, DEFORMAT(FORMAT(x)) gives x again.
// The value-stack forms must agree with the direct ones.
//
// The first line is the picture. Each further line is a value: read as a number, as a text and
// as a formatted text to read back. A line "=KEY=VALUE" sets a regional time setting instead.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/profile/ini_document.h"
#include "platform/profile/profile.h"
#include "platform/text_encoding.h"
#include "runtime/decimal.h"
#include "runtime/picture.h"
#include "runtime/value_stack.h"

namespace {

namespace fz = vantora::fuzz;
using vantora::runtime::Decimal;
using vantora::runtime::Picture;
using vantora::runtime::PictureKind;

constexpr size_t kMostValues = 64;
constexpr int32_t kLastTime = 8640000;  // 23:59:59.99

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  using vantora::platform::FoldCase;
  return !word.empty() && FoldCase(text).find(FoldCase(word)) != std::string::npos;
}

// A regional setting as the pictures read it: through the platform profile, 31 characters.
std::string Regional(const char* key, const char* fallback) {
  char value[32] = {};
  vantora::platform::GetProfileStringA("intl", key, fallback, value, sizeof value);
  return value;
}

// The time layouts 1..6 show hours and minutes, some of them seconds too; 7 and 8 come from the
// regional settings, 8 with seconds.
bool ShowsSeconds(int layout) {
  return layout == 4 || layout == 5 || layout == 6 || layout == 8;
}

// Whether a regional time reads back as the time it shows: the text fits the picture, a
// separator keeps the fields apart, no setting adds digits, and the half-day words tell the
// halves apart.
bool RegionalRoundTrips(const Picture& picture, int32_t hours) {
  const bool twentyFour = Regional("iTime", "0") == "1";
  const std::string separator = Regional("sTime", ":");
  const std::string am = Regional("s1159", "AM");
  const std::string pm = Regional("s2359", "PM");
  if (separator.empty()) {
    return false;
  }
  for (const std::string* setting : {&separator, &am, &pm}) {
    for (const char c : *setting) {
      if (IsDigit(c)) {
        return false;
      }
    }
  }
  size_t length = 4 + separator.size() + (picture.layout == 8 ? 2 + separator.size() : 0);
  if (twentyFour) {
    return length <= static_cast<size_t>(picture.width);
  }
  const std::string& suffix = hours < 12 ? am : pm;
  length += suffix.size();
  // The reader looks for the afternoon word first, then for the morning word at twelve.
  const std::string body = "00" + separator + "00" + separator + "00";
  return length <= static_cast<size_t>(picture.width) && !am.empty() && !pm.empty() &&
         !ContainsNoCase(body, am) && !ContainsNoCase(body, pm) &&
         ContainsNoCase(suffix, pm) == (hours >= 12) && ContainsNoCase(suffix, am) == (hours < 12);
}

// What a time picture reads back from the text it made of `value`: the time cut to what the
// picture shows, 0 for midnight and for anything that is not a time.
std::string TimeReadBack(int32_t value, const Picture& picture) {
  if (value < 1 || value > kLastTime) {
    return "0";
  }
  const int32_t unit = ShowsSeconds(picture.layout) ? 100 : 6000;
  const int32_t shown = (value - 1) / unit * unit;
  return shown == 0 ? "0" : std::to_string(shown + 1);
}

void CheckCompiled(std::string_view text, const Picture& picture) {
  fz::Expect((picture.kind == PictureKind::Invalid) == (picture.width == 0),
             "a picture compiles to a width or to nothing", text);
  fz::Expect(picture.width >= 0 && picture.width <= Picture::kMaxWidth,
             "a picture is at most 255 wide", text);
  switch (picture.kind) {
    case PictureKind::Pattern:
      fz::Expect(vantora::platform::Utf8Length(picture.slots) == static_cast<size_t>(picture.width),
                 "a pattern has a slot per position", text);
      break;
    case PictureKind::Numeric:
      fz::Expect(picture.decimals >= 0 && picture.decimals < picture.width,
                 "a number's decimals fit in its width", text);
      break;
    case PictureKind::Time:
      fz::Expect(picture.layout >= 1 && picture.layout <= 8, "a time layout is 1 to 8", text);
      break;
    case PictureKind::String:
    case PictureKind::Invalid:
      break;
  }
}

// A number read back is a plain number text: what Decimal writes, or -1/0/a time for times.
void CheckPlain(const std::string& plain, const Picture& picture, std::string_view from) {
  if (picture.kind == PictureKind::String || picture.kind == PictureKind::Invalid) {
    return;
  }
  fz::Expect(Decimal::FromText(plain).ToText() == plain, "DEFORMAT gives a plain number",
             std::string(from) + " -> " + plain);
  if (picture.kind == PictureKind::Time) {
    const Decimal value = Decimal::FromText(plain);
    fz::Expect(plain == "-1" || plain == "0" ||
                   (value.FractionDigits().empty() && value.ToInt32() >= 1 &&
                    value.ToInt32() <= kLastTime),
               "a time read back is a time, 0 or -1", std::string(from) + " -> " + plain);
  }
}

void CheckValue(std::string_view pictureText, const Picture& picture, const std::string& line) {
  namespace rt = vantora::runtime;
  const Decimal number = Decimal::FromText(line);
  using vantora::platform::IsUtf8;
  using vantora::platform::Utf8Length;
  const std::string formatted = rt::FormatNumber(number, picture);
  fz::Expect(Utf8Length(formatted) == static_cast<size_t>(picture.width),
             "a number formats to the picture's width", line + " -> '" + formatted + "'");
  const std::string text = rt::FormatText(line, picture);
  fz::Expect(Utf8Length(text) == static_cast<size_t>(picture.width),
             "a text formats to the picture's width", line + " -> '" + text + "'");

  // Reading back any text at all.
  const std::string plain = rt::DeformatText(line, picture);
  if (IsUtf8(pictureText) && IsUtf8(line)) {
    fz::Expect(IsUtf8(formatted) && IsUtf8(text) && IsUtf8(plain),
               "UTF-8 in gives UTF-8 out, never a split character",
               fz::Printable(line) + " -> '" + fz::Printable(text) + "'");
  }
  CheckPlain(plain, picture, line);
  const std::string back = rt::DeformatText(formatted, picture);
  CheckPlain(back, picture, formatted);

  // Where the picture keeps the whole value, it comes back.
  const std::string integer = number.IntegerDigits();
  const std::string fraction = number.FractionDigits();
  switch (picture.kind) {
    case PictureKind::Numeric:
      if (fraction.size() <= static_cast<size_t>(picture.decimals) &&
          formatted.find('#') == std::string::npos) {
        fz::Expect(back == number.ToText(), "a number that fits reads back as itself",
                   line + " -> '" + formatted + "' -> " + back);
      }
      break;
    case PictureKind::Pattern: {
      const size_t slots = static_cast<size_t>(std::count_if(
          picture.slots.begin(), picture.slots.end(), [](char c) { return c == '#' || c == '<'; }));
      if (integer.size() <= slots) {
        fz::Expect(back == Decimal::FromDigits(false, integer, "").ToText(),
                   "a pattern gives back the whole number it shows",
                   line + " -> '" + formatted + "' -> " + back);
      }
      break;
    }
    case PictureKind::Time: {
      const int32_t value = number.ToInt32();
      const bool valid = value >= 1 && value <= kLastTime;
      const int32_t hours = valid ? (value - 1) / 360000 : 0;
      if (picture.layout <= 6 || RegionalRoundTrips(picture, hours)) {
        fz::Expect(back == TimeReadBack(value, picture), "a time reads back as the time it shows",
                   line + " -> '" + formatted + "' -> " + back);
      }
      break;
    }
    case PictureKind::String:
      fz::Expect(rt::DeformatText(text, picture) == text,
                 "a string picture reads back what it shows", line);
      break;
    case PictureKind::Invalid:
      fz::Expect(formatted.empty() && text.empty() && plain == line,
                 "an unusable picture shows nothing and reads texts as they are", line);
      break;
  }

  // The value-stack forms say the same.
  rt::DecPush(number);
  rt::FORMAT(pictureText);
  fz::Expect(rt::PopText() == formatted, "FORMAT formats like FormatNumber", line);
  rt::FORMAT(number.ToInt32(), pictureText);
  fz::Expect(rt::PopText() == rt::FormatNumber(Decimal::FromInt32(number.ToInt32()), picture),
             "FORMAT of an integer formats like FormatNumber", line);
  char field[12];
  rt::DecPush(number);
  rt::FormatToField(pictureText, field, sizeof field);
  // Cut to the field, never inside a character.
  std::string fixed = formatted.substr(0, vantora::platform::Utf8Prefix(formatted, sizeof field));
  fixed.resize(sizeof field, ' ');
  fz::Expect(std::string(field, sizeof field) == fixed, "FormatToField fills the field", line);
  rt::PushText(line);
  rt::DEFORMAT(pictureText);
  fz::Expect(rt::PopText() == rt::DeformatText(line.substr(0, 254), picture),
             "DEFORMAT reads the first 254 characters", line);
  rt::DeformatField(line.data(), line.size(), pictureText);
  fz::Expect(rt::DecPop() == Decimal::FromText(plain), "DeformatField pushes the value", line);
  fz::Expect(rt::ValueStackDepth() == 0 && rt::DecimalStackDepth() == 0,
             "the stacks are back where they were", line);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VANTORA_CONFIG_DIR", fz::ProcessDirectory().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> lines =
      fz::Lines(std::string_view(reinterpret_cast<const char*>(data), size));
  // Each input starts from the default regional settings; they are never written to disk.
  vantora::platform::WriteProfileStringA("intl", nullptr, nullptr);
  const std::string pictureText = lines.empty() ? std::string() : std::string(lines.front());
  const Picture picture = vantora::runtime::CompilePicture(pictureText);
  CheckCompiled(pictureText, picture);
  size_t values = 0;
  bool settings = false;
  for (size_t i = 1; i < lines.size() && values < kMostValues; ++i) {
    if (lines[i].starts_with("=")) {
      const std::vector<std::string> setting = fz::Fields(lines[i].substr(1), '=');
      if (setting.size() == 2) {
        vantora::platform::WriteProfileStringA("intl", setting[0].c_str(), setting[1].c_str());
        settings = true;
      }
      continue;
    }
    ++values;
    CheckValue(pictureText, picture, std::string(lines[i]));
  }
  if (settings) {
    // Written back, so that changes do not pile up in memory over millions of inputs.
    vantora::platform::WriteProfileStringA("intl", nullptr, nullptr);
    vantora::platform::FlushProfiles();
  }
  return 0;
}
