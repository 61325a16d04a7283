#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace platform {
namespace {

// The signals whose default action ends the process, which others send to
// ask a run to end. Those raised by a fault of our own (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS) are no such request and keep
// their default action. SIGPIPE and SIGXFSZ are ignored from the start: a
// reader gone or a report over the file-size limit costs the report only.
constexpr std::array kEndingSignals{SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1,
                                    SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
                                    SIGIO,   SIGPWR,  SIGSTKFLT};
volatile std::sig_atomic_t runningChild = 0;
volatile std::sig_atomic_t receivedSignal = 0;

// While the archiver runs the signal is passed on to it, so that it never
// goes on writing after the destination lock would otherwise be gone; the
// run sees it at its next step either way.
void PassOn(int sig) {
  receivedSignal = sig;
  if (runningChild > 0) kill(static_cast<pid_t>(runningChild), sig);
}

std::string SignalName(int sig) {
  const char* name = sigabbrev_np(sig);
  return name != nullptr ? std::string("SIG") + name : "signal " + std::to_string(sig);
}

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
// the lock as descriptor 3, nothing else open but the error pipe, which
// closes on exec.
void KeepOnlyStandardErrorAndLock(int errorFd, int lockFd) {
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
  }
  int firstClosed = 3;
  if (lockFd >= 0) {
    if (errorFd == 3) errorFd = fcntl(errorFd, F_DUPFD_CLOEXEC, 4);
    if (lockFd == 3) {
      fcntl(3, F_SETFD, 0);
    } else {
      dup2(lockFd, 3);
    }
    firstClosed = 4;
  }
  if (errorFd > firstClosed) {
    close_range(static_cast<unsigned>(firstClosed), static_cast<unsigned>(errorFd) - 1, 0);
  }
  close_range(static_cast<unsigned>(errorFd) + 1, ~0U, 0);
}

// The child gets the descriptor limit that our caller gave us.
void RestoreCallerLimits(const ProcessStart& start) {
  if (start.CallerDescriptorHardLimit < 0) return;
  const rlimit limit{static_cast<rlim_t>(start.CallerDescriptorLimit),
                     static_cast<rlim_t>(start.CallerDescriptorHardLimit)};
  setrlimit(RLIMIT_NOFILE, &limit);
}

[[noreturn]] void ExecChild(const ProcessStart& start, const char* path, char* const argv[],
                            const char* workingDirectory, int errorFd, int lockFd) {
  RestoreDefaultSignals();
  RestoreCallerLimits(start);
  LowestPriority();
  // The archive holds copies of files others may not read.
  umask(077);
  KeepOnlyStandardErrorAndLock(errorFd, lockFd);
  if (chdir(workingDirectory) == 0) execv(path, argv);
  const int error = errno;
  const ssize_t ignored = write(errorFd, &error, sizeof error);
  static_cast<void>(ignored);
  _exit(127);
}

struct ProgramSearch {
  std::string Path;  // absolute, when found
  int Error = ENOENT;
};

// The program is looked for here, before the child changes to the source
// directory: a relative or empty PATH entry ("." or "::") is taken against
// our own working directory, as a shell would, so that a program lying in
// the tree being backed up is never the one run.
ProgramSearch FindProgram(const std::string& name) {
  const char* variable = std::getenv("PATH");
  const std::string entries = variable != nullptr ? variable : "/bin:/usr/bin";
  char* cwd = getcwd(nullptr, 0);
  const std::string workingDirectory = cwd != nullptr ? cwd : "";
  std::free(cwd);
  ProgramSearch search;
  for (std::size_t start = 0; start <= entries.size();) {
    std::size_t end = entries.find(':', start);
    if (end == std::string::npos) end = entries.size();
    std::string_view entry(entries.data() + start, end - start);
    start = end + 1;
    if (entry.empty()) entry = ".";
    std::string candidate;
    if (entry.front() != '/') {
      if (workingDirectory.empty()) continue;  // ours is gone: nothing relative to it
      candidate.append(workingDirectory).append("/");
    }
    candidate.append(entry).append("/").append(name);
    struct stat st {};
    if (stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (access(candidate.c_str(), X_OK) == 0) return {candidate, 0};
    search.Error = EACCES;
  }
  return search;
}

// Holds the ending signals back from before the start of the child until
// it is known to the handler, which then passes them on.
class SignalForwarding {
 public:
  SignalForwarding() {
    sigemptyset(&ending_);
    for (int sig : kEndingSignals) sigaddset(&ending_, sig);
    sigprocmask(SIG_BLOCK, &ending_, &mask_);
  }
  ~SignalForwarding() {
    sigprocmask(SIG_BLOCK, &ending_, nullptr);
    runningChild = 0;
    sigprocmask(SIG_SETMASK, &mask_, nullptr);
  }
  SignalForwarding(const SignalForwarding&) = delete;
  SignalForwarding& operator=(const SignalForwarding&) = delete;

  // From here on a signal reaches the child; one that came since the
  // start is handled now, and one that came before it, while the list was
  // being handed over, is passed on at once.
  void Started(pid_t child) {
    runningChild = child;
    if (receivedSignal != 0) kill(child, receivedSignal);
    sigprocmask(SIG_SETMASK, &mask_, nullptr);
  }

 private:
  sigset_t ending_{};
  sigset_t mask_{};  // the caller's, given back at the end
};

int Reap(pid_t pid, int& status) {
  int result;
  do {
    result = waitpid(pid, &status, 0);
  } while (result < 0 && errno == EINTR);
  return result < 0 ? errno : 0;
}

// The exit code as a shell gives it (128 + N for signal N), and the words
// for one that is not 0. A child that cannot be waited for is ended, so
// that it never writes on unsupervised once the lock and the list go.
std::pair<std::uint32_t, std::string> WaitFor(pid_t pid) {
  int status = 0;
  if (const int error = Reap(pid, status); error != 0) {
    kill(pid, SIGKILL);
    Reap(pid, status);
    return {128 + SIGKILL, std::string("could not be waited for (") + std::strerror(error) +
                               ") and was ended by SIGKILL"};
  }
  if (WIFSIGNALED(status)) {
    return {128U + static_cast<std::uint32_t>(WTERMSIG(status)),
            "was ended by " + SignalName(WTERMSIG(status))};
  }
  const auto code = static_cast<std::uint32_t>(WEXITSTATUS(status));
  return {code, code == 0 ? "" : "ended with status " + std::to_string(code)};
}

std::string StartFailure(int error) {
  if (error == ENOENT) return "was not found on PATH";
  if (error == EACCES) return "is not executable";
  return std::string("could not be started: ") + std::strerror(error);
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

// A signal our caller chose to ignore stays ignored.
void CatchEndingSignals() {
  struct sigaction passOn {};
  passOn.sa_handler = PassOn;
  sigemptyset(&passOn.sa_mask);
  for (int sig : kEndingSignals) sigaddset(&passOn.sa_mask, sig);
  for (int sig : kEndingSignals) {
    struct sigaction previous {};
    sigaction(sig, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(sig, &passOn, nullptr);
  }
}

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// A closed standard descriptor would be handed to the next file we open,
// and the report could then land in the list file. Claimed from 0 up, the
// lowest free descriptor, which open takes, is the one missing.
void ClaimStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (!IsOpen(fd)) open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  }
}

// The scan holds one open directory per level of nesting; a deep tree must
// not run out of descriptors while the hard limit allows more. The
// caller's limits are kept in `start`, for the archiver to get back.
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
  std::signal(SIGXFSZ, SIG_IGN);
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

bool EndRequested() { return receivedSignal != 0; }

std::string EndingSignal() {
  const int sig = receivedSignal;
  return sig == 0 ? "" : SignalName(sig);
}

ProcessOutcome RunHidden(const ProcessStart& start, const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& workingDirectory, const DirectoryLock* lock) {
  const ProgramSearch found = FindProgram(program);
  if (found.Path.empty()) {
    return {false, static_cast<std::uint32_t>(found.Error), "", StartFailure(found.Error)};
  }
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int lockFd = lock != nullptr ? lock->InheritableDescriptor() : -1;

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    return {false, static_cast<std::uint32_t>(errno), "", StartFailure(errno)};
  }
  SignalForwarding forwarding;
  const pid_t pid = fork();
  if (pid == 0) {
    ExecChild(start, found.Path.c_str(), argv.data(), workingDirectory.c_str(), pipeFds[1], lockFd);
  }
  const int forkError = errno;
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return {false, static_cast<std::uint32_t>(forkError), "", StartFailure(forkError)};
  }
  forwarding.Started(pid);
  const int error = StartError(pipeFds[0]);
  close(pipeFds[0]);
  const auto [code, reason] = WaitFor(pid);
  if (error != 0) return {false, static_cast<std::uint32_t>(error), "", StartFailure(error)};
  return {true, code, EndingSignal(), reason};
}

}  // namespace platform
