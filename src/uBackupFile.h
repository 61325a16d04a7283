#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "src/run.h"
#include "src/uUtils.h"

namespace stampbak {

// A selected file or an entered directory of the source tree; the root,
// with an empty name, stands for the source directory itself. A node owns
// its children.
class TBackupFile {
 public:
  TBackupFile(std::string name, bool isDirectory, TBackupFile* parent, DateTime time);
  // Frees the subtree without recursion, however deep.
  ~TBackupFile();
  TBackupFile(const TBackupFile&) = delete;
  TBackupFile& operator=(const TBackupFile&) = delete;

  void Clear();
  TBackupFile* Add(std::unique_ptr<TBackupFile> node);
  TBackupFile* AddChild(std::string name, bool isDirectory, DateTime time);
  // Sets NewestTime throughout the subtree.
  void UpdateNewestTime();
  // One line per file node below: the prefix, the path from here, CR LF,
  // handed to `write` in pieces.
  void WriteList(const std::function<void(std::string_view)>& write,
                 const std::string& prefix) const;
  // Adds the selected files and entered directories of the directory;
  // returns the latest change moment among them.
  platform::ChangeMoment Scan(const Run& run, const std::string& directory,
                              std::string_view includeMask, std::string_view excludeMask);

  TBackupFile* Parent;
  std::string Name;
  DateTime Time;
  DateTime NewestTime = 0;
  bool IsDirectory;
  std::int32_t Count = 0;
  // Slots in Children, grown 8 at a time. The storage underneath holds the
  // next power of two of them, so adding a child copies the others only
  // when that doubles, and a file node pays for one pointer.
  std::int32_t Capacity = 0;
  std::unique_ptr<std::unique_ptr<TBackupFile>[]> Children;
};

struct ScannedSource {
  std::unique_ptr<TBackupFile> Tree;
  // The latest moment a selected file or entered directory was written,
  // changed, or copied, moved, renamed or linked into place; the least
  // value when nothing counted.
  platform::ChangeMoment NewestChange;
};

// Scans the source directory into a new tree; ESourceError when the
// directory itself cannot be read.
ScannedSource BuildBackupTree(const Run& run, const std::string& directory,
                              std::string_view includeMask, std::string_view excludeMask);

}  // namespace stampbak
