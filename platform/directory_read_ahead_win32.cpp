// The read-ahead's calls on Windows: directories are searched and files
// looked up by path, as the walk alone does, only on the workers.
#include <utility>

#include "platform/read_ahead.h"
#include "platform/win32.h"

namespace platform {

const SystemError kOutOfMemoryError = ERROR_NOT_ENOUGH_MEMORY;

bool IsOutOfMemory(SystemError error) {
  return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY;
}
bool IsShortOfHandles(SystemError error) { return error == ERROR_TOO_MANY_OPEN_FILES; }
std::string ErrorWords(SystemError error) { return ErrorText(static_cast<DWORD>(error)); }

ListingOpen FailedOpen(SystemError error) {
  ThrowIfOutOfMemory(static_cast<DWORD>(error));
  return {nullptr, ErrorText(static_cast<DWORD>(error))};
}

namespace {

// Nothing to keep between look-ups: the system converts the times.
class NoMemory final : public LookUpMemory {};

// The rest of a search, its first entry included.
class FoundEntries final : public EntrySource {
 public:
  explicit FoundEntries(FindStart search) : search_(std::move(search)) {}

  bool Next(DirectoryEntry& entry, std::uint64_t& listed, SystemError& error) override {
    DWORD code = 0;
    listed = 0;
    const bool found = search_.Next(entry, code);
    error = static_cast<SystemError>(code);
    return found;
  }

 private:
  FindStart search_;
};

// A directory whose search has started; its path ends in the separator.
class HeldSearch final : public HeldDirectory {
 public:
  HeldSearch(std::string directory, FindStart search)
      : directory_(std::move(directory)), search_(std::move(search)) {}

  static DirectoryOpening Start(const std::string& directory) {
    FindStart search = StartFind(directory);
    const auto error = static_cast<SystemError>(search.Error);
    if (error != 0) return {nullptr, error, false};
    return {std::make_unique<HeldSearch>(directory, std::move(search)), 0, false};
  }

  std::string Identity() const override { return IdentityOfDirectory(directory_); }

  std::unique_ptr<EntrySource> Entries() override {
    return std::make_unique<FoundEntries>(std::move(search_));
  }

  // Searched by path as the walk alone searches it: the listing showed a
  // directory, not a junction or a link.
  DirectoryOpening OpenChild(const std::string& name, std::uint64_t /*listed*/) const override {
    return Start(directory_ + name + PathDelimiter);
  }

  FileTimeLookup LookUp(const std::string& name, LookUpMemory& /*memory*/) const override {
    return LastWriteTime(directory_ + name);
  }

  ListingOpen OpenAlone(const std::string& name, SystemError& /*error*/) const override {
    return OpenDirectory(directory_ + name + PathDelimiter);
  }

  ListingOpen ListAlone() override { return ListFound(directory_, std::move(search_)); }

 private:
  std::string directory_;
  FindStart search_;
};

}  // namespace

std::unique_ptr<LookUpMemory> NewLookUpMemory() { return std::make_unique<NoMemory>(); }

DirectoryOpening HoldDirectory(const std::string& directory) {
  return HeldSearch::Start(directory);
}

// Handles are not counted out to a process here.
bool RoomForReadAhead() { return true; }

// No request to end a run is taken here, so there is nothing to hold off.
void StartWorkersQuietly(const std::function<void()>& start) { start(); }

}  // namespace platform
