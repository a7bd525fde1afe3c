// SPDX-License-Identifier: GPL-3.0-or-later
// Kernel notice of changes to one file, so that a cached copy needs no stat per read to stay
// current.
#include "platform/profile/file_watch.h"

#include <fcntl.h>
#include <linux/io_uring.h>
#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// Forks so far. A child shares its parent's notices: taking them would hide them from the parent.
std::atomic<unsigned> forks{0};

void CountFork() {
  forks.fetch_add(1, std::memory_order_relaxed);
}

// A folder's own removal or move. Nothing its entries do is asked for: a watch that takes those
// (a change of access included) costs the kernel a pass over every entry it knows of the folder,
// milliseconds for /tmp or a home folder.
constexpr uint32_t kFolderMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_MASK_ADD;
// Every way an entry of the file's directory can come to read differently.
constexpr uint32_t kEntryMask = kFolderMask | IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE |
                                IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

}  // namespace

// A kernel completion ring holding one standing poll on the watch's descriptor. When a notice is
// queued, the kernel marks the ring in memory we share with it, within the call that made the
// change; so a look at that memory tells whether anything arrived, without a call of our own.
class NoticeRing {
 public:
  NoticeRing(const NoticeRing&) = delete;
  NoticeRing& operator=(const NoticeRing&) = delete;
  ~NoticeRing() {
    if (rings_ != MAP_FAILED) {
      ::munmap(rings_, ringsSize_);
    }
    if (entries_ != MAP_FAILED) {
      ::munmap(entries_, entriesSize_);
    }
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }

  // nullptr where the kernel has no such rings or forbids them.
  static std::unique_ptr<NoticeRing> Open(int watched) {
    std::unique_ptr<NoticeRing> ring(new NoticeRing);
    io_uring_params params{};
    // Completions wait for us to ask, and the kernel flags in the ring that one waits. The flag
    // is raised whenever work is queued and lowered only when we ask, so none goes unflagged; work
    // run at any call of ours, as without deferring, could lower it under a fresh arrival.
    params.flags =
        IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN | IORING_SETUP_TASKRUN_FLAG;
    ring->fd_ = static_cast<int>(::syscall(SYS_io_uring_setup, 4, &params));
    if (ring->fd_ < 0 || (params.features & IORING_FEAT_SINGLE_MMAP) == 0) {
      return nullptr;
    }
    ring->ringsSize_ =
        std::max<size_t>(params.sq_off.array + params.sq_entries * sizeof(unsigned),
                         params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe));
    ring->rings_ = ::mmap(nullptr, ring->ringsSize_, PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_POPULATE, ring->fd_, IORING_OFF_SQ_RING);
    ring->entriesSize_ = params.sq_entries * sizeof(io_uring_sqe);
    ring->entries_ = ::mmap(nullptr, ring->entriesSize_, PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_POPULATE, ring->fd_, IORING_OFF_SQES);
    if (ring->rings_ == MAP_FAILED || ring->entries_ == MAP_FAILED) {
      return nullptr;
    }
    char* base = static_cast<char*>(ring->rings_);
    ring->sqTail_ = reinterpret_cast<unsigned*>(base + params.sq_off.tail);
    ring->sqMask_ = *reinterpret_cast<unsigned*>(base + params.sq_off.ring_mask);
    ring->sqArray_ = reinterpret_cast<unsigned*>(base + params.sq_off.array);
    ring->sqFlags_ = reinterpret_cast<unsigned*>(base + params.sq_off.flags);
    ring->cqHead_ = reinterpret_cast<unsigned*>(base + params.cq_off.head);
    ring->cqTail_ = reinterpret_cast<unsigned*>(base + params.cq_off.tail);
    ring->cqMask_ = *reinterpret_cast<unsigned*>(base + params.cq_off.ring_mask);
    ring->cqes_ = reinterpret_cast<io_uring_cqe*>(base + params.cq_off.cqes);
    ring->watched_ = watched;
    if (!ring->Arm()) {
      return nullptr;
    }
    return ring;
  }

  // Whether a notice may have arrived since the last Settle.
  bool Marked() const {
    return (Load(sqFlags_) & IORING_SQ_TASKRUN) != 0 || Load(cqTail_) != Load(cqHead_);
  }

  // Takes the completions posted so far and keeps the poll standing; false when it cannot be.
  bool Settle() {
    if (!Enter(0, IORING_ENTER_GETEVENTS)) {
      return false;
    }
    bool standing = true;
    const unsigned tail = Load(cqTail_);
    for (unsigned head = Load(cqHead_); head != tail; ++head) {
      const io_uring_cqe& completion = cqes_[head & cqMask_];
      // A poll that ended (the ring overflowed, an error) must be set up again.
      if ((completion.flags & IORING_CQE_F_MORE) == 0) {
        standing = false;
      }
    }
    std::atomic_ref<unsigned>(*cqHead_).store(tail, std::memory_order_release);
    return standing || Arm();
  }

 private:
  NoticeRing() = default;

  static unsigned Load(const unsigned* at) {
    return std::atomic_ref<const unsigned>(*at).load(std::memory_order_acquire);
  }

  bool Enter(unsigned submit, unsigned flags) {
    for (;;) {
      long done = ::syscall(SYS_io_uring_enter, fd_, submit, 0, flags, nullptr, 0);
      if (done >= 0) {
        return static_cast<unsigned long>(done) == submit;
      }
      if (errno != EINTR) {
        return false;
      }
    }
  }

  // A standing poll for the watch's descriptor to become readable.
  bool Arm() {
    const unsigned tail = *sqTail_;
    const unsigned slot = tail & sqMask_;
    io_uring_sqe& entry = static_cast<io_uring_sqe*>(entries_)[slot];
    std::memset(&entry, 0, sizeof entry);
    entry.opcode = IORING_OP_POLL_ADD;
    entry.fd = watched_;
    entry.poll32_events = POLLIN;
    entry.len = IORING_POLL_ADD_MULTI;
    sqArray_[slot] = slot;
    std::atomic_ref<unsigned>(*sqTail_).store(tail + 1, std::memory_order_release);
    return Enter(1, 0);
  }

  int fd_ = -1;
  int watched_ = -1;
  void* rings_ = MAP_FAILED;
  size_t ringsSize_ = 0;
  void* entries_ = MAP_FAILED;
  size_t entriesSize_ = 0;
  unsigned* sqTail_ = nullptr;
  unsigned sqMask_ = 0;
  unsigned* sqArray_ = nullptr;
  unsigned* sqFlags_ = nullptr;
  unsigned* cqHead_ = nullptr;
  unsigned* cqTail_ = nullptr;
  unsigned cqMask_ = 0;
  io_uring_cqe* cqes_ = nullptr;
};

FileWatch::FileWatch() = default;

FileWatch::~FileWatch() {
  Stop();
}

void FileWatch::Stop() {
  ring_.reset();
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  names_.clear();
}

bool FileWatch::Start(const std::filesystem::path& path) {
  Stop();
  static const bool counting = ::pthread_atfork(nullptr, nullptr, CountFork) == 0;
  if (!counting || !path.is_absolute()) {
    return false;
  }
  forks_ = forks.load(std::memory_order_relaxed);
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
    // A linked folder on the way could be pointed elsewhere with no notice in the folders
    // watched; such a path is left to the stat.
    std::error_code error;
    if (std::filesystem::canonical(directory, error) != directory || error ||
        RemotelyChanged(directory) || ::inotify_add_watch(fd_, directory.c_str(), kEntryMask) < 0) {
      Stop();
      return false;
    }
    // A folder above moved away leaves the path reaching something else.
    for (std::filesystem::path above = directory.parent_path(); above != above.parent_path();
         above = above.parent_path()) {
      if (::inotify_add_watch(fd_, above.c_str(), kFolderMask) < 0) {
        Stop();
        return false;
      }
    }
  }
  // Without the ring every look asks the kernel.
  ring_ = NoticeRing::Open(fd_);
  return true;
}

bool FileWatch::Changed(std::string_view ownTemporary) {
  if (fd_ < 0) {
    return true;
  }
  if (forks_ != forks.load(std::memory_order_relaxed)) {
    // A child leaves the notices to its parent and watches on its own.
    Stop();
    return true;
  }
  if (ring_ != nullptr) {
    if (!ring_->Marked()) {
      return false;
    }
    // The poll stands again before the notices are read: one arriving in between marks anew.
    if (!ring_->Settle()) {
      ring_.reset();
    }
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
  uint32_t ownMove = 0;  // the cookie pairing our rename's two notices
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
      } else if ((event->mask & IN_MOVED_FROM) != 0 && event->len != 0 && !ownTemporary.empty() &&
                 ownTemporary == event->name) {
        ownMove = event->cookie;
      } else if ((event->mask & IN_MOVED_TO) != 0 && ownMove != 0 && event->cookie == ownMove) {
        ownMove = 0;
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
