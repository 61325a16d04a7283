#include "platform/fake_system.h"

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
  const bool fails = failingWrites.count(writes.size()) != 0;
  writes.emplace_back(data, size);
  return !fails;
}

std::string FakeReportOutput::Delivered() const {
  std::string all;
  for (std::size_t i = 0; i < writes.size(); ++i) {
    if (failingWrites.count(i) == 0) all += writes[i];
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
  return directories.count(WithoutTrailingDelimiter(path)) != 0;
}

void FakeFileSystem::CreateDirectory(const std::string& path) {
  createAttempts.push_back(path);
  const std::string name = WithoutTrailingDelimiter(path);
  const std::string parent = ParentOf(name);
  const bool parentExists = parent.empty() ? name.find(PathDelimiter) == std::string::npos
                                           : directories.count(parent) != 0;
  if (parentExists && files.count(name) == 0) directories.insert(name);
}

FileTimeLookup FakeFileSystem::LastWriteTime(const std::string& path) {
  const auto it = files.find(path);
  if (it != files.end()) return it->second;
  if (directories.count(WithoutTrailingDelimiter(path)) != 0) {
    return {LookupStatus::Directory, 0, "is a directory"};
  }
  return {LookupStatus::Missing, 0, "No such file or directory"};
}

}  // namespace platform::fake
