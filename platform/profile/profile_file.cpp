// SPDX-License-Identifier: GPL-3.0-or-later
// One profile file on disk and its cached, parsed copy, with write-back of pending changes.
#include "platform/profile/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>
#include <utility>

namespace vantora::platform {
namespace {

// Owns a file descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    // Keep the errno of the failure that made us give up.
    int saved = errno;
    Close();
    errno = saved;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false if the close reported an error (a delayed write failure).
  bool Close() {
    if (fd_ < 0) {
      return true;
    }
    int result = ::close(std::exchange(fd_, -1));
    return result == 0 || errno == EINTR;
  }

 private:
  int fd_;
};

// Removes a temporary file unless told it has been renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) {
      int saved = errno;
      ::unlink(path_.c_str());
      errno = saved;
    }
  }
  const std::filesystem::path& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::filesystem::path path_;
};

// Every write-back of a file reads, merges and replaces it under an exclusive lock on a lock file
// beside it, so that two processes never replace each other's changes. The lock file is never
// replaced, so all writers lock the same inode; the lock ends with the process however it ends.
// A lock held longer than `wait` is given up on: the caller answers the user and tries later.
class ProfileLock {
 public:
  ProfileLock(const std::filesystem::path& target, std::chrono::milliseconds wait)
      : fd_(Open(LockPath(target))) {
    if (!fd_.valid()) {
      return;
    }
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
      if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        return;
      }
      if (errno == EINTR) {
        continue;
      }
      if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= end) {
        busy_ = errno == EWOULDBLOCK;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  // Closing the descriptor releases the lock.

  bool held() const { return held_; }
  // Another writer held it all the time we waited.
  bool busy() const { return busy_; }

  static std::filesystem::path LockPath(const std::filesystem::path& target) {
    return target.parent_path() / ("." + target.filename().string() + ".lock");
  }

 private:
  static int Open(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // Another user's lock file still locks when opened for reading.
    return fd >= 0 ? fd : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }

  FileDescriptor fd_;
  bool held_ = false;
  bool busy_ = false;
};

// The file a write-back replaces: the end of a chain of symbolic links, whether or not it exists
// yet, so that a link a dotfile manager made stays a link. nullopt with errno on a loop.
std::optional<std::filesystem::path> LinkTarget(const std::filesystem::path& path) {
  std::filesystem::path target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return target;
    }
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(target, error);
    if (error) {
      errno = error.value();
      return std::nullopt;
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  errno = ELOOP;
  return std::nullopt;
}

FileSignature SignatureOf(const struct stat& info) {
  FileSignature signature;
  signature.device = info.st_dev;
  signature.inode = info.st_ino;
  signature.size = info.st_size;
  signature.modified = info.st_mtim;
  return signature;
}

timespec Now() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

int64_t Nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// How long after a file's time stamp another write could still get the same stamp. File systems
// take stamps from a clock that ticks coarsely; whole-second stamps mean a coarse file system.
bool WithinStampGranularity(const timespec& stamp, const timespec& now) {
  int64_t window = 2'000'000'000;
  if (stamp.tv_nsec != 0) {
    timespec tick{};
    ::clock_getres(CLOCK_REALTIME_COARSE, &tick);
    window = std::max<int64_t>(2 * Nanoseconds(tick), 10'000'000);
  }
  return Nanoseconds(now) - Nanoseconds(stamp) < window;
}

enum class ReadResult { kRead, kMissing, kUnreadable };

// Reads a whole regular file; its signature is taken before reading, so a change during the read
// shows up as a changed signature on the next look.
ReadResult ReadProfile(const std::filesystem::path& path, std::string& bytes,
                       FileSignature& signature) {
  // Non-blocking, so that a path that has turned into a pipe cannot hang us before fstat says so.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::kMissing : ReadResult::kUnreadable;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<uint64_t>(info.st_size) > kMaxProfileFileSize) {
    return ReadResult::kUnreadable;
  }
  signature = SignatureOf(info);
  bytes.clear();
  bytes.resize(static_cast<size_t>(info.st_size));
  size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() > kMaxProfileFileSize) {
        return ReadResult::kUnreadable;
      }
      // The file may have grown since fstat.
      bytes.resize(bytes.size() + 4096);
    }
    ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return ReadResult::kUnreadable;
    }
    if (got == 0) {
      break;
    }
    filled += static_cast<size_t>(got);
  }
  bytes.resize(filled);
  return ReadResult::kRead;
}

// Writes the pieces in chunks and starts each chunk's way to the disk at once, so that the disk
// works while the next chunk is copied and the final fsync has little left to wait for.
bool WriteAll(int fd, const std::vector<std::string_view>& pieces) {
  constexpr size_t kChunk = 4u << 20;
  size_t piece = 0;
  size_t offset = 0;  // into pieces[piece]
  off_t written = 0;
  std::vector<iovec> vectors;
  while (piece < pieces.size()) {
    vectors.clear();
    size_t chunk = 0;
    for (size_t i = piece, at = offset;
         i < pieces.size() && chunk < kChunk && vectors.size() < IOV_MAX; ++i, at = 0) {
      size_t length = std::min(pieces[i].size() - at, kChunk - chunk);
      vectors.push_back(iovec{const_cast<char*>(pieces[i].data() + at), length});
      chunk += length;
    }
    ssize_t wrote = ::writev(fd, vectors.data(), static_cast<int>(vectors.size()));
    if (wrote < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (wrote == 0) {
      errno = ENOSPC;
      return false;
    }
    // Move past what went out; a short write resumes inside a piece.
    auto left = static_cast<size_t>(wrote);
    while (piece < pieces.size() && left >= pieces[piece].size() - offset) {
      left -= pieces[piece].size() - offset;
      ++piece;
      offset = 0;
    }
    offset += left;
    ::sync_file_range(fd, written, wrote, SYNC_FILE_RANGE_WRITE);
    written += wrote;
  }
  return true;
}

bool Valid(const ProfileChange& change) {
  size_t length = change.section.size() + 2;
  if (change.key) {
    length = std::max(length, change.key->size() + 1 + (change.value ? change.value->size() : 0));
  }
  return length <= kMaxProfileLineLength;
}

bool ApplyTo(IniDocument& document, const ProfileChange& change) {
  if (!change.key) {
    return document.DeleteSection(change.section);
  }
  if (!change.value) {
    return document.DeleteKey(change.section, *change.key);
  }
  return document.Set(change.section, *change.key, *change.value);
}

// The name a write-back's new file has until it is renamed over `target`.
std::string TemporaryName(const std::filesystem::path& target) {
  return "." + target.filename().string() + ".tmp";
}

}  // namespace

bool FileSignature::operator==(const FileSignature& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

bool ReplaceFileAtomically(const std::filesystem::path& target,
                           const std::vector<std::string_view>& bytes, FileSignature& written) {
  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) {
    directory = ".";
  }
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

  // Under the lock a temporary file already there is what a killed write-back left: replace it, so
  // that crashes leave at most one behind. O_EXCL never follows a link planted under its name,
  // and with 0666 gives a fresh file with the user's umask, as a first save should.
  const std::filesystem::path temporaryPath = directory / TemporaryName(target);
  if (::unlink(temporaryPath.c_str()) != 0 && errno != ENOENT) {
    return false;
  }
  FileDescriptor fd(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.valid()) {
    return false;
  }
  TemporaryFile temporary(temporaryPath);
  if (replacing) {
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) {
      return false;
    }
    // Only the superuser may give a file away; others keep their own ownership.
    [[maybe_unused]] int ignored = ::fchown(fd.get(), old.st_uid, old.st_gid);
  }
  if (!WriteAll(fd.get(), bytes)) {
    return false;
  }
  // Back-date the stamp by one unit: any later write, however soon, then gets a different stamp
  // than the one we remember, so the cache never mistakes it for our own.
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    return false;
  }
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = info.st_mtim;
  if (times[1].tv_nsec > 0) {
    --times[1].tv_nsec;
  } else {
    --times[1].tv_sec;
    times[1].tv_nsec = 999'999'999;
  }
  if (::futimens(fd.get(), times) != 0 || ::fstat(fd.get(), &info) != 0) {
    return false;
  }
  if (::fsync(fd.get()) != 0 || !fd.Close()) {
    return false;
  }
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
    return false;
  }
  temporary.Keep();
  written = SignatureOf(info);
  // Make the rename itself durable; the new file is complete either way.
  FileDescriptor directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directoryFd.valid()) {
    ::fsync(directoryFd.get());
  }
  return true;
}

ProfileFile::ProfileFile(std::filesystem::path path) : path_(std::move(path)) {
  // Start unknown, so the first Refresh reads the disk.
  state_ = DiskState::kUnreadable;
  signature_.size = -1;
}

void ProfileFile::Reset(DiskState state, std::string bytes, const FileSignature& signature) {
  state_ = state;
  signature_ = signature;
  baseOnDisk_ = state == DiskState::kFile;
  document_ = IniDocument(std::move(bytes));
  Replay();
}

void ProfileFile::Replay() {
  for (const ProfileChange& change : pending_) {
    ApplyTo(document_, change);
  }
}

void ProfileFile::Refresh() {
  // A notice says something happened to the file: its content decides, even where size and stamp
  // are as they were.
  bool noticed = std::exchange(noticed_, false);
  // A file that could not be read is tried again at every look, as the cause (no descriptors
  // left, an I/O error) may pass without a notice.
  if (watch_.Active() && state_ != DiskState::kUnreadable) {
    // No notice since the last look: the file reads as it did, whatever its time stamp's grain.
    if (!noticed && !watch_.Changed()) {
      return;
    }
    noticed = true;
  }
  if (!watch_.Active()) {
    // Watching starts before the look below, so that nothing can change unnoticed in between.
    const auto now = std::chrono::steady_clock::now();
    if (now >= watchRetryAt_ && !watch_.Start(path_)) {
      watchRetryAt_ = now + std::chrono::seconds(1);
    }
  }
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) {
    DiskState state =
        (errno == ENOENT || errno == ENOTDIR) ? DiskState::kMissing : DiskState::kUnreadable;
    if (state != state_ || state_ == DiskState::kUnreadable) {
      racy_ = false;
      Reset(state, {}, FileSignature{});
    }
    return;
  }
  if (state_ == DiskState::kFile && SignatureOf(info) == signature_ && !racy_ && !noticed) {
    return;
  }
  timespec started = Now();
  std::string bytes;
  FileSignature read;
  switch (ReadProfile(path_, bytes, read)) {
    case ReadResult::kRead:
      // While the stamp cannot be trusted, and after a mere touch, the content decides.
      racy_ = WithinStampGranularity(read.modified, started);
      if (state_ == DiskState::kFile && baseOnDisk_) {
        if (bytes == document_.Base()) {
          signature_ = read;
          return;
        }
      } else if (state_ == DiskState::kFile && !Dirty() && document_.SerializesTo(bytes)) {
        signature_ = read;
        document_.Rebase(std::move(bytes));
        baseOnDisk_ = true;
        return;
      }
      Reset(DiskState::kFile, std::move(bytes), read);
      break;
    case ReadResult::kMissing:
      racy_ = false;
      Reset(DiskState::kMissing, {}, FileSignature{});
      break;
    case ReadResult::kUnreadable:
      racy_ = false;
      Reset(DiskState::kUnreadable, {}, FileSignature{});
      break;
  }
}

std::string ProfileFile::WhyNotWritable(const std::filesystem::path& target) const {
  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) {
    directory = ".";
  }
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) {
    return std::strerror(errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    return std::strerror(ENOTDIR);
  }
  if (::access(directory.c_str(), W_OK | X_OK) != 0) {
    return std::strerror(errno);
  }
  if (::stat(target.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      return std::strerror(EISDIR);
    }
    // A read-only file says: leave me alone, though its folder would let us replace it.
    if (::access(target.c_str(), W_OK) != 0) {
      return std::strerror(errno);
    }
  }
  // Never write over a file we could not read: its content would be lost.
  if (state_ == DiskState::kUnreadable) {
    return "it cannot be read";
  }
  return "";
}

ProfileFile::Applied ProfileFile::Apply(const ProfileChange& change) {
  if (!Valid(change) || document_.EditBytes() > kMaxProfileFileSize) {
    // Only a long run of failed write-backs piles up this much; the edit buffer must stay
    // addressable.
    return Applied::kRefused;
  }
  if (ApplyTo(document_, change)) {
    if (pending_.empty()) {
      pendingSince_ = CurrentClock().Now();
    }
    pending_.push_back(change);
  }
  const std::optional<std::filesystem::path> target = LinkTarget(path_);
  std::string why = target ? WhyNotWritable(*target) : std::strerror(errno);
  if (why.empty() || !Dirty()) {
    return Applied::kWritable;
  }
  failure_ = std::move(why);
  return Applied::kKept;
}

bool ProfileFile::Flush(bool force) {
  if (pending_.empty()) {
    failure_.clear();
    retryPause_ = ClockTime{0};
    return true;
  }
  const ClockTime now = CurrentClock().Now();
  if (!force && !failure_.empty() && now < retryAt_) {
    return false;
  }
  auto fail = [this, now](std::string why) {
    failure_ = std::move(why);
    // Each failure waits longer before the next try, so that a held lock or a slow full disk
    // costs the window little.
    retryPause_ = std::clamp(retryPause_ * 2, ClockTime{1000}, ClockTime{16000});
    retryAt_ = now + retryPause_;
    return false;
  };
  if (makeDirectory_) {
    std::error_code ignored;
    std::filesystem::create_directories(path_.parent_path(), ignored);
  }
  // Replace what a symbolic link points at, not the link.
  const std::optional<std::filesystem::path> found = LinkTarget(path_);
  if (!found) {
    return fail(std::strerror(errno));
  }
  const std::filesystem::path& target = *found;
  // Between our read and our replace, another process's write-back would be lost; under the
  // lock the file is read again, unless the watch saw no change, and our pending changes applied
  // on top of what it holds now.
  ProfileLock lock(target, kProfileLockWait);
  if (!lock.held()) {
    if (lock.busy()) {
      return fail("another program holds its lock, " + ProfileLock::LockPath(target).string());
    }
    if (std::string why = WhyNotWritable(target); !why.empty()) {
      return fail(why);
    }
    return fail(std::string("cannot lock it: ") + std::strerror(errno));
  }
  Refresh();
  if (std::string why = WhyNotWritable(target); !why.empty()) {
    return fail(why);
  }
  std::vector<std::string_view> pieces = document_.Pieces();
  size_t size = 0;
  for (std::string_view piece : pieces) {
    size += piece.size();
  }
  // Written, it could not be read back.
  if (size > kMaxProfileFileSize) {
    return fail("it would grow too large");
  }
  FileSignature written;
  if (!ReplaceFileAtomically(target, pieces, written)) {
    return fail(std::strerror(errno));
  }
  // Our own rename is no news; anything else since the look above is, for the next Refresh.
  if (watch_.Active() && watch_.Changed(TemporaryName(target))) {
    noticed_ = true;
  }
  // The file went out straight from the held buffers; they are compacted only once edits have
  // piled up, since copying a large file on every save would double its cost.
  baseOnDisk_ = false;
  if (document_.EditBytes() > document_.Base().size() / 4 || document_.Base().size() < (1u << 20)) {
    document_.Rebase(document_.Serialize());
    baseOnDisk_ = true;
  }
  state_ = DiskState::kFile;
  signature_ = written;
  racy_ = false;
  pending_.clear();
  failure_.clear();
  retryPause_ = ClockTime{0};
  return true;
}

}  // namespace vantora::platform
