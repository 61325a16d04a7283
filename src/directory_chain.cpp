#include "src/uUtils.h"

namespace stampbak {
namespace {

// A drive such as D: is never created; neither is the empty name before a
// leading separator.
bool IsCreatableFirstComponent(const std::string& name) {
  const bool drive = name.size() == 2 && name[1] == ':';
  return !name.empty() && !drive;
}

}  // namespace

void MakeDirectoryPath(platform::FileSystem& files, const std::string& path) {
  if (files.IsDirectory(path)) return;
  const std::size_t last = path.rfind(platform::PathDelimiter);
  if (last == std::string::npos) {
    // A relative destination's first component is created like any level.
    if (IsCreatableFirstComponent(path)) files.MakeDirectory(path);
    return;
  }
  MakeDirectoryPath(files, path.substr(0, last));
  files.MakeDirectory(path);
}

}  // namespace stampbak
