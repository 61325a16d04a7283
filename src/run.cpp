#include "src/run.h"

#include <string>

namespace stampbak {

void Warn(const Run& run, std::string_view message) {
  std::string line = "stampbak: ";
  line += message;
  run.system.diagnostics.Warn(line);
}

}  // namespace stampbak
