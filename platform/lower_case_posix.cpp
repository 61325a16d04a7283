#include <cctype>

#include "platform/lower_case.h"

namespace platform {

// A to Z always by their own rule, whatever the locale (a Turkish one
// would leave "I" as it is, or make it a dotless i); the other bytes by the
// C library's single-byte mapping under the locale chosen at start, which
// in a UTF-8 locale leaves them as they are.
void LowerCaseInPlace(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (c >= 'A' && c <= 'Z') {
      data[i] = static_cast<char>(c - 'A' + 'a');
    } else if (c >= 0x80) {
      data[i] = static_cast<char>(std::tolower(c));
    }
  }
}

// The C library lowers single bytes by definition.
bool LowerCaseIsPerByte() { return true; }

}  // namespace platform
