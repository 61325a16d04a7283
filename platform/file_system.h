#pragma once

#include <string>

#include "platform/dos_date_time.h"

namespace platform {

// The one separator of every path the program forms, prints or hands on.
extern const char PathDelimiter;

enum class LookupStatus {
  Found,
  Missing,      // nothing has that name (any more)
  NameTooLong,  // the path is longer than the platform can look up
  Directory,    // the name is a directory
  OutOfMemory,
  Failed,       // any other reason, given in Reason
};

struct FileTimeLookup {
  LookupStatus Status = LookupStatus::Failed;
  DosDateTime Packed = 0;  // local last-write time, when Found
  std::string Reason;      // the platform's words, for a warning
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool IsDirectory(const std::string& path) = 0;
  // Creates one directory whose parent exists; the outcome is not reported.
  virtual void CreateDirectory(const std::string& path) = 0;
  // The last-write time of what the path names, a linked file's included.
  virtual FileTimeLookup LastWriteTime(const std::string& path) = 0;
};

FileSystem& SystemFileSystem();

}  // namespace platform
