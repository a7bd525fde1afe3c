// SPDX-License-Identifier: GPL-3.0-or-later
// Kernel notice of changes to one file, so that a cached copy needs no stat per read to stay
// current.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::platform {

class NoticeRing;

// Watches the directory holding a file (the file is replaced by rename, so a watch on the file
// itself would go stale), the directories of the symbolic links leading to it, and the folders
// above them. The kernel queues a notice before the call that made the change returns, so a
// look after that call always sees it.
class FileWatch {
 public:
  FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;
  ~FileWatch();

  // Starts watching `path`, which must be absolute; false when the kernel cannot watch it (no
  // more watches, a network file system whose other clients it never hears of).
  bool Start(const std::filesystem::path& path);
  bool Active() const { return fd_ >= 0; }

  // Whether the file may have changed since the last look or the start; notices are used up. A
  // watch that broke (a folder removed, notices lost) stops, and this says changed. Where the
  // kernel can post the arrival of a notice to shared memory, a look without one costs no call.
  // `ownTemporary` names the file our own write-back renamed over the watched one: that rename is
  // no news.
  bool Changed(std::string_view ownTemporary = {});

 private:
  void Stop();

  int fd_ = -1;
  unsigned forks_ = 0;                // how many forks this process had seen when the watch started
  std::unique_ptr<NoticeRing> ring_;  // none where the kernel offers no such ring
  std::vector<std::string> names_;    // file and link names whose notices matter
};

}  // namespace vantora::platform
