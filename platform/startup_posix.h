#pragma once

namespace platform {

// False when the process was started with descriptor 1 closed; the
// descriptor then holds /dev/null and must not be taken for a report sink.
bool StandardOutputWasGiven();

}  // namespace platform
