#include "platform/posix_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace platform {
namespace {

// A non-blocking descriptor that is full waits for its reader; nothing of
// the load is lost.
TEST(WriteFully, WaitsForASlowReaderOfANonBlockingPipe) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  std::string received;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, n);
  });
  const std::string load(200000, 'x');
  EXPECT_EQ(WriteFully(fds[1], load.data(), load.size()), load.size());
  close(fds[1]);
  reader.join();
  close(fds[0]);
  EXPECT_EQ(received, load);
}

}  // namespace
}  // namespace platform
