#include "src/run.h"

#include "src/uUtils.h"

namespace stampbak {

void Warn(const Run& run, std::string_view message) {
  const std::string line = "stampbak: " + Printable(message);
  run.report.FlushBeforeWarning();
  platform::WriteWarning(line);
}

}  // namespace stampbak
