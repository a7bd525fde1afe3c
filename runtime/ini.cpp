// SPDX-License-Identifier: GPL-3.0-or-later
// INI access: reading and writing one value of a profile file, arguments on the value stack.
#include "runtime/ini.h"

#include <array>

#include "platform/profile/profile.h"
#include "runtime/text.h"
#include "runtime/value_stack.h"

namespace vantora::runtime {
namespace {

// Pops the top entry without its trailing spaces into a NUL-terminated buffer, cut to fit.
template <size_t Size>
void PopArgument(std::array<char, Size>& buffer) {
  ClipTop();
  const std::string_view text = TopText();
  AssignCString(buffer.data(), buffer.size(), text.data(), text.size());
  Discard();
}

}  // namespace

void GETINI() {
  std::array<char, kIniSectionSize> section;
  std::array<char, kIniKeySize> key;
  std::array<char, kIniValueSize> defaultValue;
  std::array<char, kIniFileSize> file;
  PopArgument(section);
  PopArgument(key);
  PopArgument(defaultValue);
  PopArgument(file);

  std::array<char, kIniValueSize> result{};
  uint32_t length = 0;
  if (file[0] != '\0') {
    length = platform::GetPrivateProfileStringA(section.data(), key.data(), defaultValue.data(),
                                                result.data(), result.size(), file.data());
  } else {
    length = platform::GetProfileStringA(section.data(), key.data(), defaultValue.data(),
                                         result.data(), result.size());
  }
  PushText(std::string_view(result.data(), std::min<size_t>(length, result.size() - 1)));
}

bool WRITEINI(bool keyOmitted, bool valueOmitted) {
  std::array<char, kIniSectionSize> section;
  std::array<char, kIniKeySize> key;
  std::array<char, kIniValueSize> value;
  std::array<char, kIniFileSize> file;
  PopArgument(section);
  PopArgument(key);
  PopArgument(value);
  PopArgument(file);

  const char* keyArg = keyOmitted ? nullptr : key.data();
  const char* valueArg = (keyOmitted || valueOmitted) ? nullptr : value.data();
  if (file[0] != '\0') {
    return platform::WritePrivateProfileStringA(section.data(), keyArg, valueArg, file.data()) != 0;
  }
  return platform::WriteProfileStringA(section.data(), keyArg, valueArg) != 0;
}

std::optional<IniTrouble> UNSAVEDINI(int32_t waitedMs) {
  const platform::ClockTime now = platform::CurrentClock().Now();
  for (const platform::UnsavedProfile& file : platform::UnsavedProfiles()) {
    if (now - file.since >= platform::ClockTime{waitedMs}) {
      return IniTrouble{file.path, file.reason};
    }
  }
  return std::nullopt;
}

}  // namespace vantora::runtime
