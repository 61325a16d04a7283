#include <cctype>

#include "platform/lower_case.h"

namespace platform {

// The C library's single-byte mapping under the locale chosen at start;
// in a UTF-8 locale that lowers A to Z only.
void LowerCaseInPlace(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(data[i])));
  }
}

// The C library lowers single bytes by definition.
bool LowerCaseIsPerByte() { return true; }

}  // namespace platform
