#include "src/uUtils.h"

namespace stampbak {

std::string MakeTempListName(platform::Environment& environment, platform::Clock& clock) {
  std::string name = environment.Variable("TEMP");
  if (name.empty()) name = environment.FallbackTempDirectory();
  if (name.empty() || name.back() != platform::PathDelimiter) name += platform::PathDelimiter;
  return name + std::to_string(clock.TickCount());
}

}  // namespace stampbak
