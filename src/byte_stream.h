#pragma once

#include <cstddef>

namespace stampbak {

// Where the list of selected files is written.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Writes up to count bytes; returns how many were written.
  virtual std::size_t Write(const void* data, std::size_t count) = 0;
};

}  // namespace stampbak
