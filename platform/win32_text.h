#pragma once

#include <windows.h>

#include <string>

namespace platform {

// The system's words for an error code, without the trailing line end.
std::string ErrorText(DWORD code);

// Writes the bytes to a handle; returns how many were written before the
// first failure.
std::size_t WriteFully(HANDLE handle, const void* data, std::size_t size);

// A standard handle that can be written to: not missing, not invalid and of
// a known type.
bool IsUsable(HANDLE handle);

}  // namespace platform
