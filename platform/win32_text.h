#pragma once

#include <windows.h>

#include <string>

namespace platform {

// The system's words for an error code, without the trailing line end.
std::string ErrorText(DWORD code);

// Writes all bytes to a handle; false when they could not all be written.
bool WriteAll(HANDLE handle, const char* data, std::size_t size);

// A standard handle that can be written to: not missing, not invalid and of
// a known type.
bool IsUsable(HANDLE handle);

}  // namespace platform
