#include "platform/win32.h"

namespace platform {
namespace {

// A name with a blank or a tab reaches the program whole only in double
// quotes; for the list file they stand after the "@".
std::string CommandLineToken(const std::string& token) {
  if (token.find_first_of(" \t") == std::string::npos) return token;
  if (!token.empty() && token.front() == '@') return "@\"" + token.substr(1) + "\"";
  return "\"" + token + "\"";
}

// A job that ends the archiver when our process ends, however it ends, so
// that a task the scheduler stops never leaves an archiver writing alone.
HANDLE JobEndingWithUs() {
  const HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

}  // namespace

// The program search of CreateProcessA looks in our own directories and the
// system's, never in the child's working directory, so unlike the POSIX
// layer nothing needs to be searched here before the start.
ProcessOutcome RunHidden(const ProcessStart& /*start*/, const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& workingDirectory,
                         const DirectoryLock* /*lock: ends with us, with the job*/) {
  std::string commandLine = program;
  for (const std::string& argument : arguments) commandLine += " " + CommandLineToken(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                      IDLE_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, workingDirectory.c_str(),
                      &startup, &process)) {
    const DWORD error = GetLastError();
    return {false, error, "",
            error == ERROR_FILE_NOT_FOUND ? "was not found on PATH"
                                          : "could not be started: " + ErrorText(error)};
  }
  const HANDLE job = JobEndingWithUs();
  if (job != nullptr) AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  if (job != nullptr) CloseHandle(job);
  return {true, code, "", code == 0 ? "" : "ended with status " + std::to_string(code)};
}

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

// A task the scheduler ends is ended with the archiver in its job.
bool EndRequested() { return false; }

std::string EndingSignal() { return ""; }

}  // namespace platform
