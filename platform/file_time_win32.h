#pragma once

#include <windows.h>

#include <string>

#include "platform/file_system.h"

namespace platform {

// The last-write time of what the path names, by its exact name: a name
// with "?" in it is never taken for a wildcard.
FileTimeLookup FileTimeOf(const std::string& path);

}  // namespace platform
