#pragma once

#include <string>

#include "platform/file_system.h"

namespace stampbak::testing {

// A path written with "/" in the form this platform uses.
inline std::string P(std::string path) {
  for (char& c : path) {
    if (c == '/') c = platform::PathDelimiter;
  }
  return path;
}

}  // namespace stampbak::testing
