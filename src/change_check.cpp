#include "src/change_check.h"

#include <algorithm>

namespace stampbak {

StampWindow CloseToScan(platform::ChangeMoment scanBegan) {
  constexpr platform::ChangeMoment kCoarsest = 3 * platform::kMomentsPerSecond;
  constexpr platform::ChangeMoment kDay = 86'400 * platform::kMomentsPerSecond;
  return {scanBegan - kCoarsest, scanBegan + kDay};
}

namespace {

// One that cannot be read now gives this, so that it counts as changed
// against any content it had, and as unchanged while it stays unreadable.
constexpr std::uint64_t kUnreadable = 0x756e7265616461ULL;

}  // namespace

std::uint64_t FilesCloseToScan::ContentOf(CloseFile& file) const {
  if (!file.Content) {
    ContentHash hash;
    const std::string failure = platform::ReadInPieces(
        source_ + file.Relative, [&hash](std::string_view piece) { hash.Add(piece); });
    file.Content = failure.empty() ? hash.Value() : kUnreadable;
  }
  return *file.Content;
}

std::optional<Fingerprint> FilesCloseToScan::Within(StampWindow window) {
  if (!collected_.Covers(window)) return std::nullopt;
  Fingerprint within;
  for (CloseFile& file : files_) {
    if (!window.Holds(file.Written) && !window.Holds(file.Changed)) continue;
    within.Add(NamedContentHash(file.Relative, ContentOf(file)));
  }
  return within;
}

bool ArchiveDue(const std::vector<RecordEntry>& entries, const Job& job,
                const Fingerprint& selected, const ArchiveSizeNow& archiveSize,
                FilesCloseToScan& closeFiles) {
  if (selected.Files == 0) return false;
  return std::none_of(entries.begin(), entries.end(), [&](const RecordEntry& entry) {
    if (entry.State != EntryState::Finished || entry.OfJob != job || entry.Selected != selected) {
      return false;
    }
    if (archiveSize(entry) != entry.Size) return false;
    // With none close to its scan, none of the same files is now either.
    return entry.CloseToScan.Files == 0 ||
           closeFiles.Within(CloseToScan(entry.ScanBegan)) == entry.CloseToScan;
  });
}

bool IsOurs(const platform::NodeLookup& node, bool ownersKept) {
  return node.Kind == platform::NodeKind::PlainFile &&
         (!ownersKept || node.Owner != platform::Ownership::AnotherUsers);
}

AtArchiveName WhatLiesAtTheName(const RecordEntry* entry, const platform::NodeLookup& node,
                                const Job& job, bool ownersKept) {
  if (node.Kind == platform::NodeKind::Missing) return AtArchiveName::Free;
  if (!IsOurs(node, ownersKept)) return AtArchiveName::NotOurs;
  if (entry == nullptr) return AtArchiveName::AddTo;
  if (entry->State == EntryState::InProgress) return AtArchiveName::SetAsideFirst;
  return entry->OfJob == job ? AtArchiveName::AddTo : AtArchiveName::AnotherJobs;
}

}  // namespace stampbak
