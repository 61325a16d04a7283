#include "platform/fake_system.h"

#include <algorithm>
#include <new>

namespace platform::fake {
namespace {

std::string WithoutTrailingDelimiter(std::string path) {
  if (path.size() > 1 && path.back() == PathDelimiter) path.pop_back();
  return path;
}

std::string ParentOf(const std::string& path) {
  const std::size_t last = path.rfind(PathDelimiter);
  return last == std::string::npos ? "" : path.substr(0, last);
}

}  // namespace

OutputKind FakeReportOutput::Open() {
  ++opens;
  return kind;
}

bool FakeReportOutput::Write(const char* data, std::size_t size) {
  const bool fails = failingWrites.contains(writes.size());
  writes.emplace_back(data, size);
  return !fails;
}

std::string FakeReportOutput::Delivered() const {
  std::string all;
  for (std::size_t i = 0; i < writes.size(); ++i) {
    if (!failingWrites.contains(i)) all += writes[i];
  }
  return all;
}

std::string FakeEnvironment::Variable(const std::string& name) {
  const auto it = variables.find(name);
  return it == variables.end() ? "" : it->second;
}

bool FakeFileSystem::IsDirectory(const std::string& path) {
  if (outOfMemory) throw std::bad_alloc();
  queried.push_back(path);
  return directories.contains(WithoutTrailingDelimiter(path));
}

void FakeFileSystem::MakeDirectory(const std::string& path) {
  createAttempts.push_back(path);
  const std::string name = WithoutTrailingDelimiter(path);
  const std::string parent = ParentOf(name);
  const bool parentExists =
      parent.empty() ? name.find(PathDelimiter) == std::string::npos : directories.contains(parent);
  if (parentExists && !files.contains(name)) directories.insert(name);
}

FileTimeLookup FakeFileSystem::LastWriteTime(const std::string& path) {
  const auto it = files.find(path);
  if (it != files.end()) return it->second;
  if (directories.contains(WithoutTrailingDelimiter(path))) {
    return {LookupStatus::Directory, 0, "is a directory"};
  }
  return {LookupStatus::Missing, 0, "No such file or directory"};
}

FileCreation FakeFileSystem::CreateNewFile(const std::string& path) {
  if (creationFails) return {nullptr, CreateStatus::Failed, "Permission denied"};
  if (files.contains(path) || created.contains(path)) {
    return {nullptr, CreateStatus::NameTaken, "File exists"};
  }
  created[path];

  class File final : public WritableFile {
   public:
    File(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
    std::size_t Write(const void* data, std::size_t size) override {
      std::string& content = files_.created[path_];
      const std::size_t room =
          files_.writableBytes > content.size() ? files_.writableBytes - content.size() : 0;
      const std::size_t written = std::min(size, room);
      content.append(static_cast<const char*>(data), written);
      return written;
    }
    bool Close() override { return !files_.closeFails; }

   private:
    FakeFileSystem& files_;
    std::string path_;
  };
  return {std::make_unique<File>(*this, path), CreateStatus::Created, ""};
}

void FakeFileSystem::RemoveFile(const std::string& path) {
  removed.push_back(path);
  created.erase(path);
}

std::string FakeFileSystem::AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == PathDelimiter) return path;
  if (workingDirectory.empty()) return "";
  return workingDirectory + PathDelimiter + path;
}

ProcessOutcome FakeProcessLauncher::RunHidden(const std::string& program,
                                              const std::vector<std::string>& arguments,
                                              const std::string& workingDirectory,
                                              const DirectoryLock* lock) {
  calls.push_back({program, arguments, workingDirectory, lock != nullptr});
  if (whileRunning) whileRunning(calls.back());
  return outcome;
}

LockAttempt FakeDirectoryLocker::TryLock(const std::string& directory) {
  if (status != LockStatus::Locked) return {nullptr, status, "No such file or directory"};

  class Lock final : public DirectoryLock {
   public:
    Lock(FakeDirectoryLocker& locker, std::string directory)
        : locker_(locker), directory_(std::move(directory)) {
      locker_.locked.push_back(directory_);
    }
    ~Lock() override { std::erase(locker_.locked, directory_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    FakeDirectoryLocker& locker_;
    std::string directory_;
  };
  return {std::make_unique<Lock>(*this, directory), LockStatus::Locked, ""};
}

ListingOpen FakeDirectoryEnumerator::Open(const std::string& directory) {
  const std::string name = WithoutTrailingDelimiter(directory);
  opened.push_back(name);
  const auto failure = unreadable.find(name);
  if (failure != unreadable.end()) return {nullptr, failure->second, "Permission denied"};
  const auto listed = entries.find(name);
  if (listed == entries.end()) return {nullptr, LookupStatus::Failed, "No such file or directory"};

  class Listing final : public DirectoryListing {
   public:
    Listing(FakeDirectoryEnumerator& enumerator, std::string directory,
            std::vector<DirectoryEntry> all)
        : enumerator_(enumerator), directory_(std::move(directory)), all_(std::move(all)) {}
    bool Next(DirectoryEntry& entry) override {
      if (next_ == all_.size()) return false;
      entry = all_[next_++];
      return true;
    }
    FileTimeLookup LastWriteTime(const std::string& name) override {
      return enumerator_.files.LastWriteTime(directory_ + PathDelimiter + name);
    }
    ListingOpen OpenSubdirectory(const std::string& name) override {
      return enumerator_.Open(directory_ + PathDelimiter + name);
    }
    std::string Identity() override {
      const auto alias = enumerator_.aliases.find(directory_);
      return alias == enumerator_.aliases.end() ? directory_ : alias->second;
    }

   private:
    FakeDirectoryEnumerator& enumerator_;
    std::string directory_;
    std::vector<DirectoryEntry> all_;
    std::size_t next_ = 0;
  };
  return {std::make_unique<Listing>(*this, name, listed->second), LookupStatus::Found, ""};
}

void FakeSystem::AddDirectory(const std::string& path) {
  const std::string name = WithoutTrailingDelimiter(path);
  files.directories.insert(name);
  directories.entries[name];
  AddEntry(name, EntryKind::Directory);
}

void FakeSystem::AddEntry(const std::string& path, EntryKind kind, DosDateTime packed) {
  const std::size_t last = path.rfind(PathDelimiter);
  const std::string parent = last == std::string::npos ? "" : path.substr(0, last);
  const std::string name = path.substr(last + 1);
  if (parent.empty()) return;
  directories.entries[parent].push_back({name, kind});
  if (kind == EntryKind::File) files.files[path] = {LookupStatus::Found, packed, ""};
}

}  // namespace platform::fake
