// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's profile functions: sectioned key=value files, read and written by name.
#include "platform/profile/profile.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/paths.h"
#include "platform/profile/ini_document.h"
#include "platform/profile/profile_file.h"
#include "platform/text_encoding.h"

namespace vantora::platform {
namespace {

constexpr const char* kPlatformProfile = "win.ini";
constexpr size_t kMaxFileNameLength = 4095;
// Clean files kept parsed beyond the one in use; the player uses one or two.
constexpr size_t kMaxCachedFiles = 16;

// Every profile file this process has touched, and the one lock the profile functions share.
// Its destruction at process exit (also after a fatal error, which ends through exit) writes
// pending changes back.
class ProfileStore {
 public:
  ProfileStore() = default;
  ProfileStore(const ProfileStore&) = delete;
  ProfileStore& operator=(const ProfileStore&) = delete;
  ~ProfileStore() {
    // A thread still inside a profile call at exit holds the lock; waiting for it would hang
    // the exit.
    std::unique_lock lock(mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
      return;
    }
    try {
      FlushAll(true);
      Report();
    } catch (...) {
      // Out of memory at exit: nothing more can be done.
    }
  }

  // One entry per file, whatever name reaches it, so that its changes keep their order. Names
  // are resolved once; a link moved to another file later still reaches the old entry, whose
  // stat follows the link anew.
  ProfileFile& Open(const std::filesystem::path& path) {
    std::string requested = path.string();
    if (auto alias = aliases_.find(requested); alias != aliases_.end()) {
      return *alias->second;
    }
    std::error_code error;
    std::filesystem::path real = std::filesystem::weakly_canonical(path, error);
    if (error) {
      real = path.lexically_normal();
    }
    std::string name = real.string();
    auto it = files_.find(name);
    if (it == files_.end()) {
      if (files_.size() >= kMaxCachedFiles) {
        aliases_.clear();
        last_.file = nullptr;
        std::erase_if(files_, [](const auto& entry) { return !entry.second->Dirty(); });
      }
      it = files_.emplace(name, std::make_unique<ProfileFile>(real)).first;
    }
    aliases_.emplace(std::move(requested), it->second.get());
    return *it->second;
  }

  // The file a name as a caller gives it reaches; nullptr for a name no file can have. Reads come
  // by the same name over and over, and resolving it costs more than the read itself, so the last
  // name's file is kept at hand while the config directory stays the same.
  ProfileFile* OpenName(const char* fileName);

  bool FlushAll(bool force) {
    bool ok = true;
    for (auto& [name, file] : files_) {
      ok = file->Flush(force) && ok;
    }
    return ok;
  }

  std::vector<UnsavedProfile> Unsaved() const {
    std::vector<UnsavedProfile> unsaved;
    for (const auto& [name, file] : files_) {
      if (file->Dirty() && !file->Failure().empty()) {
        unsaved.push_back({file->Path().string(), file->Failure(), file->PendingSince()});
      }
    }
    std::sort(unsaved.begin(), unsaved.end(),
              [](const UnsavedProfile& a, const UnsavedProfile& b) { return a.since < b.since; });
    return unsaved;
  }

  // The last word on changes that never reached the disk: the user must learn they are lost.
  size_t Report() const {
    const std::vector<UnsavedProfile> unsaved = Unsaved();
    for (const UnsavedProfile& file : unsaved) {
      std::fprintf(stderr, "vantora: could not save changes to '%s': %s\n", file.path.c_str(),
                   file.reason.c_str());
    }
    std::fflush(stderr);
    return unsaved.size();
  }

  std::mutex mutex;

 private:
  std::unordered_map<std::string, std::unique_ptr<ProfileFile>> files_;  // by resolved name
  std::unordered_map<std::string, ProfileFile*> aliases_;                // by name as given
  struct {
    std::string name;       // as the caller gave it
    std::string directory;  // the config directory, for a bare name
    ProfileFile* file = nullptr;
  } last_;
};

ProfileStore& Store() {
  static ProfileStore store;
  return store;
}

// A bare name lives in the config directory; "\" separates like "/".
std::optional<std::filesystem::path> Resolve(const char* fileName, bool& bare) {
  if (fileName == nullptr) {
    return std::nullopt;
  }
  std::string name(fileName, strnlen(fileName, kMaxFileNameLength + 1));
  if (name.empty() || name.size() > kMaxFileNameLength) {
    return std::nullopt;
  }
  std::replace(name.begin(), name.end(), '\\', '/');
  bare = name.find('/') == std::string::npos;
  if (bare) {
    return CachedConfigDirectory() / name;
  }
  return std::filesystem::path(name);
}

ProfileFile* ProfileStore::OpenName(const char* fileName) {
  if (fileName == nullptr) {
    return nullptr;
  }
  const std::string_view name(fileName, strnlen(fileName, kMaxFileNameLength + 1));
  const bool bare = name.find_first_of("/\\") == std::string_view::npos;
  static const std::string kNone;
  const std::string& directory = bare ? CachedConfigDirectory().native() : kNone;
  if (last_.file != nullptr && last_.name == name && last_.directory == directory) {
    return last_.file;
  }
  bool resolvedBare = false;
  const std::optional<std::filesystem::path> path = Resolve(fileName, resolvedBare);
  if (!path) {
    return nullptr;
  }
  ProfileFile& file = Open(*path);
  last_.name = name;
  last_.directory = directory;
  last_.file = &file;
  return &file;
}

// Text up to its first NUL: what a C caller sees of it.
std::string_view UpToNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

bool IsAscii(std::string_view text) {
  unsigned char high = 0;
  for (char c : text) {
    high |= static_cast<unsigned char>(c);
  }
  return high < 0x80;
}

// A stored text as the caller's UTF-8, cut to the buffer without splitting a character.
uint32_t CopyString(std::string_view stored, char* returned, uint32_t size) {
  stored = UpToNul(stored);
  if (IsAscii(stored)) {
    // The usual text reads the same in either encoding, one byte a character: no conversion.
    const size_t count = std::min<size_t>(stored.size(), size - 1);
    std::memcpy(returned, stored.data(), count);
    returned[count] = '\0';
    return static_cast<uint32_t>(count);
  }
  const std::string text = ToUtf8(stored);
  const size_t count = Utf8Prefix(text, size - 1);
  std::memcpy(returned, text.data(), count);
  returned[count] = '\0';
  return static_cast<uint32_t>(count);
}

// Names, each NUL-terminated, and one more NUL after the last.
uint32_t CopyList(const std::vector<std::string_view>& names, char* returned, uint32_t size) {
  std::string list;
  for (std::string_view name : names) {
    list.append(UpToNul(name));
    list.push_back('\0');
  }
  if (list.size() + 1 <= size) {
    std::memcpy(returned, list.data(), list.size());
    returned[list.size()] = '\0';
    if (list.empty() && size > 1) {
      returned[1] = '\0';
    }
    return static_cast<uint32_t>(list.size());
  }
  if (size < 2) {
    returned[0] = '\0';
    return 0;
  }
  size_t count = size - 2;
  std::memcpy(returned, list.data(), count);
  returned[count] = '\0';
  returned[count + 1] = '\0';
  return static_cast<uint32_t>(count);
}

// One outer pair of matching quotes is not part of the value.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string_view DefaultOf(const char* defaultValue) {
  std::string_view text = defaultValue == nullptr ? "" : defaultValue;
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != text.npos;
}

// Names and values that would read back as something else are refused rather than written.
bool Writable(const char* section, const char* key, const char* value) {
  std::string_view name = TrimBlanks(section);
  if (HasLineBreak(name) || name.find(']') != name.npos) {
    return false;
  }
  if (key != nullptr) {
    std::string_view keyName = TrimBlanks(key);
    if (HasLineBreak(keyName) || keyName.find('=') != keyName.npos ||
        (!keyName.empty() && (keyName.front() == '[' || keyName.front() == ';'))) {
      return false;
    }
  }
  return value == nullptr || !HasLineBreak(value);
}

}  // namespace

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* returned, uint32_t size, const char* fileName) {
  if (returned == nullptr || size == 0) {
    return 0;
  }
  try {
    ProfileStore& store = Store();
    std::lock_guard lock(store.mutex);
    static const IniDocument empty;
    const IniDocument* document = &empty;
    if (ProfileFile* file = store.OpenName(fileName)) {
      file->Refresh();
      document = &file->Document();
    }
    if (section == nullptr) {
      return CopyList(document->SectionNames(), returned, size);
    }
    if (key == nullptr) {
      if (auto names = document->KeyNames(section)) {
        return CopyList(*names, returned, size);
      }
      return CopyString(DefaultOf(defaultValue), returned, size);
    }
    if (auto value = document->Find(section, key)) {
      return CopyString(Unquote(*value), returned, size);
    }
    return CopyString(DefaultOf(defaultValue), returned, size);
  } catch (...) {
    // Out of memory on a monstrous file: read as nothing rather than end the program.
    returned[0] = '\0';
    return 0;
  }
}

int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                               const char* fileName) {
  try {
    ProfileStore& store = Store();
    std::lock_guard lock(store.mutex);
    bool bare = false;
    std::optional<std::filesystem::path> path = Resolve(fileName, bare);
    if (!path) {
      return 0;
    }
    if (section == nullptr && key == nullptr && value == nullptr) {
      return store.Open(*path).Flush() ? 1 : 0;
    }
    // A name no file can have would keep its change pending for ever.
    if (section == nullptr || !Writable(section, key, value) ||
        path->filename().string().size() > NAME_MAX) {
      return 0;
    }
    if (bare) {
      // The first save of a new user finds no config directory yet.
      std::error_code ignored;
      std::filesystem::create_directories(path->parent_path(), ignored);
    }
    ProfileChange change;
    change.section = section;
    if (key != nullptr) {
      change.key = key;
      if (value != nullptr) {
        change.value = value;
      }
    }
    ProfileFile& file = store.Open(*path);
    if (bare) {
      file.MakeDirectoryOnWrite();
    }
    file.Refresh();
    return file.Apply(change) == ProfileFile::Applied::kWritable ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

uint32_t GetProfileStringA(const char* section, const char* key, const char* defaultValue,
                           char* returned, uint32_t size) {
  return GetPrivateProfileStringA(section, key, defaultValue, returned, size, kPlatformProfile);
}

int WriteProfileStringA(const char* section, const char* key, const char* value) {
  return WritePrivateProfileStringA(section, key, value, kPlatformProfile);
}

bool FlushProfiles(bool force) {
  try {
    ProfileStore& store = Store();
    std::lock_guard lock(store.mutex);
    return store.FlushAll(force);
  } catch (...) {
    return false;
  }
}

std::vector<UnsavedProfile> UnsavedProfiles() {
  try {
    ProfileStore& store = Store();
    std::lock_guard lock(store.mutex);
    return store.Unsaved();
  } catch (...) {
    return {};
  }
}

size_t ReportUnsavedProfiles() {
  try {
    ProfileStore& store = Store();
    std::lock_guard lock(store.mutex);
    return store.Report();
  } catch (...) {
    return 0;
  }
}

}  // namespace vantora::platform
