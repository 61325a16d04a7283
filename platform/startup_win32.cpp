#include <windows.h>

#include "platform/startup.h"

namespace platform {

ProcessStart PrepareProcess() {
  // An unattended run must never stop at a "no disk in drive" dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return {};
}

std::optional<std::string> RawCommandLine() { return std::string(GetCommandLineA()); }

std::size_t NextCharacter(std::string_view text, std::size_t pos) {
  const char* next = CharNextA(text.data() + pos);
  const auto stepped = static_cast<std::size_t>(next - text.data());
  return stepped > pos ? stepped : pos + 1;
}

}  // namespace platform
