#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "platform/posix.h"

namespace platform {
namespace {

// A link that leads nowhere (or round in a loop) names nothing to pack;
// any other failure is the file's own, and its look-up will say why.
EntryKind KindOfTarget(int dirFd, const char* name) {
  struct stat st {};
  if (fstatat(dirFd, name, &st, 0) != 0) {
    ThrowIfOutOfMemory(errno);
    const bool dangling = errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
    return dangling ? EntryKind::Unarchivable : EntryKind::Unknown;
  }
  if (S_ISDIR(st.st_mode)) return EntryKind::DirectoryLink;
  return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Unarchivable;
}

EntryKind KindOfUnknown(int dirFd, const char* name) {
  struct stat st {};
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    ThrowIfOutOfMemory(errno);
    return EntryKind::Unknown;
  }
  if (S_ISLNK(st.st_mode)) return KindOfTarget(dirFd, name);
  if (S_ISDIR(st.st_mode)) return EntryKind::Directory;
  return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Unarchivable;
}

}  // namespace

// The entry's type comes with it on most file systems; only links and
// unknown types cost a system call.
EntryKind KindOf(int dirFd, unsigned char type, const char* name) {
  switch (type) {
    case DT_DIR: return EntryKind::Directory;
    case DT_REG: return EntryKind::File;
    case DT_LNK: return KindOfTarget(dirFd, name);
    case DT_UNKNOWN: return KindOfUnknown(dirFd, name);
    default: return EntryKind::Unarchivable;
  }
}

bool OutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

ListingOpen OpenFailure(int error) {
  ThrowIfOutOfMemory(error);
  return {nullptr, std::strerror(error)};
}

namespace {

// The most levels kept open at once: each holds a descriptor and the C
// library's buffer of some 32 KiB, so a tree thousands of levels deep
// would otherwise take hundreds of megabytes.
constexpr int kMostOpenLevels = 128;

// A listing holds one descriptor while the scan below it goes on, one per
// level. When a deeper level finds none left, or the open levels reach
// the most allowed, the shallowest open ancestor is parked: the rest of its entries are read into
// memory and its descriptor is closed. A parked listing gets a descriptor back through
// ".." of its child when that child closes, checked to be the same
// directory, so no file is dropped however deep the tree.
class PosixListing final : public DirectoryListing {
 public:
  PosixListing(DIR* dir, const struct stat& st, PosixListing* parent)
      : dir_(dir), fd_(dirfd(dir)), device_(st.st_dev), inode_(st.st_ino), parent_(parent) {}
  ~PosixListing() override {
    if (parent_ != nullptr && parent_->fd_ < 0 && fd_ >= 0) {
      parent_->Revive(openat(fd_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    Close();
  }
  PosixListing(const PosixListing&) = delete;
  PosixListing& operator=(const PosixListing&) = delete;

  bool Next(DirectoryEntry& entry) override {
    if (dir_ == nullptr) {
      if (nextParked_ == parked_.size()) return false;
      entry = std::move(parked_[nextParked_++]);
      return true;
    }
    errno = 0;
    const dirent* found = readdir(dir_);
    if (found == nullptr) {
      // A damaged block or a lost server must not pass for the end.
      ThrowIfOutOfMemory(errno);
      if (errno != 0) failure_ = std::strerror(errno);
      return false;
    }
    entry.Name.assign(found->d_name);
    entry.Kind = KindOf(fd_, *found);
    return true;
  }

  const std::string& Failure() const override { return failure_; }

  FileTimeLookup LastWriteTime(const std::string& name) override {
    if (fd_ < 0) return {LookupStatus::Failed, 0, "the directory could not be opened again"};
    return FileTimeAt(fd_, name.c_str(), times_);
  }

  ListingOpen OpenSubdirectory(const std::string& name) override {
    if (fd_ < 0) return {nullptr, "its directory could not be opened again"};
    ParkAncestorAtTheMost();
    for (;;) {
      const int fd = openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd >= 0) return Adopt(fd, this);
      const int error = errno;
      if (!OutOfDescriptors(error) || !ParkShallowestAncestor()) return OpenFailure(error);
    }
  }

  std::string Identity() override { return std::to_string(device_) + ":" + std::to_string(inode_); }

  // A listing of the open directory descriptor, which it then owns.
  static ListingOpen Adopt(int fd, PosixListing* parent) {
    struct stat st {};
    DIR* dir = fstat(fd, &st) == 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr) {
      const int error = errno;
      close(fd);
      return OpenFailure(error);
    }
    return {std::make_unique<PosixListing>(dir, st, parent), ""};
  }

 private:
  void Close() {
    if (dir_ != nullptr) {
      closedir(dir_);
    } else if (fd_ >= 0) {
      close(fd_);
    }
    dir_ = nullptr;
    fd_ = -1;
  }

  void Park() {
    DirectoryEntry entry;
    while (Next(entry)) parked_.push_back(std::move(entry));
    Close();
  }

  // The open levels are always the deepest ones, so the ancestor that many
  // levels up is the shallowest open one.
  void ParkAncestorAtTheMost() {
    PosixListing* level = this;
    for (int i = 1; i < kMostOpenLevels && level != nullptr; ++i) level = level->parent_;
    if (level != nullptr && level->fd_ >= 0) level->Park();
  }

  bool ParkShallowestAncestor() {
    PosixListing* shallowest = nullptr;
    for (PosixListing* level = parent_; level != nullptr; level = level->parent_) {
      if (level->fd_ >= 0) shallowest = level;
    }
    if (shallowest == nullptr) return false;
    shallowest->Park();
    return true;
  }

  // A directory that was moved away meanwhile is not the one listed.
  void Revive(int fd) {
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_dev == device_ && st.st_ino == inode_) {
      fd_ = fd;
    } else if (fd >= 0) {
      close(fd);
    }
  }

  DIR* dir_;  // while streaming; none once parked
  int fd_;    // -1 while parked
  dev_t device_;
  ino_t inode_;
  PosixListing* parent_;
  std::vector<DirectoryEntry> parked_;
  std::size_t nextParked_ = 0;
  std::string failure_;
  LocalTimeCache times_;  // a directory's files often share an hour
};

}  // namespace

ListingOpen OpenDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return OpenFailure(errno);
  return PosixListing::Adopt(fd, nullptr);
}

ListingOpen AdoptDirectory(int fd) { return PosixListing::Adopt(fd, nullptr); }

}  // namespace platform
