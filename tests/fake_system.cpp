#include "tests/fake_system.h"

#include <algorithm>
#include <new>

namespace stampbak::testing {
namespace {

std::string WithoutTrailingSlash(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

class FakeListing final : public platform::DirectoryListing {
 public:
  FakeListing(FakeFileSystem& files, std::string directory, std::vector<DirectoryEntry> entries)
      : files_(files), directory_(std::move(directory)), entries_(std::move(entries)) {}
  bool Next(DirectoryEntry& entry) override {
    if (next_ == entries_.size()) return false;
    entry = entries_[next_++];
    return true;
  }
  FileTimeLookup LastWriteTime(const std::string& name) override {
    return files_.LastWriteTime(directory_ + "/" + name);
  }
  platform::ListingOpen OpenSubdirectory(const std::string& name) override {
    return files_.OpenDirectory(directory_ + "/" + name);
  }
  std::string Identity() override { return directory_; }

 private:
  FakeFileSystem& files_;
  std::string directory_;
  std::vector<DirectoryEntry> entries_;
  std::size_t next_ = 0;
};

class FakeFile final : public platform::WritableFile {
 public:
  FakeFile(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
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

}  // namespace

platform::OutputKind FakeReportOutput::Open() {
  ++opens;
  return kind;
}

bool FakeReportOutput::Write(const char* data, std::size_t size) {
  writes.emplace_back(data, size);
  return true;
}

std::string FakeReportOutput::Delivered() const {
  std::string all;
  for (const std::string& written : writes) all += written;
  return all;
}

std::vector<DirectoryEntry> FakeFileSystem::Entries(const std::string& directory) const {
  const std::string prefix = WithoutTrailingSlash(directory) + "/";
  std::vector<DirectoryEntry> entries;
  for (const auto& [path, lookup] : times) {
    if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos)
      entries.push_back({path.substr(prefix.size()), EntryKind::File});
  }
  return entries;
}

FileTimeLookup FakeFileSystem::LastWriteTime(const std::string& path) {
  const auto it = times.find(path);
  if (it != times.end()) return it->second;
  return {LookupStatus::Missing, 0, "No such file or directory"};
}

platform::ListingOpen FakeFileSystem::OpenDirectory(const std::string& directory) {
  if (outOfMemory) throw std::bad_alloc();
  std::vector<DirectoryEntry> entries = Entries(directory);
  if (entries.empty()) return {nullptr, "No such file or directory"};
  return {std::make_unique<FakeListing>(*this, WithoutTrailingSlash(directory), std::move(entries)),
          ""};
}

platform::FileCreation FakeFileSystem::CreateNewFile(const std::string& path) {
  if (creationFails) return {nullptr, platform::CreateStatus::Failed};
  if (times.contains(path) || created.contains(path)) {
    return {nullptr, platform::CreateStatus::NameTaken};
  }
  created[path];
  return {std::make_unique<FakeFile>(*this, path), platform::CreateStatus::Created};
}

std::string FakeFileSystem::AbsolutePath(const std::string& path) {
  if (path.starts_with("/")) return path;
  return workingDirectory.empty() ? "" : workingDirectory + "/" + path;
}

platform::ProcessOutcome FakeProcessLauncher::RunHidden(const std::string& /*program*/,
                                                        const std::vector<std::string>& arguments,
                                                        const std::string& /*workingDirectory*/,
                                                        const platform::DirectoryLock* /*lock*/) {
  calls.push_back(arguments);
  return {true, 0, ""};
}

}  // namespace stampbak::testing
