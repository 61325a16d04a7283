#pragma once

namespace platform {

// False when the process was started with descriptor 1 closed; the
// descriptor then holds /dev/null and must not be taken for a report sink.
bool StandardOutputWasGiven();

// Gives a child the descriptor limit that our caller gave us.
void RestoreCallerLimits();

}  // namespace platform
