#include <new>
#include <utility>

#include "platform/win32.h"

namespace platform {
namespace {

// A junction or directory symbolic link stands for another name of a
// directory; entering it could loop. Other reparse points (cloud
// placeholders, deduplicated files) are ordinary entries. A reparse point
// without a tag (Wine shows Unix links so) is taken for a link as well.
EntryKind KindOf(const WIN32_FIND_DATAW& found) {
  const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!directory) return EntryKind::File;
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return EntryKind::Directory;
  const DWORD tag = found.dwReserved0;
  return tag == 0 || IsReparseTagNameSurrogate(tag) ? EntryKind::DirectoryLink
                                                    : EntryKind::Directory;
}

// The name in the ANSI code page. A character the code page lacks becomes
// "?", never a look-alike: a best-fit name could be another file's name,
// while one with "?" can be opened by nobody and so is reported as such.
std::string AnsiName(const wchar_t* name) {
  const int size =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "?";
  std::string ansi(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, ansi.data(), size, "?", nullptr);
  ansi.resize(static_cast<std::size_t>(size) - 1);
  return ansi;
}

std::wstring WidePath(const std::string& path) {
  const int size = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), size);
  wide.resize(wide.size() - 1);
  return wide;
}

class Win32Listing final : public DirectoryListing {
 public:
  Win32Listing(std::string directory, FindStart start)
      : directory_(std::move(directory)), search_(std::move(start)) {}
  Win32Listing(const Win32Listing&) = delete;
  Win32Listing& operator=(const Win32Listing&) = delete;

  bool Next(DirectoryEntry& entry) override {
    DWORD error = 0;
    if (search_.Next(entry, error)) return true;
    ThrowIfOutOfMemory(error);
    if (error != 0) failure_ = ErrorText(error);
    return false;
  }

  const std::string& Failure() const override { return failure_; }

  FileTimeLookup LastWriteTime(const std::string& name) override {
    return platform::LastWriteTime(directory_ + name);
  }

  ListingOpen OpenSubdirectory(const std::string& name) override {
    return OpenDirectory(directory_ + name + PathDelimiter);
  }

  std::string Identity() override { return IdentityOfDirectory(directory_); }

 private:
  std::string directory_;
  FindStart search_;
  std::string failure_;
};

}  // namespace

FindStart::~FindStart() {
  if (Find != INVALID_HANDLE_VALUE) FindClose(Find);
}

FindStart::FindStart(FindStart&& other) noexcept
    : Find(std::exchange(other.Find, INVALID_HANDLE_VALUE)),
      First(other.First),
      Pending(other.Pending),
      Error(other.Error) {}

bool FindStart::Next(DirectoryEntry& entry, DWORD& error) {
  error = 0;
  if (Find == INVALID_HANDLE_VALUE) return false;
  if (!Pending && !FindNextFileW(Find, &First)) {
    // A failing disk or a lost share must not pass for the end.
    error = GetLastError();
    if (error == ERROR_NO_MORE_FILES) error = 0;
    return false;
  }
  Pending = false;
  entry.Name = AnsiName(First.cFileName);
  entry.Kind = KindOf(First);
  return true;
}

FindStart StartFind(const std::string& directory) {
  FindStart start;
  // The short names are never used; large fetches save round trips on a
  // share. A Windows older than 7 knows neither, and lists the plain way.
  const std::wstring pattern = WidePath(directory + "*.*");
  start.Find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &start.First,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (start.Find == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER) {
    start.Find = FindFirstFileW(pattern.c_str(), &start.First);
  }
  if (start.Find != INVALID_HANDLE_VALUE) return start;
  start.Pending = false;
  start.Error = GetLastError();
  // An empty drive root lists no entry at all, not even "." and "..".
  if (start.Error == ERROR_FILE_NOT_FOUND && IsDirectory(directory)) start.Error = 0;
  return start;
}

ListingOpen ListFound(const std::string& directory, FindStart start) {
  if (start.Error != 0) {
    ThrowIfOutOfMemory(start.Error);
    return {nullptr, ErrorText(start.Error)};
  }
  return {std::make_unique<Win32Listing>(directory, std::move(start)), ""};
}

// Names are compared without case here, so the full name lowered will do.
std::string IdentityOfDirectory(const std::string& directory) {
  const DWORD size = GetFullPathNameA(directory.c_str(), 0, nullptr, nullptr);
  std::string full(size, '\0');
  const DWORD length = GetFullPathNameA(directory.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  if (!full.empty() && full.back() != PathDelimiter) full += PathDelimiter;
  CharLowerBuffA(full.data(), static_cast<DWORD>(full.size()));
  return full;
}

ListingOpen OpenDirectory(const std::string& directory) {
  return ListFound(directory, StartFind(directory));
}

}  // namespace platform
