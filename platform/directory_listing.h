#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace platform {

enum class EntryKind {
  Directory,
  File,           // a regular file, or a link to one
  DirectoryLink,  // a link or junction to a directory: never entered
  Unarchivable,   // a FIFO, socket, device or dangling link
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
  // The next entry; false at the end, and on a failure, which ends it alike.
  virtual bool Next(DirectoryEntry& entry) = 0;
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
  LookupStatus Status = LookupStatus::Found;
  std::string Reason;
};

class DirectoryEnumerator {
 public:
  virtual ~DirectoryEnumerator() = default;
  // Opens the directory the path names, through a link if it is one. A
  // directory with no entries opens and lists nothing.
  virtual ListingOpen Open(const std::string& directory) = 0;
};

DirectoryEnumerator& SystemDirectoryEnumerator();

}  // namespace platform
