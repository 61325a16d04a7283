#include "platform/file_system_win32.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

class HandleLock final : public DirectoryLock {
 public:
  explicit HandleLock(HANDLE handle) : handle_(handle) {}
  ~HandleLock() override { CloseHandle(handle_); }
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

 private:
  HANDLE handle_;
};

}  // namespace

// The directory held open for adding files and shared only for reading and
// deleting: a second run's open fails with a sharing violation, while
// listing the directory and creating the archive in it still work.
LockAttempt LockDirectory(const std::string& directory) {
  const HANDLE handle =
      CreateFileA(directory.c_str(), FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    return {std::make_unique<HandleLock>(handle), LockStatus::Locked, ""};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION) return {nullptr, LockStatus::Busy, ""};
  return {nullptr, LockStatus::Unavailable, ErrorText(error)};
}

}  // namespace platform
