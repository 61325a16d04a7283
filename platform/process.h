#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/startup.h"

namespace platform {

struct ProcessOutcome {
  bool Started = false;
  // The exit code when it started (128 + the signal for one killed by a
  // signal), else the platform's error code for the failed start.
  std::uint32_t Code = 0;
  // The name of the signal that asked us to end while the program ran, and
  // which it was passed on to; empty when none came.
  std::string Interruption;
  // Why it did not start, or how it ended when not with status 0: "was not
  // found on PATH", "ended with status 3", "was ended by SIGKILL".
  std::string Reason;
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts the program, found by the platform's program search, with the
  // arguments, in the working directory: hidden, at the lowest priority,
  // with no standard input or output and no handle of ours but the lock,
  // which it holds for as long as it runs. Waits for it.
  virtual ProcessOutcome RunHidden(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   const std::string& workingDirectory,
                                   const DirectoryLock* lock) = 0;
};

ProcessLauncher& SystemProcessLauncher(const ProcessStart& start);

// From the start on, a signal that asks the process to end (POSIX) is
// kept for the run to see at its next step, and passed on to a program
// that RunHidden runs.
void CatchEndingSignals();

// The name of the signal that asked the run to end; empty when none came.
std::string EndingSignal();

}  // namespace platform
