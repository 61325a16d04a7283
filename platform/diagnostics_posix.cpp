#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>

#include "platform/diagnostics.h"

namespace platform {
namespace {

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

class PosixDiagnostics final : public Diagnostics {
 public:
  void Warn(std::string_view line) override {
    std::string text(line);
    text += '\n';
    WriteAll(STDERR_FILENO, text);
  }

  void ShowFailure(std::string_view text) override {
    WriteAll(STDERR_FILENO, text);
    WriteAll(STDERR_FILENO, "\n");
  }

  std::string ModuleName() override {
    std::array<char, 4096> path{};
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return "stampbak";
    const std::string full(path.data(), static_cast<std::size_t>(n));
    return full.substr(full.rfind('/') + 1);
  }
};

}  // namespace

Diagnostics& SystemDiagnostics() {
  static PosixDiagnostics diagnostics;
  return diagnostics;
}

}  // namespace platform
