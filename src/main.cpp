#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "src/command_line.h"
#include "src/run_sequence.h"

int main(int argc, char** argv) {
  const platform::ProcessStart start = platform::PrepareProcess();
  std::unique_ptr<stampbak::TBackupFile> tree;
  // Read inside the run, so that memory running out here too ends it with
  // the failure text and status 1.
  const stampbak::ExitStatus status = stampbak::RunProgram(
      start,
      [argc, argv] {
        const std::optional<std::string> raw = platform::RawCommandLine();
        return raw ? stampbak::SplitCommandLine(*raw, platform::NextCharacter)
                   : std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
      },
      tree);
  // The tree lives until the process ends; exit() leaves main's locals as
  // they are, so a million nodes are not torn down one by one just before
  // the system takes the memory back anyway.
  std::exit(static_cast<int>(status));
}
