#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <ctime>

#include "platform/process.h"
#include "platform/startup.h"

namespace platform {
namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// A closed standard descriptor would be handed to the next file we open,
// and the report could then land in the list file.
void ClaimStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (IsOpen(fd)) continue;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

// The scan holds one open directory per level of nesting; a deep tree must
// not run out of descriptors while the hard limit allows more.
// Returns the caller's limit, which the archiver gets back.
void RaiseDescriptorLimit(ProcessStart& start) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  start.CallerDescriptorLimit = static_cast<long long>(limit.rlim_cur);
  start.CallerDescriptorHardLimit = static_cast<long long>(limit.rlim_max);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

ProcessStart PrepareProcess() {
  ProcessStart start;
  start.StandardOutputGiven = IsOpen(STDOUT_FILENO);
  ClaimStandardDescriptors();
  RaiseDescriptorLimit(start);
  std::setlocale(LC_CTYPE, "");
  // A reader that went away must cost us its text, not the run.
  std::signal(SIGPIPE, SIG_IGN);
  // Inherited as ignored, it would let the archiver's end go unseen and
  // every archive pass for failed.
  std::signal(SIGCHLD, SIG_DFL);
  CatchEndingSignals();
  // The time zone is read now, while descriptors are still to be had.
  tzset();
  return start;
}

std::optional<std::string> RawCommandLine() { return std::nullopt; }

std::size_t NextCharacter(std::string_view /*text*/, std::size_t pos) { return pos + 1; }

}  // namespace platform
