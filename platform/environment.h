#pragma once

#include <cstdint>
#include <string>

namespace platform {

class Environment {
 public:
  virtual ~Environment() = default;
  // The variable's whole value; empty when it is absent.
  virtual std::string Variable(const std::string& name) = 0;
  // The temporary directory to use when TEMP is absent or empty.
  virtual std::string FallbackTempDirectory() = 0;
  // A number from the system's random source, for names nobody can guess.
  virtual std::uint32_t RandomNumber() = 0;
};

Environment& SystemEnvironment();

}  // namespace platform
