#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace platform {

const char PathDelimiter = '\\';
const bool NamesIgnoreCase = true;
// The ANSI calls take MAX_PATH characters, the terminator included; the
// look-up of a longer full path already fails, so the archiver never sees one.
const std::size_t LongestArchivablePath = MAX_PATH - 1;

namespace {

LookupStatus StatusOf(DWORD error) {
  ThrowIfOutOfMemory(error);
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:  // a name the code page could not represent
      return LookupStatus::Missing;
    case ERROR_FILENAME_EXCED_RANGE: return LookupStatus::NameTooLong;
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
  Win32WritableFile& operator=(Win32WritableFile&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }

  std::size_t Write(const void* data, std::size_t size) override {
    const std::size_t written =
        handle_ != INVALID_HANDLE_VALUE ? WriteFully(handle_, data, size) : 0;
    if (written < size) failure_ = ErrorText(GetLastError());
    return written;
  }

  bool Flush() override {
    if (handle_ != INVALID_HANDLE_VALUE && FlushFileBuffers(handle_)) return true;
    failure_ = ErrorText(handle_ != INVALID_HANDLE_VALUE ? GetLastError() : ERROR_INVALID_HANDLE);
    return false;
  }

  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    const bool closed = CloseHandle(handle_) != 0;
    if (!closed) failure_ = ErrorText(GetLastError());
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

  const std::string& Failure() const override { return failure_; }

 private:
  HANDLE handle_;
  std::string failure_;
};

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

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string MakeDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return "";
  return ErrorText(GetLastError());
}

// The object comes first: memory running out after the creation would
// leave the file behind.
FileCreation CreateNewFile(const std::string& path) {
  auto file = std::make_unique<Win32WritableFile>(INVALID_HANDLE_VALUE);
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return {nullptr, taken ? CreateStatus::NameTaken : CreateStatus::Failed, ErrorText(error)};
  }
  *file = Win32WritableFile(handle);
  return {std::move(file), CreateStatus::Created, ""};
}

std::string RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) ? "" : ErrorText(GetLastError());
}

std::string RenameFile(const std::string& from, const std::string& to) {
  const bool renamed = MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
  return renamed ? "" : ErrorText(GetLastError());
}

std::string AbsolutePath(const std::string& path) {
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
std::string SharedDirectoryRisk(const std::string& /*directory*/) { return ""; }

// Access control lists are not read here.
std::string OthersMayAddNames(const std::string& /*directory*/) { return ""; }

namespace {

ChangeMoment MomentOf(const FILETIME& time) {
  return static_cast<ChangeMoment>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

}  // namespace

ChangeMoment CurrentMoment() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return MomentOf(now);
}

// The change time, which a copy, a move or a rename sets as on POSIX,
// asked of the file itself; where it cannot be opened for that, its
// creation time, which a copy sets but a move keeps.
ChangeMoment ChangeMomentOf(const std::string& path, const FILETIME& created) {
  const HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  FILE_BASIC_INFO basic{};
  const bool known = handle != INVALID_HANDLE_VALUE &&
                     GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return known ? basic.ChangeTime.QuadPart : MomentOf(created);
}

FileTimeLookup LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    return {StatusOf(error), 0, ErrorText(error)};
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {LookupStatus::Directory, 0, "is a directory"};
  }
  return {LookupStatus::Found,
          PackFileTime(data.ftLastWriteTime),
          "",
          ChangeMomentOf(path, data.ftCreationTime),
          MomentOf(data.ftLastWriteTime),
          (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

RenameOutcome RenameToFreeName(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), 0)) return {CreateStatus::Created, ""};
  const DWORD error = GetLastError();
  const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  return {taken ? CreateStatus::NameTaken : CreateStatus::Failed, ErrorText(error)};
}

namespace {

NodeLookup NodeFailure(DWORD error) {
  ThrowIfOutOfMemory(error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return {NodeKind::Missing, 0, Ownership::Ours, ""};
  }
  return {NodeKind::Failed, 0, Ownership::Ours, ErrorText(error)};
}

// Who may write a file is not told here: every plain file counts as ours.
NodeLookup NodeOf(DWORD attributes, std::uint64_t size) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return {NodeKind::Link, 0, {}, ""};
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {NodeKind::Other, 0, {}, ""};
  return {NodeKind::PlainFile, size, Ownership::Ours, ""};
}

// Opens the path itself, never what a link or junction there names.
HANDLE OpenPlainFile(const std::string& path, DWORD access, NodeLookup& node) {
  const HANDLE handle =
      CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    node = NodeFailure(GetLastError());
    return handle;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) {
    node = NodeFailure(GetLastError());
  } else {
    node = NodeOf(info.dwFileAttributes,
                  (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  }
  if (node.Kind == NodeKind::PlainFile) return handle;
  CloseHandle(handle);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

NodeLookup LookAt(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return NodeFailure(GetLastError());
  }
  return NodeOf(data.dwFileAttributes,
                (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

PlainFileRead ReadPlainFile(const std::string& path, std::size_t most) {
  PlainFileRead read;
  const HANDLE handle = OpenPlainFile(path, GENERIC_READ, read.Node);
  if (handle == INVALID_HANDLE_VALUE) return read;
  if (read.Node.Size > most) {
    CloseHandle(handle);
    read.Node = {NodeKind::Failed, 0, Ownership::Ours, "it is larger than any we write"};
    return read;
  }
  read.Content.resize(static_cast<std::size_t>(read.Node.Size));
  std::size_t got = 0;
  while (got < read.Content.size()) {
    DWORD n = 0;
    const DWORD want =
        static_cast<DWORD>(std::min<std::size_t>(read.Content.size() - got, 1 << 20));
    if (!ReadFile(handle, read.Content.data() + got, want, &n, nullptr) || n == 0) {
      read.Node = {NodeKind::Failed, 0, Ownership::Ours,
                   n == 0 ? "it became shorter while read" : ErrorText(GetLastError())};
      break;
    }
    got += n;
  }
  CloseHandle(handle);
  return read;
}

std::string ReadInPieces(const std::string& path,
                         const std::function<void(std::string_view)>& piece) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
  std::vector<char> buffer(1 << 16);
  std::string failure;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
      failure = ErrorText(GetLastError());
      break;
    }
    if (n == 0) break;
    piece(std::string_view(buffer.data(), n));
  }
  CloseHandle(handle);
  return failure;
}

NodeLookup FlushPlainFile(const std::string& path) {
  NodeLookup node;
  const HANDLE handle = OpenPlainFile(path, GENERIC_READ | GENERIC_WRITE, node);
  if (handle == INVALID_HANDLE_VALUE) return node;
  if (!FlushFileBuffers(handle))
    node = {NodeKind::Failed, 0, Ownership::Ours, ErrorText(GetLastError())};
  CloseHandle(handle);
  return node;
}

// A rename's directory entry is flushed with the file system's journal;
// there is no directory handle to ask for it.
std::string FlushDirectory(const std::string& /*directory*/) { return ""; }

std::string ResolvedPath(const std::string& directory) {
  const HANDLE handle =
      CreateFileA(directory.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return AbsolutePath(directory);
  char path[MAX_PATH + 8];
  const DWORD length = GetFinalPathNameByHandleA(handle, path, sizeof path, FILE_NAME_NORMALIZED);
  CloseHandle(handle);
  if (length == 0 || length >= sizeof path) return AbsolutePath(directory);
  std::string resolved(path, length);
  // The long form: "\\?\C:\..." for a drive, "\\?\UNC\..." for a share.
  if (resolved.starts_with("\\\\?\\UNC\\")) {
    resolved.replace(0, 8, "\\\\");
  } else if (resolved.starts_with("\\\\?\\")) {
    resolved.erase(0, 4);
  }
  if (resolved.back() != PathDelimiter) resolved += PathDelimiter;
  return resolved;
}

// Access control lists are not read here: the archiver's failure tells.
std::string UnwritableDirectory(const std::string& /*directory*/) { return ""; }

// The directory held open for adding files and shared only for reading and
// deleting: a second run's open fails with a sharing violation, while
// listing the directory and creating the archive in it still work.
LockAttempt TryLock(const std::string& directory) {
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
