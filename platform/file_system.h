#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/dos_date_time.h"

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
  OutOfMemory,
  Failed,  // any other reason, given in Reason
};

struct FileTimeLookup {
  LookupStatus Status = LookupStatus::Failed;
  DosDateTime Packed = 0;  // local last-write time, when Found
  std::string Reason;      // the platform's words, for a warning
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
  std::string Reason;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool IsDirectory(const std::string& path) = 0;
  // Creates one directory whose parent exists; the outcome is not reported.
  virtual void MakeDirectory(const std::string& path) = 0;
  // The last-write time of what the path names, a linked file's included.
  virtual FileTimeLookup LastWriteTime(const std::string& path) = 0;
  // Creates a new file that only this user can read, never through a link
  // and never over an existing name.
  virtual FileCreation CreateNewFile(const std::string& path) = 0;
  // Removes a file; the outcome is not reported.
  virtual void RemoveFile(const std::string& path) = 0;
  // The path itself when absolute, else resolved against the working
  // directory; empty when that cannot be done (the directory is gone).
  virtual std::string AbsolutePath(const std::string& path) = 0;
  // Why a private file in this directory could be swapped by another user
  // (owned by one, or writable by others without the sticky bit); empty
  // when it cannot.
  virtual std::string SharedDirectoryRisk(const std::string& directory) = 0;
};

FileSystem& SystemFileSystem();

}  // namespace platform
