#include <sys/random.h>

#include <cstdlib>

#include "platform/environment.h"

namespace platform {
namespace {

class PosixEnvironment final : public Environment {
 public:
  std::string Variable(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
  }

  std::string FallbackTempDirectory() override {
    std::string dir = Variable("TMPDIR");
    return dir.empty() ? "/tmp/" : dir;
  }

  std::uint32_t RandomNumber() override {
    std::uint32_t number = 0;
    while (getrandom(&number, sizeof number, 0) != sizeof number) {
    }
    return number;
  }
};

}  // namespace

Environment& SystemEnvironment() {
  static PosixEnvironment environment;
  return environment;
}

}  // namespace platform
