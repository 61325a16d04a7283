#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/directory_listing.h"
#include "platform/file_time_posix.h"

namespace platform {
namespace {

EntryKind KindOfTarget(int dirFd, const char* name) {
  struct stat st {};
  if (fstatat(dirFd, name, &st, 0) != 0) return EntryKind::Unarchivable;
  if (S_ISDIR(st.st_mode)) return EntryKind::DirectoryLink;
  return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Unarchivable;
}

EntryKind KindOfUnknown(int dirFd, const char* name) {
  struct stat st {};
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Unarchivable;
  if (S_ISLNK(st.st_mode)) return KindOfTarget(dirFd, name);
  if (S_ISDIR(st.st_mode)) return EntryKind::Directory;
  return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Unarchivable;
}

class PosixListing final : public DirectoryListing {
 public:
  explicit PosixListing(DIR* dir) : dir_(dir) {}
  ~PosixListing() override { closedir(dir_); }
  PosixListing(const PosixListing&) = delete;
  PosixListing& operator=(const PosixListing&) = delete;

  bool Next(DirectoryEntry& entry) override {
    const dirent* found = readdir(dir_);
    if (found == nullptr) return false;
    entry.Name.assign(found->d_name);
    entry.Kind = KindOf(*found);
    return true;
  }

  FileTimeLookup LastWriteTime(const std::string& name) override {
    return FileTimeAt(dirfd(dir_), name.c_str());
  }

 private:
  // The entry's type comes with it on most file systems; only links and
  // unknown types cost a system call.
  EntryKind KindOf(const dirent& found) const {
    switch (found.d_type) {
      case DT_DIR: return EntryKind::Directory;
      case DT_REG: return EntryKind::File;
      case DT_LNK: return KindOfTarget(dirfd(dir_), found.d_name);
      case DT_UNKNOWN: return KindOfUnknown(dirfd(dir_), found.d_name);
      default: return EntryKind::Unarchivable;
    }
  }

  DIR* dir_;
};

class PosixDirectoryEnumerator final : public DirectoryEnumerator {
 public:
  ListingOpen Open(const std::string& directory) override {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
      const int error = errno;
      const LookupStatus status =
          error == ENOMEM ? LookupStatus::OutOfMemory : LookupStatus::Failed;
      return {nullptr, status, std::strerror(error)};
    }
    return {std::make_unique<PosixListing>(dir), LookupStatus::Found, ""};
  }
};

}  // namespace

DirectoryEnumerator& SystemDirectoryEnumerator() {
  static PosixDirectoryEnumerator enumerator;
  return enumerator;
}

}  // namespace platform
