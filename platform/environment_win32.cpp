#include <windows.h>
// After windows.h, which it builds on.
#include <bcrypt.h>

#include "platform/environment.h"

namespace platform {
namespace {

class Win32Environment final : public Environment {
 public:
  // The size is asked first, so that a value of any length is read whole.
  std::string Variable(const std::string& name) override {
    const DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (size == 0) return "";
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
  }

  std::string FallbackTempDirectory() override { return "c:\\windows\\temp\\"; }

  std::uint32_t RandomNumber() override {
    std::uint32_t number = 0;
    BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&number), sizeof number,
                    BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return number;
  }
};

}  // namespace

Environment& SystemEnvironment() {
  static Win32Environment environment;
  return environment;
}

}  // namespace platform
