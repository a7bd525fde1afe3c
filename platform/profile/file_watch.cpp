// SPDX-License-Identifier: GPL-3.0-or-later
// Kernel notice of changes to one file, so that a cached copy needs no stat per read to stay
// current.
#include "platform/profile/file_watch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantora::platform {
namespace {

// File systems that change without this machine's kernel knowing: other clients of a network
// share, or a user-space server.
bool RemotelyChanged(const std::filesystem::path& directory) {
  struct statfs info {};
  if (::statfs(directory.c_str(), &info) != 0) {
    return true;
  }
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE
    case 0x01021997:  // 9P
    case 0x00C36400:  // Ceph
    case 0x5346414F:  // AFS
    case 0x73757245:  // Coda
    case 0x01161970:  // GFS2
    case 0x7461636F:  // OCFS2
      return true;
    default:
      return false;
  }
}

// A folder's own removal, move or change of access; its entries' changes are not asked for.
constexpr uint32_t kFolderMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB | IN_MASK_ADD;
// Every way an entry of the file's directory can come to read differently.
constexpr uint32_t kEntryMask =
    kFolderMask | IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

}  // namespace

FileWatch::~FileWatch() {
  Stop();
}

void FileWatch::Stop() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  names_.clear();
}

bool FileWatch::Start(const std::filesystem::path& path) {
  Stop();
  if (!path.is_absolute()) {
    return false;
  }
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    return false;
  }
  std::vector<std::filesystem::path> directories;
  std::filesystem::path hop = path;
  // Each link on the way to the file: replacing one changes what the path reads as.
  for (int hops = 0;; ++hops) {
    std::filesystem::path directory = hop.parent_path();
    if (hops == 40 || !directory.is_absolute()) {
      Stop();
      return false;
    }
    names_.push_back(hop.filename().string());
    directories.push_back(directory);
    struct stat info {};
    if (::lstat(hop.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      break;
    }
    std::error_code error;
    std::filesystem::path next = std::filesystem::read_symlink(hop, error);
    if (error) {
      Stop();
      return false;
    }
    hop = next.is_absolute() ? next : directory / next;
    hop = hop.lexically_normal();
  }
  for (const std::filesystem::path& directory : directories) {
    if (RemotelyChanged(directory) || ::inotify_add_watch(fd_, directory.c_str(), kEntryMask) < 0) {
      Stop();
      return false;
    }
    // A folder above moved away or locked up leaves the path reaching something else.
    for (std::filesystem::path above = directory.parent_path(); above != above.parent_path();
         above = above.parent_path()) {
      if (::inotify_add_watch(fd_, above.c_str(), kFolderMask) < 0) {
        Stop();
        return false;
      }
    }
  }
  return true;
}

bool FileWatch::Changed() {
  if (fd_ < 0) {
    return true;
  }
  // Asking how much is queued costs less than a read that finds nothing.
  int queued = 0;
  if (::ioctl(fd_, FIONREAD, &queued) != 0) {
    Stop();
    return true;
  }
  if (queued == 0) {
    return false;
  }
  bool changed = false;
  bool broken = false;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno != EAGAIN) {
        broken = true;
      }
      break;
    }
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if ((event->mask &
           (IN_Q_OVERFLOW | IN_IGNORED | IN_UNMOUNT | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
        broken = true;
      } else if (event->len == 0 ||
                 std::find(names_.begin(), names_.end(), event->name) != names_.end()) {
        // A folder's own change, or one of the names that lead to the file.
        changed = true;
      }
    }
  }
  if (broken) {
    Stop();
    return true;
  }
  return changed;
}

}  // namespace vantora::platform
