#include "platform/process.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

// A name with a blank or a tab reaches the program whole only in double
// quotes; for the list file they stand after the "@".
std::string CommandLineToken(const std::string& token) {
  if (token.find_first_of(" \t") == std::string::npos) return token;
  if (!token.empty() && token.front() == '@') return "@\"" + token.substr(1) + "\"";
  return "\"" + token + "\"";
}

class Win32ProcessLauncher final : public ProcessLauncher {
 public:
  ProcessOutcome RunHidden(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory) override {
    std::string commandLine = program;
    for (const std::string& argument : arguments) commandLine += " " + CommandLineToken(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS,
                        nullptr, workingDirectory.c_str(), &startup, &process)) {
      return {false, GetLastError()};
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return {true, code};
  }
};

}  // namespace

ProcessLauncher& SystemProcessLauncher() {
  static Win32ProcessLauncher launcher;
  return launcher;
}

}  // namespace platform
