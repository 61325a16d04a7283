#pragma once

#include <windows.h>

#include <new>
#include <string>

#include "platform/platform.h"

// The Win32 layer's parts that its files share.
namespace platform {

// The system's words for an error code, without the trailing line end.
std::string ErrorText(DWORD code);

// Writes the bytes to a handle; returns how many were written before the
// first failure.
std::size_t WriteFully(HANDLE handle, const void* data, std::size_t size);

// The change time of what the path names, or its creation time where it
// cannot be opened to ask.
ChangeMoment ChangeMomentOf(const std::string& path, const FILETIME& created);

// Exhausted memory inside a call comes out as std::bad_alloc, like an
// allocation of our own.
inline void ThrowIfOutOfMemory(DWORD error) {
  if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY) throw std::bad_alloc();
}

// A directory's search as started: its handle and first entry, or why it
// could not start.
struct FindStart {
  FindStart() = default;
  ~FindStart();
  FindStart(FindStart&& other) noexcept;
  FindStart(const FindStart&) = delete;
  FindStart& operator=(const FindStart&) = delete;
  FindStart& operator=(FindStart&&) = delete;

  // The next entry; false at the end, and on a failure, whose code is then
  // in `error` (0 at the end).
  bool Next(DirectoryEntry& entry, DWORD& error);

  HANDLE Find = INVALID_HANDLE_VALUE;  // none for an empty drive root
  WIN32_FIND_DATAW First{};
  bool Pending = true;  // First is still to be read
  DWORD Error = 0;      // why it could not start
};

// Starts the search of a directory whose path ends in the separator.
FindStart StartFind(const std::string& directory);
// The listing of a search started, or its failure.
ListingOpen ListFound(const std::string& directory, FindStart start);
// Tells a directory from any other however its path was spelled.
std::string IdentityOfDirectory(const std::string& directory);

// A standard handle that can be written to: not missing, not invalid and of
// a known type.
bool IsUsable(HANDLE handle);

}  // namespace platform
