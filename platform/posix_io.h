#pragma once

#include <cstddef>

namespace platform {

// Writes the bytes to a descriptor, again after a signal or a partial
// write; returns how many were written before the first failure.
std::size_t WriteFully(int fd, const void* data, std::size_t size);

}  // namespace platform
