#pragma once

// Everything the program asks of the operating system, in one place. Each
// platform implements it in whole files of its own, picked by CMake:
// *_posix.cpp and *_win32.cpp. Exhausted memory inside any call comes out
// as std::bad_alloc, like an allocation of our own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dos_date_time.h"

namespace platform {

// ---- The process

// What the process was started with, for the parts of the layer that must
// know it.
struct ProcessStart {
  // False when descriptor 1 was closed; it then holds /dev/null and must
  // not be taken for a report sink.
  bool StandardOutputGiven = true;
  // The descriptor limits our caller set, for the archiver; negative where
  // the platform has none.
  long long CallerDescriptorLimit = -1;
  long long CallerDescriptorHardLimit = -1;
};

// Readies the process for an unattended run: locale, time zone, signals,
// standard descriptors and limits. Called once, first thing. From then on
// a signal that asks the process to end (POSIX) is kept for the run to see
// at its next step, and passed on to a program RunHidden runs.
ProcessStart PrepareProcess();

// Whether a signal asked the run to end; asked once per entry, so cheap.
bool EndRequested();
// The name of the signal that asked the run to end; empty when none came.
std::string EndingSignal();

// The raw command line where the platform hands over one (Windows); none
// where it hands over an argument vector.
std::optional<std::string> RawCommandLine();

// The position of the character after the one at pos: one byte, or two for
// a double-byte character of the active code page.
std::size_t NextCharacter(std::string_view text, std::size_t pos);

// The executable's file name without its directory.
std::string ModuleName();

// ---- Time, environment, names

LocalTime Now();
// Milliseconds since the system started; wraps after about 49.7 days.
std::uint32_t TickCount();

// The variable's whole value; empty when it is absent.
std::string EnvironmentVariable(const std::string& name);
// The temporary directory to use when TEMP is absent or empty.
std::string FallbackTempDirectory();
// A number from the system's random source, for names nobody can guess;
// none when the source fails.
std::optional<std::uint32_t> RandomNumber();

// Lowers every capital of the active single-byte code page in place. Names
// and mask lists both go through this one mapping, so they always agree.
void LowerCaseInPlace(char* data, std::size_t size);
// Whether lowering byte by byte gives what lowering the whole text gives;
// not so where the code page has two-byte characters.
bool LowerCaseIsPerByte();

// ---- Standard output and error

// What the process's standard output turned out to be when the report
// channel first looked at it.
enum class OutputKind {
  None,        // no usable standard output: the report is dropped
  CharDevice,  // a terminal or other character device: flushed at line ends
  File,        // a regular file
  Pipe,        // a pipe or socket
};

// The process's standard output, as the report channel sees it.
class ReportOutput {
 public:
  virtual ~ReportOutput() = default;
  // Looks at standard output; may be asked again after it answered None.
  virtual OutputKind Open() = 0;
  // Writes all bytes; the system's reason when they could not all be
  // written, else empty.
  virtual std::string Write(const char* data, std::size_t size) = 0;
  // Whether warnings land in the same file or pipe as the report, as far
  // as the platform can tell.
  virtual bool SharedWithDiagnostics() = 0;
};

ReportOutput& StandardOutput(const ProcessStart& start);

// How a line of text for a person ends here: "\n", or "\r\n" on Windows.
extern const char* const TextLineEnd;

// One warning line for the operator on standard error; the line end is
// added here.
void WriteWarning(std::string_view line);
// The text of a failure that ended the run, shown to whoever can see it.
void ShowFailure(std::string_view text);

// ---- Files and directories

// The one separator of every path the program forms, prints or hands on.
extern const char PathDelimiter;
// Whether the file system takes names that differ only in case for one.
extern const bool NamesIgnoreCase;
// The longest path, relative to the source, that the archiver can open.
extern const std::size_t LongestArchivablePath;

enum class LookupStatus {
  Found,
  Missing,      // nothing has that name (any more)
  NameTooLong,  // the path is longer than the platform can look up
  Directory,    // the name is a directory
  Failed,       // any other reason, given in Reason
};

// A point in time in 100 ns steps since the platform's epoch, as its file
// systems stamp files. A later moment is a larger number.
using ChangeMoment = std::int64_t;
constexpr ChangeMoment kMomentsPerSecond = 10'000'000;
// Now, by the clock the file system stamps changes with.
ChangeMoment CurrentMoment();

// Who besides us could have made or changed a file.
enum class Ownership {
  Ours,           // we or the administrator own it, and only the owner may write it
  AnotherUsers,   // another user owns it
  OthersMayWrite  // others than its owner may write it
};

struct FileTimeLookup {
  LookupStatus Status = LookupStatus::Failed;
  DosDateTime Packed = 0;  // local last-write time, when Found
  std::string Reason;      // the platform's words, for a warning
  // When Found: when it last came to be as it is where it is (written,
  // copied, unpacked, moved or renamed into place, whatever last-write
  // time it kept).
  ChangeMoment Changed = 0;
  ChangeMoment Written = 0;  // the last-write time, when Found
  std::uint64_t Size = 0;    // in bytes, when Found
};

enum class EntryKind {
  Directory,
  File,           // a regular file, or a link to one
  DirectoryLink,  // a link or junction to a directory: never entered
  Unarchivable,   // a FIFO, socket, device or dangling link
  Unknown,        // the listing did not say and the look-up failed
};

struct DirectoryEntry {
  std::string Name;  // without any path; "." and ".." may come too
  EntryKind Kind = EntryKind::File;
};

struct ListingOpen;

// One open enumeration of a directory's entries, in the platform's order.
class DirectoryListing {
 public:
  virtual ~DirectoryListing() = default;
  // The next entry; false at the end, and on a failure, which ends it too.
  virtual bool Next(DirectoryEntry& entry) = 0;
  // Why the listing ended early; empty when it reached the end.
  virtual const std::string& Failure() const = 0;
  // The last-write time of an entry of this directory, found by its name
  // as LastWriteTime finds it by its full path, only cheaper.
  virtual FileTimeLookup LastWriteTime(const std::string& name) = 0;
  // Opens the subdirectory with this entry name from this directory, never
  // through a link: an entry swapped for a link since it was listed fails
  // to open. This listing must outlive the one it returns.
  virtual ListingOpen OpenSubdirectory(const std::string& name) = 0;
  // Tells this directory from any other however its path was spelled.
  virtual std::string Identity() = 0;
};

struct ListingOpen {
  std::unique_ptr<DirectoryListing> Listing;  // none when it cannot be opened
  std::string Reason;
};

// A file open for writing, closed when the object goes.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes up to size bytes; returns how many were written.
  virtual std::size_t Write(const void* data, std::size_t size) = 0;
  // Asks the system to put what was written on the disk; false when it
  // could not.
  virtual bool Flush() = 0;
  // Closes the file; false when what was written may not have reached it.
  virtual bool Close() = 0;
  // Why the last write or the close failed.
  virtual const std::string& Failure() const = 0;
};

enum class CreateStatus { Created, NameTaken, Failed };

struct FileCreation {
  std::unique_ptr<WritableFile> File;  // when Created
  CreateStatus Status = CreateStatus::Failed;
  std::string Reason;  // the system's words, when Failed
};

// Held while a run may write an archive into a directory; released when
// the object goes.
class DirectoryLock {
 public:
  virtual ~DirectoryLock() = default;
  // The descriptor a child inherits to hold the lock as long as it runs;
  // -1 where the platform ends the child with us instead.
  virtual int InheritableDescriptor() const { return -1; }
};

enum class LockStatus { Locked, Busy, Unavailable };

struct LockAttempt {
  std::unique_ptr<DirectoryLock> Lock;  // when Locked
  LockStatus Status = LockStatus::Unavailable;
  std::string Reason;  // why it is Unavailable
};

bool IsDirectory(const std::string& path);
// Creates one directory whose parent exists; the system's reason when
// that fails for any cause but the name being taken, else empty.
std::string MakeDirectory(const std::string& path);
// The last-write time of what the path names, a linked file's included.
FileTimeLookup LastWriteTime(const std::string& path);
// Opens the directory the path names, through a link if it is one. A
// directory with no entries opens and lists nothing.
ListingOpen OpenDirectory(const std::string& directory);

// Workers that open, list and look up whole directories ahead of the walk,
// in the order it will want them, so that a cold disk or a share has
// several requests to answer at once. The listings the walk gets say the
// same as without them, and fail at the same places.
struct ReadAhead {
  int Workers = 0;  // none: the walk reads alone
  // A fixed plan, for tests: the workers run only while the walk waits for
  // them, so that every call comes in the same order on every run.
  bool Lockstep = false;
  // The names the walk takes: the files it looks up, the subdirectories it
  // enters. Called on the workers' threads, so it must own what it reads.
  std::function<bool(std::string_view)> Takes;
  // Called on the walk's thread every few milliseconds while it waits for
  // a worker; it may throw to end the walk.
  std::function<void()> WhileWaiting;
};

// OpenDirectory, with workers reading ahead of the walk below it where the
// platform has them.
ListingOpen OpenDirectory(const std::string& directory, const ReadAhead& ahead);
// Creates a new file that only this user can read, never through a link
// and never over an existing name.
FileCreation CreateNewFile(const std::string& path);
// What a path names, looked at without following a link.
enum class NodeKind { Missing, PlainFile, Link, Other, Failed };

struct NodeLookup {
  NodeKind Kind = NodeKind::Failed;
  std::uint64_t Size = 0;  // of a plain file
  Ownership Owner = Ownership::Ours;
  std::string Reason;            // the system's words, when Failed
  bool EveryoneMayRead = false;  // as far as the platform tells
};

NodeLookup LookAt(const std::string& path);

struct PlainFileRead {
  NodeLookup Node;      // Failed too when the content could not be read
  std::string Content;  // when Node is a plain file
};

// The content of a plain file of at most `most` bytes, opened without
// following a link; a larger one is Failed.
PlainFileRead ReadPlainFile(const std::string& path, std::size_t most);

// Hands the content of the file the path names, through a link as the
// archiver reads it, to `piece` bit by bit; the system's reason when it
// cannot be read to its end, else empty.
std::string ReadInPieces(const std::string& path,
                         const std::function<void(std::string_view)>& piece);

// Puts a plain file (never through a link) on the disk; what it is, and
// Failed with the reason when the flush failed.
NodeLookup FlushPlainFile(const std::string& path);
// Puts the directory's entries (a rename into it) on the disk; the
// system's reason when that fails, else empty.
std::string FlushDirectory(const std::string& directory);

// Removes a file; the system's reason when that fails, else empty.
std::string RemoveFile(const std::string& path);
// Renames a file, replacing any file of the new name; the system's
// reason when that fails, else empty.
std::string RenameFile(const std::string& from, const std::string& to);
// Renames a file to a name that is free, never replacing one; NameTaken
// when it is not free.
struct RenameOutcome {
  CreateStatus Status = CreateStatus::Failed;  // Created: renamed
  std::string Reason;
};
RenameOutcome RenameToFreeName(const std::string& from, const std::string& to);
// The path itself when absolute, else resolved against the working
// directory; empty when that cannot be done (the directory is gone).
std::string AbsolutePath(const std::string& path);
// The directory as the system resolves it, every link in it followed, with
// its final separator; AbsolutePath's answer where it cannot be resolved.
std::string ResolvedPath(const std::string& directory);
// Why a private file in this directory could be swapped by another user
// (it or a directory above it is owned by one, or writable by others
// without the sticky bit), naming that directory; empty when it cannot.
std::string SharedDirectoryRisk(const std::string& directory);
// Why others could add a name of their own to the directory itself (it is
// writable by its group or by others, whether sticky or not); empty when
// they cannot, or where the platform cannot tell.
std::string OthersMayAddNames(const std::string& directory);
// Why we could not make a file in the directory, as far as the platform
// tells without making one; empty when we could, or where it cannot tell.
std::string UnwritableDirectory(const std::string& directory);
// An exclusive lock on the directory itself, without waiting and without
// writing anything into it.
LockAttempt TryLock(const std::string& directory);

// ---- The archiver

struct ProcessOutcome {
  bool Started = false;
  // The exit code when it started (128 + the signal for one killed by a
  // signal), else the platform's error code for the failed start.
  std::uint32_t Code = 0;
  // The name of the signal that asked us to end while the program ran, and
  // which it was passed on to; empty when none came.
  std::string Interruption;
  // Why it did not start, or how it ended when not with status 0: "was not
  // found on PATH", "ended with status 3", "was ended by SIGKILL".
  std::string Reason;
};

// Starts the program, found by the platform's program search, with the
// arguments, in the working directory: hidden, at the lowest priority,
// with no standard input or output and no handle of ours but the lock,
// which it holds for as long as it runs. Waits for it.
ProcessOutcome RunHidden(const ProcessStart& start, const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& workingDirectory, const DirectoryLock* lock);

}  // namespace platform
