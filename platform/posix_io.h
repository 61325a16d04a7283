#pragma once

#include <cstddef>

namespace platform {

// Writes the bytes to a descriptor, again after a signal, a partial write
// or a full non-blocking one; returns how many were written before the
// first failure.
std::size_t WriteFully(int fd, const void* data, std::size_t size);

}  // namespace platform
