// The clock, the environment, standard output and error, and the lowering
// of names under POSIX.
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/posix.h"

namespace platform {

const char* const TextLineEnd = "\n";

LocalTime Now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  // A leap second counts as 59.
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                   tm.tm_hour,        tm.tm_min,     std::min(tm.tm_sec, 59)};
}

std::uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000U +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000000U;
  return static_cast<std::uint32_t>(ms);
}

std::string EnvironmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
}

std::string FallbackTempDirectory() {
  std::string dir = EnvironmentVariable("TMPDIR");
  return dir.empty() ? "/tmp/" : dir;
}

std::optional<std::uint32_t> RandomNumber() {
  std::uint32_t number = 0;
  for (int tries = 0; tries < 8; ++tries) {
    if (getrandom(&number, sizeof number, 0) == sizeof number) return number;
    if (errno != EINTR) break;
  }
  return std::nullopt;
}

// A to Z always by their own rule, whatever the locale (a Turkish one
// would leave "I" as it is, or make it a dotless i); the other bytes by the
// C library's single-byte mapping under the locale chosen at start, which
// in a UTF-8 locale leaves them as they are.
void LowerCaseInPlace(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (c >= 'A' && c <= 'Z') {
      data[i] = static_cast<char>(c - 'A' + 'a');
    } else if (c >= 0x80) {
      data[i] = static_cast<char>(std::tolower(c));
    }
  }
}

// The C library lowers single bytes by definition.
bool LowerCaseIsPerByte() { return true; }

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

namespace {

class PosixReportOutput final : public ReportOutput {
 public:
  explicit PosixReportOutput(bool given) : given_(given) {}

  OutputKind Open() override {
    struct stat st {};
    if (!given_ || fstat(STDOUT_FILENO, &st) != 0) return OutputKind::None;
    if (S_ISCHR(st.st_mode)) return OutputKind::CharDevice;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return OutputKind::Pipe;
    return OutputKind::File;
  }

  std::string Write(const char* data, std::size_t size) override {
    errno = 0;
    if (WriteFully(STDOUT_FILENO, data, size) == size) return "";
    return errno != 0 ? std::strerror(errno) : "nothing more was taken";
  }

  bool SharedWithDiagnostics() override {
    struct stat out {};
    struct stat err {};
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
  }

 private:
  bool given_;
};

}  // namespace

ReportOutput& StandardOutput(const ProcessStart& start) {
  static PosixReportOutput output(start.StandardOutputGiven);
  return output;
}

void WriteWarning(std::string_view line) {
  std::string text(line);
  text += '\n';
  WriteFully(STDERR_FILENO, text.data(), text.size());
}

void ShowFailure(std::string_view text) {
  WriteFully(STDERR_FILENO, text.data(), text.size());
  WriteFully(STDERR_FILENO, "\n", 1);
}

std::string ModuleName() {
  std::array<char, 4096> path{};
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "stampbak";
  const std::string full(path.data(), static_cast<std::size_t>(n));
  return full.substr(full.rfind('/') + 1);
}

}  // namespace platform
