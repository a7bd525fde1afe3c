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
class ProfileLock {
 public:
  explicit ProfileLock(const std::filesystem::path& target) : fd_(Open(LockPath(target))) {
    if (!fd_.valid()) {
      return;
    }
    int result = 0;
    do {
      result = ::flock(fd_.get(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    held_ = result == 0;
  }
  // Closing the descriptor releases the lock.

  bool held() const { return held_; }

 private:
  static std::filesystem::path LockPath(const std::filesystem::path& target) {
    return target.parent_path() / ("." + target.filename().string() + ".lock");
  }

  static int Open(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // Another user's lock file still locks when opened for reading.
    return fd >= 0 ? fd : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }

  FileDescriptor fd_;
  bool held_ = false;
};

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
  const std::filesystem::path temporaryPath =
      directory / ("." + target.filename().string() + ".tmp");
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
  if (state_ == DiskState::kFile && SignatureOf(info) == signature_ && !racy_) {
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

bool ProfileFile::DirectoryWritable() const {
  std::filesystem::path directory = path_.parent_path();
  if (directory.empty()) {
    directory = ".";
  }
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return false;
  }
  return ::access(directory.c_str(), W_OK | X_OK) == 0;
}

bool ProfileFile::Apply(const ProfileChange& change) {
  // Never write over a file we could not read: its content would be lost.
  if (state_ == DiskState::kUnreadable || !Valid(change) || !DirectoryWritable()) {
    return false;
  }
  if (state_ == DiskState::kFile && ::access(path_.c_str(), W_OK) != 0) {
    return false;
  }
  if (document_.EditBytes() > kMaxProfileFileSize) {
    // Only a long run of failed write-backs gets here; the edit buffer must stay addressable.
    return false;
  }
  if (ApplyTo(document_, change)) {
    pending_.push_back(change);
  }
  return true;
}

bool ProfileFile::Flush() {
  if (pending_.empty()) {
    failure_.clear();
    return true;
  }
  auto fail = [this](std::string why) {
    failure_ = std::move(why);
    return false;
  };
  // Replace what a symbolic link points at, not the link.
  std::error_code error;
  std::filesystem::path target = path_;
  if (std::filesystem::is_symlink(path_, error)) {
    target = std::filesystem::weakly_canonical(path_, error);
    if (error) {
      return fail(error.message());
    }
  }
  // Between our read and our replace, another process's write-back would be lost; under the
  // lock the file is read again and our pending changes applied on top of what it holds now.
  ProfileLock lock(target);
  if (!lock.held()) {
    return fail(std::string("cannot lock it: ") + std::strerror(errno));
  }
  Refresh();
  if (state_ == DiskState::kUnreadable) {
    return fail("cannot read it");
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
  return true;
}

}  // namespace vantora::platform
