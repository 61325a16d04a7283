#include <new>

#include "platform/file_system_win32.h"
#include "platform/win32_text.h"

namespace platform {

const char PathDelimiter = '\\';
const bool NamesIgnoreCase = true;
// The ANSI calls take MAX_PATH characters, the terminator included; the
// look-up of a longer full path already fails, so the archiver never sees one.
const std::size_t LongestArchivablePath = MAX_PATH - 1;

namespace {

LookupStatus StatusOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:  // a name the code page could not represent
      return LookupStatus::Missing;
    case ERROR_FILENAME_EXCED_RANGE: return LookupStatus::NameTooLong;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: throw std::bad_alloc();
    default: return LookupStatus::Failed;
  }
}

// The local time packed to two seconds; a time the packed form cannot hold
// is clamped to its nearer end. The year is checked first: not every
// FileTimeToDosDateTime refuses the years after 2107 (Wine wraps them).
DosDateTime PackFileTime(const FILETIME& utc) {
  FILETIME local{};
  FileTimeToLocalFileTime(&utc, &local);
  SYSTEMTIME parts{};
  if (!FileTimeToSystemTime(&local, &parts) || parts.wYear > 2107) return kLatestDosDateTime;
  WORD date = 0;
  WORD time = 0;
  if (parts.wYear < 1980 || !FileTimeToDosDateTime(&local, &date, &time)) {
    return kEarliestDosDateTime;
  }
  return (static_cast<DosDateTime>(date) << 16) | time;
}

class Win32WritableFile final : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE handle) : handle_(handle) {}
  ~Win32WritableFile() override { Close(); }
  Win32WritableFile(const Win32WritableFile&) = delete;
  Win32WritableFile& operator=(const Win32WritableFile&) = delete;

  std::size_t Write(const void* data, std::size_t size) override {
    return handle_ != INVALID_HANDLE_VALUE ? WriteFully(handle_, data, size) : 0;
  }

  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

class Win32FileSystem final : public FileSystem {
 public:
  bool IsDirectory(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  void MakeDirectory(const std::string& path) override { CreateDirectoryA(path.c_str(), nullptr); }

  FileTimeLookup LastWriteTime(const std::string& path) override { return FileTimeOf(path); }

  ListingOpen OpenDirectory(const std::string& directory) override {
    return OpenListing(directory);
  }

  LockAttempt TryLock(const std::string& directory) override { return LockDirectory(directory); }

  FileCreation CreateNewFile(const std::string& path) override {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
      return {nullptr, taken ? CreateStatus::NameTaken : CreateStatus::Failed};
    }
    return {std::make_unique<Win32WritableFile>(handle), CreateStatus::Created};
  }

  void RemoveFile(const std::string& path) override { DeleteFileA(path.c_str()); }

  std::string AbsolutePath(const std::string& path) override {
    const bool unc = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
    const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    if (unc || drive) return path;
    const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return "";
    std::string full(size, '\0');
    const DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    return full;
  }

  // Left as it was: the temporary directory is the user's own profile's.
  std::string SharedDirectoryRisk(const std::string& /*directory*/) override { return ""; }
};

}  // namespace

FileTimeLookup FileTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    return {StatusOf(error), 0, ErrorText(error)};
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {LookupStatus::Directory, 0, "is a directory"};
  }
  return {LookupStatus::Found, PackFileTime(data.ftLastWriteTime), ""};
}

FileSystem& SystemFileSystem() {
  static Win32FileSystem files;
  return files;
}

}  // namespace platform
