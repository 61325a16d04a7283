#include "platform/diagnostics.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

// A message box on a desktop nobody sees would wait for ever, and the
// scheduler would skip every later run while it hangs.
bool OnVisibleWindowStation() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  return station != nullptr &&
         GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

class Win32Diagnostics final : public Diagnostics {
 public:
  void Warn(std::string_view line) override {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (!IsUsable(error)) return;
    std::string text(line);
    text += "\r\n";
    WriteFully(error, text.data(), text.size());
  }

  void ShowFailure(std::string_view text) override {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (IsUsable(error)) {
      WriteFully(error, text.data(), text.size());
      WriteFully(error, "\r\n", 2);
    } else if (OnVisibleWindowStation()) {
      const std::string shown(text);
      MessageBoxA(nullptr, shown.c_str(), "Application Error", MB_ICONERROR | MB_TASKMODAL);
    }
  }

  std::string ModuleName() override {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string full(path, n);
    return full.substr(full.find_last_of("\\/") + 1);
  }
};

}  // namespace

Diagnostics& SystemDiagnostics() {
  static Win32Diagnostics diagnostics;
  return diagnostics;
}

}  // namespace platform
