#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/process.h"
#include "platform/startup_posix.h"

namespace platform {
namespace {

void RestoreDefaultSignals() {
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) signal(sig, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

void LowestPriority() {
  const sched_param param{};
  if (sched_setscheduler(0, SCHED_IDLE, &param) != 0) setpriority(PRIO_PROCESS, 0, 19);
}

// Standard input and output on /dev/null, standard error shared with ours,
// nothing else open but the error pipe, which closes on exec.
void KeepOnlyStandardError(int errorFd) {
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
  }
  if (errorFd > 3) close_range(3, static_cast<unsigned>(errorFd) - 1, 0);
  close_range(static_cast<unsigned>(errorFd) + 1, ~0U, 0);
}

[[noreturn]] void ExecChild(char* const argv[], const char* workingDirectory, int errorFd) {
  RestoreDefaultSignals();
  RestoreCallerLimits();
  LowestPriority();
  KeepOnlyStandardError(errorFd);
  if (chdir(workingDirectory) == 0) execvp(argv[0], argv);
  const int error = errno;
  const ssize_t ignored = write(errorFd, &error, sizeof error);
  static_cast<void>(ignored);
  _exit(127);
}

std::uint32_t WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 128;
  }
  if (WIFSIGNALED(status)) return 128U + static_cast<std::uint32_t>(WTERMSIG(status));
  return static_cast<std::uint32_t>(WEXITSTATUS(status));
}

// The errno that the child sent before it could exec, or 0 once exec
// closed the pipe.
int StartError(int readFd) {
  int error = 0;
  ssize_t n;
  do {
    n = read(readFd, &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

class PosixProcessLauncher final : public ProcessLauncher {
 public:
  ProcessOutcome RunHidden(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory) override {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return {false, static_cast<std::uint32_t>(errno)};
    const pid_t pid = fork();
    if (pid == 0) ExecChild(argv.data(), workingDirectory.c_str(), pipeFds[1]);
    const int forkError = errno;
    close(pipeFds[1]);
    if (pid < 0) {
      close(pipeFds[0]);
      return {false, static_cast<std::uint32_t>(forkError)};
    }
    const int error = StartError(pipeFds[0]);
    close(pipeFds[0]);
    const std::uint32_t code = WaitFor(pid);
    if (error != 0) return {false, static_cast<std::uint32_t>(error)};
    return {true, code};
  }
};

}  // namespace

ProcessLauncher& SystemProcessLauncher() {
  static PosixProcessLauncher launcher;
  return launcher;
}

}  // namespace platform
