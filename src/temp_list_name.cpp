#include "src/uUtils.h"

namespace stampbak {

std::string MakeTempListName(platform::Environment& environment, platform::Clock& clock,
                             std::uint32_t attempt) {
  std::string name = environment.Variable("TEMP");
  if (name.empty()) name = environment.FallbackTempDirectory();
  if (name.empty() || name.back() != platform::PathDelimiter) name += platform::PathDelimiter;
  // Names after a taken first one must not be guessable, or planting links
  // at the coming numbers would stop every backup.
  const std::uint32_t number = attempt == 0 ? clock.TickCount() : environment.RandomNumber();
  return name + std::to_string(number);
}

}  // namespace stampbak
