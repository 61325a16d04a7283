#include <windows.h>

#include "platform/lower_case.h"

namespace platform {

// The ANSI code page's own mapping, accented capitals included.
void LowerCaseInPlace(char* data, std::size_t size) {
  if (size > 0) CharLowerBuffA(data, static_cast<DWORD>(size));
}

bool LowerCaseIsPerByte() {
  CPINFO info{};
  return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
}

}  // namespace platform
