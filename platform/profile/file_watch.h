// SPDX-License-Identifier: GPL-3.0-or-later
// Kernel notice of changes to one file, so that a cached copy needs no stat per read to stay
// current.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vantora::platform {

// Watches the directory holding a file (the file is replaced by rename, so a watch on the file
// itself would go stale), the directories of the symbolic links leading to it, and the folders
// above them. The kernel queues a notice before the call that made the change returns, so a
// look after that call always sees it.
class FileWatch {
 public:
  FileWatch() = default;
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;
  ~FileWatch();

  // Starts watching `path`, which must be absolute; false when the kernel cannot watch it (no
  // more watches, a network file system whose other clients it never hears of).
  bool Start(const std::filesystem::path& path);
  bool Active() const { return fd_ >= 0; }

  // Whether the file may have changed since the last look or the start; notices are used up. A
  // watch that broke (a folder removed, notices lost) stops, and this says changed.
  bool Changed();

 private:
  void Stop();

  int fd_ = -1;
  std::vector<std::string> names_;  // file and link names whose notices matter
};

}  // namespace vantora::platform
