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

// A standard handle that can be written to: not missing, not invalid and of
// a known type.
bool IsUsable(HANDLE handle);

}  // namespace platform
