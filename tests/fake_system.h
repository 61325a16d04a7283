#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/system.h"
#include "src/run.h"

// A double of the operating-system layer for the faults a real run cannot
// reach without races: failed writes, exhausted memory, files that vanish.
// Each part records what the program asked of it.
namespace stampbak::testing {

using platform::DirectoryEntry;
using platform::EntryKind;
using platform::FileTimeLookup;
using platform::LookupStatus;

class FakeReportOutput final : public platform::ReportOutput {
 public:
  platform::OutputKind kind = platform::OutputKind::File;
  int opens = 0;
  std::vector<std::string> writes;  // the bytes of every write call

  platform::OutputKind Open() override;
  bool Write(const char* data, std::size_t size) override;
  bool SharedWithDiagnostics() override { return false; }
  // Everything that the writes delivered.
  std::string Delivered() const;
};

class FakeDiagnostics final : public platform::Diagnostics {
 public:
  std::vector<std::string> warnings;
  std::vector<std::string> failures;

  void Warn(std::string_view line) override { warnings.emplace_back(line); }
  void ShowFailure(std::string_view text) override { failures.emplace_back(text); }
  std::string ModuleName() override { return "stampbak"; }
};

class FakeClock final : public platform::Clock {
 public:
  platform::LocalTime now{2026, 12, 6, 1, 30, 54};
  std::uint32_t ticks = 1234;

  platform::LocalTime Now() override { return now; }
  std::uint32_t TickCount() override { return ticks; }
};

class FakeEnvironment final : public platform::Environment {
 public:
  std::map<std::string, std::string> variables;
  std::uint32_t random = 5000;  // counts up from here

  std::string Variable(const std::string& name) override { return variables[name]; }
  std::string FallbackTempDirectory() override { return "/fallback/"; }
  std::uint32_t RandomNumber() override { return random++; }
};

// Files by full path, with the look-up of their time; a directory lists
// the files directly in it, in name order.
class FakeFileSystem final : public platform::FileSystem {
 public:
  std::map<std::string, FileTimeLookup> times;
  bool outOfMemory = false;  // every listing throws, as an allocation inside it would
  std::map<std::string, std::string> created;  // by CreateNewFile, with what was written
  std::vector<std::string> removed;
  bool creationFails = false;
  std::size_t writableBytes = std::string::npos;  // later bytes are not written
  bool closeFails = false;
  std::string workingDirectory = "/cwd";  // empty: gone

  bool IsDirectory(const std::string& path) override { return !Entries(path).empty(); }
  void MakeDirectory(const std::string& /*path*/) override {}
  FileTimeLookup LastWriteTime(const std::string& path) override;
  platform::ListingOpen OpenDirectory(const std::string& directory) override;
  platform::FileCreation CreateNewFile(const std::string& path) override;
  void RemoveFile(const std::string& path) override { removed.push_back(path); }
  std::string AbsolutePath(const std::string& path) override;
  std::string SharedDirectoryRisk(const std::string& /*directory*/) override { return ""; }
  platform::LockAttempt TryLock(const std::string& /*directory*/) override {
    return {std::make_unique<platform::DirectoryLock>(), platform::LockStatus::Locked, ""};
  }
  std::vector<DirectoryEntry> Entries(const std::string& directory) const;
};

class FakeProcessLauncher final : public platform::ProcessLauncher {
 public:
  std::vector<std::vector<std::string>> calls;  // the arguments of each

  platform::ProcessOutcome RunHidden(const std::string& program,
                                     const std::vector<std::string>& arguments,
                                     const std::string& workingDirectory,
                                     const platform::DirectoryLock* lock) override;
};

// A run's context over the doubles: its report and warnings are there to
// read afterwards.
struct FakeRun {
  FakeReportOutput output;
  FakeDiagnostics diagnostics;
  FakeClock clock;
  FakeFileSystem files;
  FakeEnvironment environment;
  FakeProcessLauncher processes;
  platform::System system{output, diagnostics, clock, files, environment, processes};
  RunSettings settings;
  ReportChannel report{output};

  stampbak::Run Context() { return {settings, system, report}; }
  // Everything the report delivered so far.
  std::string Report() {
    report.Close();
    return output.Delivered();
  }
};

}  // namespace stampbak::testing
