#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system_posix.h"

namespace platform {
namespace {

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

}  // namespace

LockAttempt LockDirectory(const std::string& directory) {
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
