#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/archive_record.h"
#include "src/run.h"
#include "src/uUtils.h"

namespace stampbak {

struct ScannedSource;

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
  // Adds the selected files and entered directories of the directory.
  void Scan(const Run& run, const std::string& directory, std::string_view includeMask,
            std::string_view excludeMask, ScannedSource& scanned);

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

// Time stamps within a few seconds of a scan's start (a FAT stamp is two
// seconds coarse, the kernel's clock a tick), or ahead of it by up to a
// day, may stay as they are when the file changes again right after the
// scan looked. Further ahead, a change now gets a stamp of its own.
struct StampWindow {
  platform::ChangeMoment From = 1;
  platform::ChangeMoment To = 0;  // none, as it stands
  bool Holds(platform::ChangeMoment moment) const { return moment >= From && moment <= To; }
  bool Covers(const StampWindow& other) const { return From <= other.From && To >= other.To; }
};

// A selected file whose time stamps lay in the window the scan collected.
struct CloseFile {
  std::string Relative;  // its path below the source, as the list has it
  platform::ChangeMoment Written;
  platform::ChangeMoment Changed;
  std::optional<std::uint64_t> Content{};  // read once, when first asked
};

struct ScannedSource {
  std::unique_ptr<TBackupFile> Tree;
  Fingerprint Selected;  // every selected file's name, size and times
  StampWindow Collected;
  std::vector<CloseFile> Close;  // the selected files with a stamp in Collected
  std::uint64_t FilesMet = 0;    // reported, whether selected, excluded or skipped
};

// Scans the source directory into a new tree; ESourceError when the
// directory itself cannot be read. Files with a stamp in `collect` are
// kept aside for the change check.
ScannedSource BuildBackupTree(const Run& run, const std::string& directory,
                              std::string_view includeMask, std::string_view excludeMask,
                              StampWindow collect = {});

}  // namespace stampbak
