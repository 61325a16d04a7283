#pragma once

#include "platform/file_system.h"

namespace platform {

// The last-write time of a name relative to an open directory descriptor
// (AT_FDCWD for the working directory), a linked file's target's included.
FileTimeLookup FileTimeAt(int directoryFd, const char* name);

}  // namespace platform
