#include <optional>
#include <string>
#include <vector>

#include "platform/startup.h"
#include "platform/system.h"
#include "src/command_line.h"
#include "src/run_sequence.h"

int main(int argc, char** argv) {
  platform::PrepareProcess();
  const std::optional<std::string> raw = platform::RawCommandLine();
  const std::vector<std::string> params =
      raw ? stampbak::SplitCommandLine(*raw, platform::NextCharacter)
          : std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  platform::System system = platform::RealSystem();
  return stampbak::RunProgram(system, params);
}
