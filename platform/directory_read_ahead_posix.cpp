// The read-ahead's calls on POSIX: every directory opened from its
// parent's descriptor, its entries read straight from the kernel.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/posix.h"
#include "platform/read_ahead.h"

namespace platform {

const SystemError kOutOfMemoryError = ENOMEM;

bool IsOutOfMemory(SystemError error) { return error == ENOMEM; }
bool IsShortOfHandles(SystemError error) { return OutOfDescriptors(error); }
std::string ErrorWords(SystemError error) { return std::strerror(error); }
ListingOpen FailedOpen(SystemError error) { return OpenFailure(error); }

namespace {

// Fewer descriptors than this allowed, and the walk reads alone: with its
// own levels and the read-ahead's window there would not be enough.
constexpr rlim_t kFewestDescriptors = 512;

class TimeMemory final : public LookUpMemory {
 public:
  LocalTimeCache Times;  // a directory's files often share an hour
};

// The entries of an open directory in large pieces: no stream to set up,
// no flag or look-up calls beside.
class KernelEntries final : public EntrySource {
 public:
  explicit KernelEntries(int fd) : fd_(fd), buffer_(kBufferSize) {}

  bool Next(DirectoryEntry& entry, std::uint64_t& listed, SystemError& error) override {
    if (offset_ == filled_) {
      const ssize_t got = getdents64(fd_, buffer_.data(), buffer_.size());
      if (got <= 0) {
        error = got < 0 ? errno : 0;
        return false;
      }
      filled_ = static_cast<std::size_t>(got);
      offset_ = 0;
    }
    const auto* found = reinterpret_cast<const struct dirent64*>(buffer_.data() + offset_);
    offset_ += found->d_reclen;
    entry.Name.assign(found->d_name);
    entry.Kind = KindOf(fd_, found->d_type, found->d_name);
    listed = found->d_ino;
    return true;
  }

 private:
  static constexpr std::size_t kBufferSize = 32768;
  int fd_;
  std::vector<char> buffer_;
  std::size_t filled_ = 0;
  std::size_t offset_ = 0;
};

class HeldDescriptor final : public HeldDirectory {
 public:
  HeldDescriptor(int fd, const struct stat& st) : fd_(fd), device_(st.st_dev), inode_(st.st_ino) {}
  ~HeldDescriptor() override {
    if (fd_ >= 0) close(fd_);
  }
  HeldDescriptor(const HeldDescriptor&) = delete;
  HeldDescriptor& operator=(const HeldDescriptor&) = delete;

  // An open descriptor of a directory, then ours.
  static DirectoryOpening Hold(int fd) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
      const int error = errno;
      if (fd >= 0) close(fd);
      return {nullptr, error, false};
    }
    return {std::make_unique<HeldDescriptor>(fd, st), 0, false};
  }

  std::string Identity() const override {
    return std::to_string(device_) + ":" + std::to_string(inode_);
  }

  std::unique_ptr<EntrySource> Entries() override { return std::make_unique<KernelEntries>(fd_); }

  // A mount point shows its own inode, not the one listed.
  DirectoryOpening OpenChild(const std::string& name, std::uint64_t listed) const override {
    DirectoryOpening opening = Hold(OpenBelow(name));
    const auto* child = static_cast<const HeldDescriptor*>(opening.Directory.get());
    if (child != nullptr && child->device_ == device_ && child->inode_ != listed) {
      return {nullptr, 0, true};
    }
    return opening;
  }

  FileTimeLookup LookUp(const std::string& name, LookUpMemory& memory) const override {
    return FileTimeAt(fd_, name.c_str(), static_cast<TimeMemory&>(memory).Times);
  }

  ListingOpen OpenAlone(const std::string& name, SystemError& error) const override {
    const int inner = OpenBelow(name);
    if (inner >= 0) return AdoptDirectory(inner);
    error = errno;
    return OpenFailure(error);
  }

  ListingOpen ListAlone() override { return AdoptDirectory(std::exchange(fd_, -1)); }

 private:
  int OpenBelow(const std::string& name) const {
    return openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }

  int fd_;
  dev_t device_;
  ino_t inode_;
};

}  // namespace

std::unique_ptr<LookUpMemory> NewLookUpMemory() { return std::make_unique<TimeMemory>(); }

DirectoryOpening HoldDirectory(const std::string& directory) {
  return HeldDescriptor::Hold(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool RoomForReadAhead() {
  struct rlimit limit {};
  return getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= kFewestDescriptors;
}

void StartWorkersQuietly(const std::function<void()>& start) {
#ifdef M_ARENA_MAX
  // What the workers allocate the walk frees: in arenas of their own that
  // memory would pile up, a third more for a tree of small directories.
  mallopt(M_ARENA_MAX, 1);
#endif
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  start();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace platform
