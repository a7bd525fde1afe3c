// SPDX-License-Identifier: GPL-3.0-or-later
// One profile file on disk and its cached, parsed copy, with write-back of pending changes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/profile/file_watch.h"
#include "platform/profile/ini_document.h"

namespace vantora::platform {

// One write, as the caller made it: no key deletes the section, no value deletes the key.
struct ProfileChange {
  std::string section;
  std::optional<std::string> key;
  std::optional<std::string> value;
};

// Files larger than this are not profiles; they read as empty and are never written.
inline constexpr uint64_t kMaxProfileFileSize = 256u << 20;
// Longest line one write may produce.
inline constexpr size_t kMaxProfileLineLength = 1u << 20;
// How long a write-back waits for another writer's lock before it leaves its changes pending: it
// runs on the thread that answers the user.
inline constexpr std::chrono::milliseconds kProfileLockWait{200};

// Identifies one version of a file; the time stamp has nanoseconds.
struct FileSignature {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool operator==(const FileSignature& other) const;
};

// Writes `bytes` to a new file beside `target`, syncs it and renames it over `target`, keeping
// the old file's permissions. On failure the old file is untouched, nothing is left behind and
// errno tells why. On success `written` describes the new file. The caller holds the file's
// write-back lock: the new file has a fixed name, and one a killed writer left is replaced.
bool ReplaceFileAtomically(const std::filesystem::path& target,
                           const std::vector<std::string_view>& bytes, FileSignature& written);

// A profile file as this process sees it. Changes are applied to the copy at once and written
// back by Flush; a change made on disk by someone else is picked up by Refresh, with our pending
// changes applied again on top of it.
class ProfileFile {
 public:
  explicit ProfileFile(std::filesystem::path path);
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // Brings the copy up to date with the disk. Cheap when nothing changed: a look at the watch's
  // notices, or one stat where the file cannot be watched.
  void Refresh();

  // The file as the next read should see it: the disk's content plus pending changes.
  const IniDocument& Document() const { return document_; }

  enum class Applied {
    kWritable,  // applied, and the file can take it at the next write-back
    kKept,      // applied and kept pending, but the file cannot be written now (see Failure)
    kRefused,   // nothing changed: the change or the pile of pending ones is too large
  };
  // Applies a change. One the file cannot take now (its directory missing or not writable, the
  // file read-only, unreadable or a folder) is kept pending all the same and written back once
  // the file allows it. Call Refresh first.
  Applied Apply(const ProfileChange& change);

  bool Dirty() const { return !pending_.empty(); }

  // Writes pending changes back; true when there were none or the write-back succeeded. A failed
  // write-back keeps them pending for the next try; until that try is due (a pause that grows
  // with each failure), a call without `force` fails at once. The file is read, merged with our
  // pending changes and replaced under a lock shared with every other process writing it back.
  bool Flush(bool force = true);

  // A bare name's directory is made at write-back when it is missing.
  void MakeDirectoryOnWrite() { makeDirectory_ = true; }

  const std::filesystem::path& Path() const { return path_; }
  // Whether changes on disk are learnt from the kernel's notices rather than a stat per read.
  bool Watched() const { return watch_.Active(); }
  // Why the pending changes have not reached the disk; empty after a write-back that succeeded.
  const std::string& Failure() const { return failure_; }
  // When the oldest pending change was made, on the one clock.
  ClockTime PendingSince() const { return pendingSince_; }

 private:
  enum class DiskState { kMissing, kFile, kUnreadable };

  void Reset(DiskState state, std::string bytes, const FileSignature& signature);
  void Replay();
  // Why a write-back to `target` cannot succeed now; empty when it may.
  std::string WhyNotWritable(const std::filesystem::path& target) const;

  std::filesystem::path path_;
  FileWatch watch_;
  // A watch that could not start is tried again only after a pause: trying costs more than a stat.
  std::chrono::steady_clock::time_point watchRetryAt_{};
  // A notice taken at write-back that the next Refresh must act on.
  bool noticed_ = false;
  IniDocument document_;
  DiskState state_ = DiskState::kMissing;
  FileSignature signature_;
  // Set while another write could land within the time stamp's granularity and leave the
  // signature unchanged; then the content itself is compared.
  bool racy_ = false;
  // Whether the document's base bytes are the file's content; after a write-back they are only
  // when the document was compacted.
  bool baseOnDisk_ = false;
  std::vector<ProfileChange> pending_;  // since the last write-back
  ClockTime pendingSince_{0};
  std::string failure_;
  ClockTime retryAt_{0};
  ClockTime retryPause_{0};
  bool makeDirectory_ = false;
};

}  // namespace vantora::platform
