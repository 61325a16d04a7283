#pragma once

#include <optional>
#include <string>
#include <vector>

#include "src/archive_record.h"
#include "src/run.h"

namespace stampbak {

// The record of finished archives in the destination, read and written
// under the destination's lock. What cannot be trusted is said and read
// as no entries, so that the run archives: the safe side.
class RecordStore {
 public:
  explicit RecordStore(const Run& run);

  std::vector<RecordEntry> Load();
  // Puts the entries on the disk under the record's name, replacing it at
  // once, when they differ from what it holds; the reason when that
  // failed, else empty.
  std::string Save(const std::vector<RecordEntry>& entries);
  // Whether the destination keeps owners and modes: a private file made
  // there reads back as ours and private. Found out once, when first
  // asked, and said once when it does not.
  bool OwnersKept();
  // The same, found out only where it matters: for another user's file.
  bool OwnersKeptFor(const platform::NodeLookup& node) {
    return node.Owner != platform::Ownership::AnotherUsers || OwnersKept();
  }

  // Says once a run that others may change an archive that counts: a risk
  // to what it holds, which is no reason to archive again.
  void WarnIfOthersMayWrite(const std::string& archive, const platform::NodeLookup& node);

  const std::string& Path() const { return path_; }

 private:
  std::string NewCopyName(std::uint32_t attempt) const;
  std::string WriteNewCopy(const std::string& text, std::string& copy);

  const Run& run_;
  std::string path_;
  std::optional<std::string> onDisk_;  // the text last read or written
  std::optional<bool> ownersKept_;
  bool warnedOthersMayWrite_ = false;
};

}  // namespace stampbak
