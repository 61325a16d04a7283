#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"

// The calls the read-ahead's workers make of the system, one file per
// platform behind them; how the workers share the work with the walk is
// the same everywhere.
namespace platform {

// A system's error code; 0 for none.
using SystemError = int;
// What a failed allocation of our own is recorded as.
extern const SystemError kOutOfMemoryError;
bool IsOutOfMemory(SystemError error);
// The process or the system has no handle or descriptor left.
bool IsShortOfHandles(SystemError error);
// The system's words for an error.
std::string ErrorWords(SystemError error);
// A directory that could not be opened, with the system's words
// (exhausted memory thrown as std::bad_alloc).
ListingOpen FailedOpen(SystemError error);

// What one thread keeps from look-up to look-up to make the next cheaper.
class LookUpMemory {
 public:
  virtual ~LookUpMemory() = default;
};
std::unique_ptr<LookUpMemory> NewLookUpMemory();

// The entries of a held directory in the platform's order, each with the
// number the listing gave its file (0 where it gives none).
class EntrySource {
 public:
  virtual ~EntrySource() = default;
  // The next entry; false at the end, or on a failure, whose code is then
  // in `error`.
  virtual bool Next(DirectoryEntry& entry, std::uint64_t& listed, SystemError& error) = 0;
};

class HeldDirectory;

struct DirectoryOpening {
  std::unique_ptr<HeldDirectory> Directory;  // none on a failure
  SystemError Error = 0;
  // What was opened is not the entry listed: something was swapped in.
  bool Swapped = false;
};

// A directory held open by the read-ahead, to list, to look up its files
// and to open its subdirectories from; let go when it goes.
class HeldDirectory {
 public:
  virtual ~HeldDirectory() = default;
  // Tells the directory from any other, as a listing's Identity does.
  virtual std::string Identity() const = 0;
  // Its entries, read once.
  virtual std::unique_ptr<EntrySource> Entries() = 0;
  // The subdirectory by the name and number it was listed with, never
  // through a link.
  virtual DirectoryOpening OpenChild(const std::string& name, std::uint64_t listed) const = 0;
  virtual FileTimeLookup LookUp(const std::string& name, LookUpMemory& memory) const = 0;
  // The subdirectory opened and listed as the walk alone opens it; the
  // failure's code in `error`.
  virtual ListingOpen OpenAlone(const std::string& name, SystemError& error) const = 0;
  // This directory, not read yet, for the walk to read alone.
  virtual ListingOpen ListAlone() = 0;
};

DirectoryOpening HoldDirectory(const std::string& directory);

// Whether the process may hold open the directories a read-ahead needs.
bool RoomForReadAhead();
// Calls `start`, which starts the workers, so that they take none of the
// signals that end a run: the walk's thread alone takes those.
void StartWorkersQuietly(const std::function<void()>& start);

}  // namespace platform
