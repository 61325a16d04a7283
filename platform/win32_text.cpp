#include "platform/win32_text.h"

namespace platform {

std::string ErrorText(DWORD code) {
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == '.')) --n;
  if (n == 0) return "error " + std::to_string(code);
  return std::string(buffer, n);
}

std::size_t WriteFully(HANDLE handle, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t written = 0;
  while (written < size) {
    const std::size_t rest = size - written;
    const DWORD chunk = rest > 0x40000000 ? 0x40000000 : static_cast<DWORD>(rest);
    DWORD n = 0;
    if (!WriteFile(handle, bytes + written, chunk, &n, nullptr) || n == 0) break;
    written += n;
  }
  return written;
}

bool IsUsable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace platform
