#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <utility>
#include <vector>

#include "platform/posix.h"

namespace platform {

const char PathDelimiter = '/';
const bool NamesIgnoreCase = false;
// One call opens at most PATH_MAX bytes, the terminator included.
const std::size_t LongestArchivablePath = PATH_MAX - 1;

namespace {

LookupStatus StatusOf(int error) {
  ThrowIfOutOfMemory(error);
  switch (error) {
    case ENOENT:
    case ENOTDIR: return LookupStatus::Missing;
    case ENAMETOOLONG: return LookupStatus::NameTooLong;
    default: return LookupStatus::Failed;
  }
}

Ownership OwnershipOf(const struct stat& st) {
  static const uid_t us = geteuid();
  if (st.st_uid != us && st.st_uid != 0) return Ownership::AnotherUsers;
  return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 ? Ownership::OthersMayWrite : Ownership::Ours;
}

}  // namespace

// In 100 ns steps, as on Windows; a time beyond what that holds (some
// 29,000 years away) is clamped.
ChangeMoment ChangeMomentOf(const timespec& time) {
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / kMomentsPerSecond - 1;
  const std::int64_t seconds = std::clamp<std::int64_t>(time.tv_sec, -kLimit, kLimit);
  return seconds * kMomentsPerSecond + time.tv_nsec / 100;
}

FileTimeLookup FileTimeAt(int directoryFd, const char* name, LocalTimeCache& times) {
  struct stat st {};
  if (fstatat(directoryFd, name, &st, 0) != 0) {
    const int error = errno;
    return {StatusOf(error), 0, std::strerror(error)};
  }
  if (S_ISDIR(st.st_mode)) return {LookupStatus::Directory, 0, "is a directory"};
  // An archiver opening a FIFO or device would block or read forever.
  if (!S_ISREG(st.st_mode)) return {LookupStatus::Failed, 0, "it is not a regular file"};
  return {LookupStatus::Found,
          times.Pack(st.st_mtim.tv_sec),
          "",
          ChangeMomentOf(st.st_ctim),
          ChangeMomentOf(st.st_mtim),
          static_cast<std::uint64_t>(st.st_size)};
}

ChangeMoment CurrentMoment() {
  // The coarse clock is the one the kernel stamps changes with, so a
  // change made after this moment is never stamped before it.
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return ChangeMomentOf(now);
}

namespace {

class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override { Close(); }
  PosixWritableFile(const PosixWritableFile&) = delete;
  PosixWritableFile& operator=(const PosixWritableFile&) = delete;
  PosixWritableFile& operator=(PosixWritableFile&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }

  std::size_t Write(const void* data, std::size_t size) override {
    const std::size_t written = fd_ >= 0 ? WriteFully(fd_, data, size) : 0;
    if (written < size) failure_ = std::strerror(fd_ >= 0 ? errno : EBADF);
    return written;
  }

  bool Flush() override {
    if (fd_ >= 0 && fsync(fd_) == 0) return true;
    failure_ = std::strerror(fd_ >= 0 ? errno : EBADF);
    return false;
  }

  bool Close() override {
    if (fd_ < 0) return false;
    const bool closed = close(fd_) == 0;
    if (!closed) failure_ = std::strerror(errno);
    fd_ = -1;
    return closed;
  }

  const std::string& Failure() const override { return failure_; }

 private:
  int fd_;
  std::string failure_;
};

class FlockLock final : public DirectoryLock {
 public:
  explicit FlockLock(int fd) : fd_(fd) {}
  ~FlockLock() override { close(fd_); }
  FlockLock(const FlockLock&) = delete;
  FlockLock& operator=(const FlockLock&) = delete;
  // flock belongs to the open file, so a child holding a copy keeps the
  // lock even when we are killed.
  int InheritableDescriptor() const override { return fd_; }

 private:
  int fd_;
};

std::string RiskOf(const std::string& directory) {
  struct stat st {};
  if (stat(directory.c_str(), &st) != 0) return "";  // creating the file will say why
  if (st.st_uid != geteuid() && st.st_uid != 0) {
    return directory + " belongs to user " + std::to_string(st.st_uid);
  }
  const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (othersWrite && (st.st_mode & S_ISVTX) == 0) {
    return "others can write to " + directory + " and it lacks the sticky bit";
  }
  return "";
}

}  // namespace

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return "";
  return std::strerror(errno);
}

FileTimeLookup LastWriteTime(const std::string& path) {
  LocalTimeCache times;
  return FileTimeAt(AT_FDCWD, path.c_str(), times);
}

// The object comes first: memory running out after the creation would
// leave the file behind.
FileCreation CreateNewFile(const std::string& path) {
  auto file = std::make_unique<PosixWritableFile>(-1);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    ThrowIfOutOfMemory(errno);
    return {nullptr, errno == EEXIST ? CreateStatus::NameTaken : CreateStatus::Failed,
            std::strerror(errno)};
  }
  // A default access list of the directory may have widened the mode; the
  // mode set now narrows its mask again. Where the file system keeps no
  // modes this fails, and the file is as private as it can be there.
  fchmod(fd, 0600);
  *file = PosixWritableFile(fd);
  return {std::move(file), CreateStatus::Created, ""};
}

std::string RemoveFile(const std::string& path) {
  return unlink(path.c_str()) == 0 ? "" : std::strerror(errno);
}

std::string RenameFile(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? "" : std::strerror(errno);
}

RenameOutcome RenameToFreeName(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return {CreateStatus::Created, ""};
  }
  if (errno == EEXIST) return {CreateStatus::NameTaken, std::strerror(errno)};
  if (errno != EINVAL && errno != ENOSYS) return {CreateStatus::Failed, std::strerror(errno)};
  // File systems without the flag: a second name, then the first removed.
  if (link(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    return {error == EEXIST ? CreateStatus::NameTaken : CreateStatus::Failed, std::strerror(error)};
  }
  if (unlink(from.c_str()) != 0) return {CreateStatus::Failed, std::strerror(errno)};
  return {CreateStatus::Created, ""};
}

namespace {

NodeLookup NodeOf(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return {NodeKind::Link, 0, OwnershipOf(st), ""};
  if (!S_ISREG(st.st_mode)) return {NodeKind::Other, 0, OwnershipOf(st), ""};
  return {NodeKind::PlainFile, static_cast<std::uint64_t>(st.st_size), OwnershipOf(st), "",
          (st.st_mode & S_IROTH) != 0};
}

NodeLookup NodeFailure(int error) {
  ThrowIfOutOfMemory(error);
  if (error == ENOENT || error == ENOTDIR) return {NodeKind::Missing, 0, Ownership::Ours, ""};
  if (error == ELOOP) return {NodeKind::Link, 0, Ownership::Ours, ""};  // O_NOFOLLOW met one
  return {NodeKind::Failed, 0, Ownership::Ours, std::strerror(error)};
}

// Opens a plain file for reading without following a link, and says what
// the path names; -1 unless it is a plain file.
int OpenPlainFile(const std::string& path, NodeLookup& node) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    node = NodeFailure(errno);
    if (errno == ENXIO || errno == EWOULDBLOCK) node = {NodeKind::Other, 0, Ownership::Ours, ""};
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    node = NodeFailure(errno);
    close(fd);
    return -1;
  }
  node = NodeOf(st);
  if (node.Kind == NodeKind::PlainFile) return fd;
  close(fd);
  return -1;
}

}  // namespace

NodeLookup LookAt(const std::string& path) {
  struct stat st {};
  if (fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return NodeFailure(errno);
  return NodeOf(st);
}

PlainFileRead ReadPlainFile(const std::string& path, std::size_t most) {
  PlainFileRead read;
  const int fd = OpenPlainFile(path, read.Node);
  if (fd < 0) return read;
  if (read.Node.Size > most) {
    close(fd);
    read.Node = {NodeKind::Failed, 0, read.Node.Owner, "it is larger than any we write"};
    return read;
  }
  read.Content.resize(static_cast<std::size_t>(read.Node.Size));
  std::size_t got = 0;
  while (got < read.Content.size()) {
    const ssize_t n = ::read(fd, read.Content.data() + got, read.Content.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      read.Node = {NodeKind::Failed, 0, read.Node.Owner,
                   n < 0 ? std::strerror(errno) : "it became shorter while read"};
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  return read;
}

std::string ReadInPieces(const std::string& path,
                         const std::function<void(std::string_view)>& piece) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  std::vector<char> buffer(1 << 16);
  std::string failure;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure = std::strerror(errno);
    if (n <= 0) break;
    piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
  close(fd);
  return failure;
}

NodeLookup FlushPlainFile(const std::string& path) {
  NodeLookup node;
  const int fd = OpenPlainFile(path, node);
  if (fd < 0) return node;
  if (fsync(fd) != 0) node = {NodeKind::Failed, 0, node.Owner, std::strerror(errno)};
  close(fd);
  return node;
}

std::string FlushDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  // Some file systems cannot flush a directory, and say so: nothing to do.
  const bool flushed = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  const int error = errno;
  close(fd);
  return flushed ? "" : std::strerror(error);
}

std::string ResolvedPath(const std::string& directory) {
  char* resolved = realpath(directory.c_str(), nullptr);
  if (resolved == nullptr) return AbsolutePath(directory);
  std::string path(resolved);
  std::free(resolved);
  if (path.back() != '/') path += '/';
  return path;
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) return "";
  std::string absolute(cwd);
  std::free(cwd);
  if (absolute.back() != '/') absolute += '/';
  return absolute + path;
}

// Every directory from the root down is checked, as for a private key:
// another user who can rename in any of them can swap the path below.
std::string SharedDirectoryRisk(const std::string& directory) {
  const std::string path = AbsolutePath(directory);
  for (std::size_t end = path.find('/'); end != std::string::npos; end = path.find('/', end + 1)) {
    std::string risk = RiskOf(path.substr(0, end + 1));
    if (!risk.empty()) return risk;
  }
  return path.ends_with('/') ? "" : RiskOf(path);
}

std::string OthersMayAddNames(const std::string& directory) {
  struct stat st {};
  if (stat(directory.c_str(), &st) != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return "";
  return ((st.st_mode & S_IWOTH) != 0 ? "others" : "its group") +
         std::string(" can add names to ") + directory +
         ((st.st_mode & S_ISVTX) != 0 ? ", sticky as it is" : "");
}

std::string UnwritableDirectory(const std::string& directory) {
  return access(directory.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

LockAttempt TryLock(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {nullptr, LockStatus::Unavailable, std::strerror(errno)};
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return {nullptr, LockStatus::Busy, ""};
    return {nullptr, LockStatus::Unavailable, std::strerror(error)};
  }
  return {std::make_unique<FlockLock>(fd), LockStatus::Locked, ""};
}

}  // namespace platform
