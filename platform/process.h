#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessOutcome {
  bool Started = false;
  // The exit code when it started (128 + the signal for one killed by a
  // signal), else the platform's error code for the failed start.
  std::uint32_t Code = 0;
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts the program, found by the platform's program search, with the
  // arguments, in the working directory: hidden, at the lowest priority,
  // with no standard input or output and no handle of ours. Waits for it.
  virtual ProcessOutcome RunHidden(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   const std::string& workingDirectory) = 0;
};

ProcessLauncher& SystemProcessLauncher();

}  // namespace platform
