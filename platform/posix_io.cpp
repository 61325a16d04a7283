#include "platform/posix_io.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::size_t WriteFully(int fd, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, bytes + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    // A descriptor in non-blocking mode (some supervisors hand one over)
    // is full, not broken: wait until it takes more.
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd ready{fd, POLLOUT, 0};
      if (poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
    }
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  return written;
}

}  // namespace platform
