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
  FakeListing(FakeFileSystem& files, std::string directory)
      : files_(files), directory_(std::move(directory)) {}
  bool Next(DirectoryEntry& entry) override {
    const std::vector<DirectoryEntry>& all = files_.listings[directory_];
    if (next_ == all.size()) return false;
    entry = all[next_++];
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

void FakeFileSystem::Add(const std::string& path, EntryKind kind, FileTimeLookup time) {
  const std::size_t last = path.rfind('/');
  if (last != std::string::npos)
    listings[path.substr(0, last)].push_back({path.substr(last + 1), kind});
  if (kind == EntryKind::Directory) listings[path];
  if (kind == EntryKind::File) times[path] = std::move(time);
}

bool FakeFileSystem::IsDirectory(const std::string& path) {
  return listings.contains(WithoutTrailingSlash(path));
}

FileTimeLookup FakeFileSystem::LastWriteTime(const std::string& path) {
  const auto it = times.find(path);
  if (it != times.end()) return it->second;
  return {LookupStatus::Missing, 0, "No such file or directory"};
}

platform::ListingOpen FakeFileSystem::OpenDirectory(const std::string& directory) {
  if (outOfMemory) throw std::bad_alloc();
  const std::string name = WithoutTrailingSlash(directory);
  if (!listings.contains(name)) return {nullptr, "No such file or directory"};
  return {std::make_unique<FakeListing>(*this, name), ""};
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
  if (whileRunning) whileRunning();
  return outcome;
}

}  // namespace stampbak::testing
