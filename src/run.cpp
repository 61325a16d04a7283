#include "src/run.h"

namespace stampbak {

std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    if (c == '\r' || c == '\n') c = '?';
  }
  return shown;
}

void Warn(const Run& run, std::string_view message) {
  const std::string line = "stampbak: " + Printable(message);
  run.report.FlushBeforeWarning();
  platform::WriteWarning(line);
}

}  // namespace stampbak
