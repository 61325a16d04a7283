#include <unistd.h>

#include <array>
#include <string>

#include "platform/diagnostics.h"
#include "platform/posix_io.h"

namespace platform {
namespace {

class PosixDiagnostics final : public Diagnostics {
 public:
  void Warn(std::string_view line) override {
    std::string text(line);
    text += '\n';
    WriteFully(STDERR_FILENO, text.data(), text.size());
  }

  void ShowFailure(std::string_view text) override {
    WriteFully(STDERR_FILENO, text.data(), text.size());
    WriteFully(STDERR_FILENO, "\n", 1);
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
