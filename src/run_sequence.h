#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"
#include "src/failures.h"

namespace stampbak {

// Reads the run's parameters, the program's own name not among them.
using ParameterReader = std::function<std::vector<std::string>()>;

// One whole run from reading the parameters to the exit status; failures
// that end the run, exhausted memory included, are caught here and nowhere
// else.
ExitStatus RunProgram(platform::System& system, const ParameterReader& readParameters);

}  // namespace stampbak
