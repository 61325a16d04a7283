#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <clocale>
#include <csignal>

#include "platform/startup.h"
#include "platform/startup_posix.h"

namespace platform {
namespace {

bool standardOutputGiven = true;
rlimit callerDescriptorLimit{};

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
void RaiseDescriptorLimit() {
  if (getrlimit(RLIMIT_NOFILE, &callerDescriptorLimit) != 0) return;
  rlimit raised = callerDescriptorLimit;
  raised.rlim_cur = raised.rlim_max;
  setrlimit(RLIMIT_NOFILE, &raised);
}

}  // namespace

bool StandardOutputWasGiven() { return standardOutputGiven; }

void RestoreCallerLimits() {
  if (callerDescriptorLimit.rlim_max != 0) setrlimit(RLIMIT_NOFILE, &callerDescriptorLimit);
}

void PrepareProcess() {
  standardOutputGiven = IsOpen(STDOUT_FILENO);
  ClaimStandardDescriptors();
  RaiseDescriptorLimit();
  std::setlocale(LC_CTYPE, "");
  // A reader that went away must cost us its text, not the run.
  std::signal(SIGPIPE, SIG_IGN);
  // Inherited as ignored, it would let the archiver's end go unseen and
  // every archive pass for failed.
  std::signal(SIGCHLD, SIG_DFL);
}

std::optional<std::string> RawCommandLine() { return std::nullopt; }

std::size_t NextCharacter(std::string_view /*text*/, std::size_t pos) { return pos + 1; }

}  // namespace platform
