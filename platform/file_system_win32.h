#pragma once

#include <windows.h>

#include <string>

#include "platform/file_system.h"

// The Win32 file-system layer's parts, kept in files of their own.
namespace platform {

// The last-write time of what the path names, by its exact name: a name
// with "?" in it is never taken for a wildcard.
FileTimeLookup FileTimeOf(const std::string& path);

ListingOpen OpenListing(const std::string& directory);

LockAttempt LockDirectory(const std::string& directory);

}  // namespace platform
