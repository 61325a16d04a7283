// The clock, the environment, standard output and error, and the lowering
// of names under Win32.
#include <windows.h>
// After windows.h, which it builds on.
#include <bcrypt.h>

#include <string>

#include "platform/win32.h"

namespace platform {

const char* const TextLineEnd = "\r\n";

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

LocalTime Now() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::uint32_t TickCount() { return GetTickCount(); }

// The size is asked first, so that a value of any length is read whole.
std::string EnvironmentVariable(const std::string& name) {
  const DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (size == 0) return "";
  std::string value(size, '\0');
  const DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

std::string FallbackTempDirectory() { return "c:\\windows\\temp\\"; }

std::optional<std::uint32_t> RandomNumber() {
  std::uint32_t number = 0;
  const NTSTATUS status = BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&number), sizeof number,
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status != 0) return std::nullopt;
  return number;
}

// The ANSI code page's own mapping, accented capitals included.
void LowerCaseInPlace(char* data, std::size_t size) {
  if (size > 0) CharLowerBuffA(data, static_cast<DWORD>(size));
}

bool LowerCaseIsPerByte() {
  CPINFO info{};
  return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
}

namespace {

class Win32ReportOutput final : public ReportOutput {
 public:
  OutputKind Open() override {
    handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return OutputKind::None;
    switch (GetFileType(handle_)) {
      case FILE_TYPE_CHAR: return OutputKind::CharDevice;
      case FILE_TYPE_DISK: return OutputKind::File;
      case FILE_TYPE_PIPE: return OutputKind::Pipe;
      default: return OutputKind::None;
    }
  }

  std::string Write(const char* data, std::size_t size) override {
    SetLastError(ERROR_SUCCESS);
    if (WriteFully(handle_, data, size) == size) return "";
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? ErrorText(error) : "nothing more was taken";
  }

  // Only disk files tell who they are: the same volume and file index.
  bool SharedWithDiagnostics() override {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    BY_HANDLE_FILE_INFORMATION out{};
    BY_HANDLE_FILE_INFORMATION err{};
    return IsUsable(error) && GetFileType(handle_) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(handle_, &out) && GetFileInformationByHandle(error, &err) &&
           out.dwVolumeSerialNumber == err.dwVolumeSerialNumber &&
           out.nFileIndexHigh == err.nFileIndexHigh && out.nFileIndexLow == err.nFileIndexLow;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A message box on a desktop nobody sees would wait for ever, and the
// scheduler would skip every later run while it hangs.
bool OnVisibleWindowStation() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  return station != nullptr &&
         GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void WriteWarning(std::string_view line) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (!IsUsable(error)) return;
  std::string text(line);
  text += "\r\n";
  WriteFully(error, text.data(), text.size());
}

void ShowFailure(std::string_view text) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsUsable(error)) {
    WriteFully(error, text.data(), text.size());
    WriteFully(error, "\r\n", 2);
  } else if (OnVisibleWindowStation()) {
    const std::string shown(text);
    MessageBoxA(nullptr, shown.c_str(), "Application Error", MB_ICONERROR | MB_TASKMODAL);
  }
}

std::string ModuleName() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string full(path, n);
  return full.substr(full.find_last_of("\\/") + 1);
}
ReportOutput& StandardOutput(const ProcessStart& /*start*/) {
  static Win32ReportOutput output;
  return output;
}

}  // namespace platform
