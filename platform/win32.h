#pragma once

#include <windows.h>

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

// A standard handle that can be written to: not missing, not invalid and of
// a known type.
bool IsUsable(HANDLE handle);

}  // namespace platform
