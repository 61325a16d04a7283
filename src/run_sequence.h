#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "src/failures.h"
#include "src/uBackupFile.h"

namespace stampbak {

// Reads the run's parameters, the program's own name not among them.
using ParameterReader = std::function<std::vector<std::string>()>;

// One whole run from reading the parameters to the exit status; failures
// that end the run, exhausted memory included, are caught here and nowhere
// else.
// The backup pass's tree is left in `tree`, to live as long as the process.
ExitStatus RunProgram(const platform::ProcessStart& start, const ParameterReader& readParameters,
                      std::unique_ptr<TBackupFile>& tree);

}  // namespace stampbak
