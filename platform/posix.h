#pragma once

#include <dirent.h>

#include <cerrno>
#include <ctime>
#include <limits>
#include <new>
#include <string>

#include "platform/platform.h"

// The POSIX layer's parts that its files share.
namespace platform {

// Packs UTC seconds as local time. The C library's conversion is asked
// once an hour: where the hour's first and last second have the same
// offset from UTC, every second of it is that offset away; an hour that
// holds a change of daylight-saving time is asked second by second.
class LocalTimeCache {
 public:
  DosDateTime Pack(std::time_t utc);

 private:
  std::time_t hour_ = -1;
  long offset_ = 0;
  bool uniform_ = false;
  std::time_t day_ = std::numeric_limits<std::time_t>::min();  // local midnight of date_
  LocalTime date_;
};

// Exhausted memory inside a call comes out as std::bad_alloc, like an
// allocation of our own.
inline void ThrowIfOutOfMemory(int error) {
  if (error == ENOMEM) throw std::bad_alloc();
}

// A file system's time stamp as a moment.
ChangeMoment ChangeMomentOf(const timespec& time);

// The last-write time of a name relative to an open directory descriptor
// (AT_FDCWD for the working directory), a linked file's target's included.
FileTimeLookup FileTimeAt(int directoryFd, const char* name, LocalTimeCache& times);

// What an entry of an open directory is, asked of the file system only
// where the entry does not say (its type DT_UNKNOWN, or a link).
EntryKind KindOf(int dirFd, unsigned char type, const char* name);
inline EntryKind KindOf(int dirFd, const dirent& found) {
  return KindOf(dirFd, found.d_type, found.d_name);
}

// A listing of an open directory descriptor, which it then owns; the walk
// reads it alone.
ListingOpen AdoptDirectory(int fd);
// A directory that could not be opened, with the system's words (exhausted
// memory thrown as std::bad_alloc).
ListingOpen OpenFailure(int error);
// The process or the system has no descriptor left.
bool OutOfDescriptors(int error);

// Writes the bytes to a descriptor, again after a signal, a partial write
// or a full non-blocking one; returns how many were written before the
// first failure.
std::size_t WriteFully(int fd, const void* data, std::size_t size);

}  // namespace platform
