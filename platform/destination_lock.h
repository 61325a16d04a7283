#pragma once

#include <memory>
#include <string>

namespace platform {

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

class DirectoryLocker {
 public:
  virtual ~DirectoryLocker() = default;
  // An exclusive lock on the directory itself, without waiting and without
  // writing anything into it.
  virtual LockAttempt TryLock(const std::string& directory) = 0;
};

DirectoryLocker& SystemDirectoryLocker();

}  // namespace platform
