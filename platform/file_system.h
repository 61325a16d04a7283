#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/dos_date_time.h"

// Everything the program asks of the file system. Exhausted memory inside
// any call comes out as std::bad_alloc, like an allocation of our own.
namespace platform {

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

// When a file last came to be as it is where it is: written, copied,
// unpacked, moved or renamed into place, whatever last-write time it kept.
// Only ever compared with another; a later moment is a larger number.
using ChangeMoment = std::int64_t;

struct FileTimeLookup {
  LookupStatus Status = LookupStatus::Failed;
  DosDateTime Packed = 0;  // local last-write time, when Found
  std::string Reason;      // the platform's words, for a warning
  ChangeMoment Changed = 0;  // when Found
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
  // as FileSystem::LastWriteTime finds it by its full path, only cheaper.
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
  // Closes the file; false when what was written may not have reached it.
  virtual bool Close() = 0;
};

enum class CreateStatus { Created, NameTaken, Failed };

struct FileCreation {
  std::unique_ptr<WritableFile> File;  // when Created
  CreateStatus Status = CreateStatus::Failed;
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

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool IsDirectory(const std::string& path) = 0;
  // Creates one directory whose parent exists; the system's reason when
  // that fails for any cause but the name being taken, else empty.
  virtual std::string MakeDirectory(const std::string& path) = 0;
  // The last-write time of what the path names, a linked file's included.
  virtual FileTimeLookup LastWriteTime(const std::string& path) = 0;
  // Opens the directory the path names, through a link if it is one. A
  // directory with no entries opens and lists nothing.
  virtual ListingOpen OpenDirectory(const std::string& directory) = 0;
  // Creates a new file that only this user can read, never through a link
  // and never over an existing name.
  virtual FileCreation CreateNewFile(const std::string& path) = 0;
  // Removes a file; the system's reason when that fails, else empty.
  virtual std::string RemoveFile(const std::string& path) = 0;
  // Renames a file, replacing any file of the new name; the system's
  // reason when that fails, else empty.
  virtual std::string RenameFile(const std::string& from, const std::string& to) = 0;
  // The path itself when absolute, else resolved against the working
  // directory; empty when that cannot be done (the directory is gone).
  virtual std::string AbsolutePath(const std::string& path) = 0;
  // Why a private file in this directory could be swapped by another user
  // (it or a directory above it is owned by one, or writable by others
  // without the sticky bit), naming that directory; empty when it cannot.
  virtual std::string SharedDirectoryRisk(const std::string& directory) = 0;
  // An exclusive lock on the directory itself, without waiting and without
  // writing anything into it.
  virtual LockAttempt TryLock(const std::string& directory) = 0;
};

FileSystem& SystemFileSystem();

}  // namespace platform
