#include <optional>
#include <string>
#include <vector>

#include "platform/startup.h"
#include "platform/system.h"
#include "src/command_line.h"
#include "src/run_sequence.h"

int main(int argc, char** argv) {
  const platform::ProcessStart start = platform::PrepareProcess();
  platform::System system = platform::RealSystem(start);
  // Read inside the run, so that memory running out here too ends it with
  // the failure text and status 1.
  return static_cast<int>(stampbak::RunProgram(system, [argc, argv] {
    const std::optional<std::string> raw = platform::RawCommandLine();
    return raw ? stampbak::SplitCommandLine(*raw, platform::NextCharacter)
               : std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  }));
}
