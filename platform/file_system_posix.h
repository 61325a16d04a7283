#pragma once

#include <dirent.h>

#include <string>

#include "platform/file_system.h"

// The POSIX file-system layer's parts, kept in files of their own.
namespace platform {

// The last-write time of a name relative to an open directory descriptor
// (AT_FDCWD for the working directory), a linked file's target's included.
FileTimeLookup FileTimeAt(int directoryFd, const char* name);

ListingOpen OpenListing(const std::string& directory);

// What an entry of an open directory is, asked of the file system only
// where the entry does not say.
EntryKind KindOf(int dirFd, const dirent& found);

LockAttempt LockDirectory(const std::string& directory);

}  // namespace platform
