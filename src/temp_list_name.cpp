#include "src/uUtils.h"

namespace stampbak {

std::string MakeTempListName(platform::Environment& environment, platform::Clock& clock,
                             std::uint32_t attempt) {
  std::string name = environment.Variable("TEMP");
  if (name.empty()) name = environment.FallbackTempDirectory();
  if (name.empty() || name.back() != platform::PathDelimiter) name += platform::PathDelimiter;
  const std::uint32_t number = clock.TickCount() + attempt;  // wraps like the count
  return name + std::to_string(number);
}

}  // namespace stampbak
