#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/system.h"

// Doubles of the operating-system layer for tests: each records what the
// program asked of it and can be told to fail, so that fault paths are
// tested without races.
namespace platform::fake {

class FakeReportOutput final : public ReportOutput {
 public:
  OutputKind kind = OutputKind::File;
  int opens = 0;
  std::vector<std::string> writes;      // the bytes of every write call
  std::set<std::size_t> failingWrites;  // indices of write calls that fail
  bool sharedWithDiagnostics = false;

  OutputKind Open() override;
  bool Write(const char* data, std::size_t size) override;
  bool SharedWithDiagnostics() override { return sharedWithDiagnostics; }
  // Everything that the successful writes delivered.
  std::string Delivered() const;
};

class FakeDiagnostics final : public Diagnostics {
 public:
  std::vector<std::string> warnings;
  std::vector<std::string> failures;

  void Warn(std::string_view line) override { warnings.emplace_back(line); }
  void ShowFailure(std::string_view text) override { failures.emplace_back(text); }
  std::string ModuleName() override { return "stampbak"; }
};

class FakeClock final : public Clock {
 public:
  LocalTime now{2026, 12, 6, 1, 30, 54};
  std::uint32_t ticks = 1234;

  LocalTime Now() override { return now; }
  std::uint32_t TickCount() override { return ticks; }
};

class FakeEnvironment final : public Environment {
 public:
  std::map<std::string, std::string> variables;
  std::string fallback = std::string(1, PathDelimiter) + "fallback" + PathDelimiter;

  std::uint32_t random = 5000;  // counts up from here

  std::string Variable(const std::string& name) override;
  std::string FallbackTempDirectory() override { return fallback; }
  std::uint32_t RandomNumber() override { return random++; }
};

// An in-memory tree of directories and files. Paths use PathDelimiter; a
// trailing delimiter names the same directory as the path without it.
class FakeFileSystem final : public FileSystem {
 public:
  std::set<std::string> directories;
  std::map<std::string, FileTimeLookup> files;
  std::vector<std::string> queried;  // every IsDirectory path, in order
  std::vector<std::string> createAttempts;
  // Every call throws std::bad_alloc, as an allocation failing inside it would.
  bool outOfMemory = false;
  // Files made by CreateNewFile, with what was written to them so far.
  std::map<std::string, std::string> created;
  std::vector<std::string> removed;
  bool creationFails = false;
  std::size_t writableBytes = std::string::npos;  // later bytes are not written
  bool closeFails = false;
  std::string workingDirectory = std::string(1, PathDelimiter) + "cwd";  // empty: gone
  std::string sharedDirectoryRisk;

  bool IsDirectory(const std::string& path) override;
  void MakeDirectory(const std::string& path) override;
  FileTimeLookup LastWriteTime(const std::string& path) override;
  FileCreation CreateNewFile(const std::string& path) override;
  void RemoveFile(const std::string& path) override;
  std::string AbsolutePath(const std::string& path) override;
  std::string SharedDirectoryRisk(const std::string& /*directory*/) override {
    return sharedDirectoryRisk;
  }
};

// Lists what AddDirectory and AddEntry put in, in that order.
class FakeDirectoryEnumerator final : public DirectoryEnumerator {
 public:
  explicit FakeDirectoryEnumerator(FakeFileSystem& files) : files(files) {}
  FakeFileSystem& files;  // where the listed files' times come from
  // Entries by directory path, without a trailing delimiter.
  std::map<std::string, std::vector<DirectoryEntry>> entries;
  // Directories that cannot be opened, with the status to give.
  std::map<std::string, LookupStatus> unreadable;
  std::vector<std::string> opened;
  // Another spelling of a directory: the same identity.
  std::map<std::string, std::string> aliases;

  ListingOpen Open(const std::string& directory) override;
};

class FakeProcessLauncher final : public ProcessLauncher {
 public:
  struct Call {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDirectory;
    bool lockHandedOn = false;
  };
  std::vector<Call> calls;
  ProcessOutcome outcome{true, 0, ""};
  // Runs at the start, as the program would, when set.
  std::function<void(const Call&)> whileRunning;

  ProcessOutcome RunHidden(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory, const DirectoryLock* lock) override;
};

class FakeDirectoryLocker final : public DirectoryLocker {
 public:
  LockStatus status = LockStatus::Locked;
  std::vector<std::string> locked;  // directories locked and not yet released

  LockAttempt TryLock(const std::string& directory) override;
};

// The whole layer made of doubles.
struct FakeSystem {
  FakeReportOutput output;
  FakeDiagnostics diagnostics;
  FakeClock clock;
  FakeFileSystem files;
  FakeDirectoryEnumerator directories{files};
  FakeEnvironment environment;
  FakeProcessLauncher processes;
  FakeDirectoryLocker locks;

  System AsSystem() {
    return System{output, diagnostics, clock, files, directories, environment, processes, locks};
  }
  // A directory that lists nothing yet, as an entry of its parent.
  void AddDirectory(const std::string& path);
  // An entry of its parent directory; a file also gets the given time.
  void AddEntry(const std::string& path, EntryKind kind, DosDateTime packed = 0);
};

}  // namespace platform::fake
