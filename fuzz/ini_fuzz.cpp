// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the profile functions and the INI access above them. The input is a file's
// bytes, a line "%%" and a script of reads and writes on that file, which lives in a temporary
// directory. Every answer is compared with an in-memory document given the same changes, and what
// the profile functions promise is checked on its own: a value written reads back, a refused
// write changes nothing, a section no change named keeps every key, and the file written back
// parses to the same answers.
//
// One script line per step; the letter, then fields separated by "|" (escapes: fuzz_support.h):
//   g S|K|D|N  read key K of section S, default D, into N bytes (256 when N is missing)
//   l S|D|N    the key names of S          s N    the section names
//   w S|K|V    write                        d S|K  delete the key     x S  delete the section
//   G S|K|D    GETINI                       W S|K|V, D S|K, X S: WRITEINI, also without value/key
//   f          write pending changes back   o BYTES  another program rewrites the file in place
//   m          another program removes the file
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/profile/ini_document.h"
#include "platform/profile/profile.h"
#include "platform/text_encoding.h"
#include "runtime/ini.h"
#include "runtime/value_stack.h"

namespace {

using vantora::platform::FoldCase;
using vantora::platform::IniDocument;
using vantora::platform::IsUtf8;
using vantora::platform::ToUtf8;
using vantora::platform::TrimBlanks;
using vantora::platform::Utf8Prefix;
namespace fz = vantora::fuzz;
namespace rt = vantora::runtime;

constexpr size_t kMostSteps = 100;
constexpr uint32_t kLargeBuffer = 1u << 20;

// The helpers below say what a caller of the profile functions sees, as profile.h describes it.
std::string_view UpToNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string DefaultOf(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

std::string NameList(const std::vector<std::string_view>& names) {
  std::string list;
  for (const std::string_view name : names) {
    list.append(UpToNul(name));
    list.push_back('\0');
  }
  return list;
}

// The writes the profile functions refuse because the text would read back as something else.
bool Refused(std::string_view section, const std::string* key, const std::string* value) {
  auto lineBreak = [](std::string_view text) { return text.find_first_of("\r\n") != text.npos; };
  const std::string_view name = TrimBlanks(section);
  if (lineBreak(name) || name.find(']') != name.npos) {
    return true;
  }
  if (key != nullptr) {
    const std::string_view keyName = TrimBlanks(*key);
    if (lineBreak(keyName) || keyName.find('=') != keyName.npos ||
        (!keyName.empty() && (keyName.front() == '[' || keyName.front() == ';'))) {
      return true;
    }
  }
  return value != nullptr && lineBreak(*value);
}

// One change as the caller made it: no key deletes the section, no value deletes the key.
struct Change {
  std::string section;
  std::optional<std::string> key;
  std::optional<std::string> value;

  bool Apply(IniDocument& document) const {
    if (!key) {
      return document.DeleteSection(section);
    }
    if (!value) {
      return document.DeleteKey(section, *key);
    }
    return document.Set(section, *key, *value);
  }
};

// What the file should read as: the disk's content with our changes since the last write-back
// applied on top. A change that changed nothing is not one of them.
class Expected {
 public:
  void Reset(std::string bytes) {
    document_ = IniDocument(std::move(bytes));
    for (const Change& change : pending_) {
      change.Apply(document_);
    }
  }
  void Apply(const Change& change) {
    if (change.Apply(document_)) {
      pending_.push_back(change);
    }
  }
  void WrittenBack() { pending_.clear(); }
  const IniDocument& Document() const { return document_; }

  std::string Value(std::string_view section, std::string_view key,
                    std::string_view defaultValue) const {
    if (const auto value = document_.Find(section, key)) {
      return ToUtf8(UpToNul(Unquote(*value)));
    }
    return ToUtf8(DefaultOf(defaultValue));
  }

 private:
  IniDocument document_;
  std::vector<Change> pending_;
};

// Every section with every key and its value, as a reader lists them.
struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;
  bool operator==(const Section&) const = default;
};
using View = std::vector<Section>;

View ViewOf(const IniDocument& document) {
  View view;
  for (const std::string_view listed : document.SectionNames()) {
    Section section{std::string(UpToNul(listed)), {}};
    if (const auto keys = document.KeyNames(section.name)) {
      for (const std::string_view key : *keys) {
        const std::string name(UpToNul(key));
        const auto value = document.Find(section.name, name);
        section.values.emplace_back(name, value ? ToUtf8(UpToNul(Unquote(*value))) : std::string());
      }
    }
    view.push_back(std::move(section));
  }
  return view;
}

std::string Describe(const View& view) {
  std::string text;
  for (const Section& section : view) {
    text += "[" + section.name + "]";
    for (const auto& [key, value] : section.values) {
      text += " " + key + "=" + value + ";";
    }
    text += " ";
  }
  return text;
}

class Run {
 public:
  explicit Run(std::string name) : name_(std::move(name)), path_(fz::ProcessDirectory() / name_) {}
  // Every input leaves the file empty and nothing pending: the next one starts where this one
  // did, and libFuzzer finds as many allocations freed as made.
  ~Run() {
    fz::WriteFile(path_, "");
    char unused[1];
    vantora::platform::GetPrivateProfileStringA("", "", "", unused, sizeof unused, File());
  }

  void Start(std::string_view bytes) {
    fz::WriteFile(path_, bytes);
    expected_.Reset(std::string(bytes));
    utf8_ = IsUtf8(bytes);
    CheckAll();
    baseline_ = ApiView();
  }

  void Step(std::string_view line) {
    const char op = line.front();
    line.remove_prefix(1);
    if (!line.empty() && line.front() == ' ') {
      line.remove_prefix(1);
    }
    std::vector<std::string> f = fz::Fields(line);
    for (std::string& field : f) {
      field.resize(UpToNul(field).size());  // what a C caller can pass
    }
    f.resize(4);
    const int size = fz::ReadNumber(f[3], 256);
    switch (op) {
      case 'g':
        ReadValue(f[0], f[1], f[2], static_cast<uint32_t>(size));
        break;
      case 'l':
        ReadKeys(f[0], f[1], static_cast<uint32_t>(fz::ReadNumber(f[2], 256)));
        break;
      case 's':
        ReadSections(static_cast<uint32_t>(fz::ReadNumber(f[0], 256)));
        break;
      case 'w':
        Write(Change{f[0], f[1], f[2]}, false);
        break;
      case 'd':
        Write(Change{f[0], f[1], std::nullopt}, false);
        break;
      case 'x':
        Write(Change{f[0], std::nullopt, std::nullopt}, false);
        break;
      case 'G':
        RuntimeRead(f[0], f[1], f[2]);
        break;
      case 'W':
        Write(Change{f[0], f[1], f[2]}, true);
        break;
      case 'D':
        Write(Change{f[0], f[1], std::nullopt}, true);
        break;
      case 'X':
        Write(Change{f[0], std::nullopt, std::nullopt}, true);
        break;
      case 'f':
        WriteBack();
        break;
      case 'o':
        Outside(fz::Unescape(line));
        break;
      case 'm':
        Outside(std::nullopt);
        break;
      default:
        return;
    }
    // A read checks its own answer; after anything else, every answer is checked.
    if (std::string_view("glsG").find(op) == std::string_view::npos) {
      CheckAll();
    }
  }

  void Finish() {
    WriteBack();
    CheckUntouchedKept();
  }

 private:
  const char* File() const { return name_.c_str(); }

  // What GetPrivateProfileStringA gives in a buffer of exactly `size` bytes: the count and the
  // buffer, checked against the documented shape of a cut value or list.
  void CheckRead(const char* section, const char* key, const char* defaultValue, uint32_t size,
                 const std::string& full, bool list) {
    auto buffer = std::make_unique<char[]>(size);
    const uint32_t count = vantora::platform::GetPrivateProfileStringA(section, key, defaultValue,
                                                                       buffer.get(), size, File());
    const std::string got(buffer.get(), std::min(count, size));
    if (size == 0) {
      fz::Expect(count == 0, "a read into no buffer copies nothing");
      return;
    }
    std::string want;
    if (!list) {
      // Whatever the file's bytes, a value reads as UTF-8, and a cut keeps every character whole.
      fz::Expect(IsUtf8(got), "a value reads as valid UTF-8", fz::Printable(got));
    }
    if (!list || full.size() + 1 <= size) {
      want = full.substr(
          0, list ? std::min<size_t>(full.size(), size - 1) : Utf8Prefix(full, size - 1));
      fz::Expect(count == want.size() && buffer[count] == '\0' && got == want,
                 "a read gives the value, cut to the buffer and ended by NUL",
                 "want '" + want + "' got '" + got + "'");
      if (list && full.empty() && size > 1) {
        fz::Expect(buffer[1] == '\0', "an empty list ends in two NULs");
      }
      return;
    }
    if (size < 2) {
      fz::Expect(count == 0 && buffer[0] == '\0', "a list cut to one byte is empty");
      return;
    }
    want = full.substr(0, size - 2);
    fz::Expect(
        count == size - 2 && got == want && buffer[size - 2] == '\0' && buffer[size - 1] == '\0',
        "a list cut short ends in two NULs", "want '" + want + "' got '" + got + "'");
  }

  void ReadValue(const std::string& section, const std::string& key,
                 const std::string& defaultValue, uint32_t size) {
    CheckRead(section.c_str(), key.c_str(), defaultValue.c_str(), size,
              expected_.Value(section, key, defaultValue), false);
  }

  void ReadKeys(const std::string& section, const std::string& defaultValue, uint32_t size) {
    const auto keys = expected_.Document().KeyNames(section);
    CheckRead(section.c_str(), nullptr, defaultValue.c_str(), size,
              keys ? NameList(*keys) : ToUtf8(DefaultOf(defaultValue)), keys.has_value());
  }

  void ReadSections(uint32_t size) {
    CheckRead(nullptr, nullptr, nullptr, size, NameList(expected_.Document().SectionNames()), true);
  }

  // The INI access layer: each argument without its trailing spaces and cut to its buffer.
  static std::string Argument(std::string_view text, size_t bufferSize) {
    while (!text.empty() && text.back() == ' ') {
      text.remove_suffix(1);
    }
    return std::string(text.substr(0, Utf8Prefix(text, bufferSize - 1)));
  }

  void RuntimeRead(const std::string& section, const std::string& key,
                   const std::string& defaultValue) {
    rt::PushText(name_);
    rt::PushText(defaultValue);
    rt::PushText(key);
    rt::PushText(section);
    rt::GETINI();
    fz::Expect(rt::ValueStackDepth() == 1, "GETINI leaves one result on the value stack");
    const std::string got = rt::PopText();
    std::string want =
        expected_.Value(Argument(section, rt::kIniSectionSize), Argument(key, rt::kIniKeySize),
                        Argument(defaultValue, rt::kIniValueSize));
    want.resize(Utf8Prefix(want, rt::kIniValueSize - 1));
    fz::Expect(got == want, "GETINI gives the value", "want '" + want + "' got '" + got + "'");
  }

  void Write(Change change, bool runtime) {
    if (runtime) {
      rt::PushText(name_);
      rt::PushText(change.value.value_or(""));
      rt::PushText(change.key.value_or(""));
      rt::PushText(change.section);
      rt::WRITEINI(!change.key, change.key && !change.value);
      fz::Expect(rt::ValueStackDepth() == 0, "WRITEINI takes its four arguments");
      change.section = Argument(change.section, rt::kIniSectionSize);
      if (change.key) {
        change.key = Argument(*change.key, rt::kIniKeySize);
      }
      if (change.value) {
        change.value = Argument(*change.value, rt::kIniValueSize);
      }
    }
    const std::string* key = change.key ? &*change.key : nullptr;
    const std::string* value = change.value ? &*change.value : nullptr;
    const bool refused = Refused(change.section, key, value);
    if (!runtime) {
      const View before = refused ? ApiView() : View{};
      const int result = vantora::platform::WritePrivateProfileStringA(
          change.section.c_str(), key != nullptr ? key->c_str() : nullptr,
          value != nullptr ? value->c_str() : nullptr, File());
      fz::Expect(result == (refused ? 0 : 1),
                 refused ? "a write that would read back otherwise is refused"
                         : "a write into a writable directory succeeds",
                 change.section + "|" + change.key.value_or("(none)"));
      if (refused) {
        fz::Expect(ApiView() == before, "a refused write changes nothing");
      }
    }
    if (refused) {
      return;
    }
    touched_.insert(FoldCase(TrimBlanks(change.section)));
    utf8_ = utf8_ && IsUtf8(change.section) && IsUtf8(change.key.value_or("")) &&
            IsUtf8(change.value.value_or(""));
    expected_.Apply(change);
    if (key != nullptr && value != nullptr) {
      // Read back through a buffer that just holds it.
      const std::string want = ToUtf8(UpToNul(Unquote(TrimBlanks(*value))));
      CheckRead(change.section.c_str(), key->c_str(), "", static_cast<uint32_t>(want.size() + 1),
                want, false);
    }
  }

  void WriteBack() {
    fz::Expect(
        vantora::platform::WritePrivateProfileStringA(nullptr, nullptr, nullptr, File()) == 1,
        "pending changes are written back");
    expected_.WrittenBack();
    const std::string disk = fz::ReadFile(path_);
    const std::string want = expected_.Document().Serialize();
    fz::Expect(disk == want, "the file written back holds the changes and nothing else",
               "want '" + want + "' disk '" + disk + "'");
    fz::Expect(!utf8_ || IsUtf8(disk), "a UTF-8 file given UTF-8 changes stays UTF-8");
    const View reread = ViewOf(IniDocument(disk));
    const View held = ViewOf(expected_.Document());
    fz::Expect(reread == held, "the file written back parses to the same answers",
               "held " + Describe(held) + " reread " + Describe(reread));
  }

  void Outside(const std::optional<std::string>& bytes) {
    std::error_code ignored;
    if (bytes) {
      fz::WriteFile(path_, *bytes);
    } else {
      std::filesystem::remove(path_, ignored);
    }
    expected_.Reset(bytes.value_or(""));
    utf8_ = utf8_ && IsUtf8(bytes.value_or(""));
    CheckAll();
    // What the other program wrote is the new starting point.
    baseline_ = ApiView();
    touched_.clear();
  }

  // The file as a reader sees it through the profile functions.
  View ApiView() const {
    static const auto buffer = std::make_unique<char[]>(kLargeBuffer);
    auto list = [](uint32_t count) {
      std::vector<std::string> names;
      for (size_t at = 0; at < count;) {
        const std::string name(buffer.get() + at);
        at += name.size() + 1;
        names.push_back(name);
      }
      return names;
    };
    using vantora::platform::GetPrivateProfileStringA;
    View view;
    for (const std::string& name :
         list(GetPrivateProfileStringA(nullptr, nullptr, "", buffer.get(), kLargeBuffer, File()))) {
      Section section{name, {}};
      for (const std::string& key : list(GetPrivateProfileStringA(
               name.c_str(), nullptr, "", buffer.get(), kLargeBuffer, File()))) {
        const uint32_t count = GetPrivateProfileStringA(name.c_str(), key.c_str(), "", buffer.get(),
                                                        kLargeBuffer, File());
        fz::Expect(count + 1 < kLargeBuffer, "the input is small enough to be read whole");
        section.values.emplace_back(key, std::string(buffer.get(), count));
      }
      view.push_back(std::move(section));
    }
    return view;
  }

  void CheckAll() const {
    const View api = ApiView();
    const View held = ViewOf(expected_.Document());
    fz::Expect(api == held, "the profile functions read what the changes made of the file",
               "expected " + Describe(held) + " read " + Describe(api));
  }

  // A section that no change named still has every key and value it had.
  void CheckUntouchedKept() const {
    const View now = ApiView();
    for (const Section& section : baseline_) {
      const std::string folded = FoldCase(TrimBlanks(section.name));
      if (touched_.contains(folded)) {
        continue;
      }
      bool found = false;
      for (const Section& later : now) {
        if (FoldCase(TrimBlanks(later.name)) == folded) {
          fz::Expect(later.values == section.values, "a section no change named keeps its keys",
                     section.name);
          found = true;
          break;
        }
      }
      fz::Expect(found, "a section no change named stays", section.name);
    }
  }

  std::string name_;
  std::filesystem::path path_;
  Expected expected_;
  View baseline_;
  std::set<std::string> touched_;  // folded names of the sections changes named
  bool utf8_ = true;               // the file and every change since were valid UTF-8
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VANTORA_CONFIG_DIR", fz::ProcessDirectory().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fz::SplitInput input =
      fz::SplitAtMarker(std::string_view(reinterpret_cast<const char*>(data), size));
  Run run("fuzz.ini");
  run.Start(input.head);
  size_t steps = 0;
  for (const std::string_view line : fz::Lines(input.script)) {
    if (!line.empty() && ++steps <= kMostSteps) {
      run.Step(line);
    }
  }
  run.Finish();
  rt::ResetValueStacks();
  return 0;
}
