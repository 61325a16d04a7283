#include <windows.h>

#include "platform/lower_case.h"

namespace platform {

// The ANSI code page's own mapping, accented capitals included.
void LowerCaseInPlace(char* data, std::size_t size) {
  if (size > 0) CharLowerBuffA(data, static_cast<DWORD>(size));
}

}  // namespace platform
