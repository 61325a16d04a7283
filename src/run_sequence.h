#pragma once

#include <string>
#include <vector>

#include "platform/system.h"

namespace stampbak {

// One whole run from the parameters to the exit status; failures that end
// the run are caught here and nowhere else.
int RunProgram(platform::System& system, const std::vector<std::string>& params);

}  // namespace stampbak
