#include "src/archive_step.h"

#include <algorithm>

#include "src/archiver_run.h"
#include "src/change_check.h"

namespace stampbak {
namespace {

constexpr int kAsideNames = 100;

BackupOutcome NoBackup(const Run& run, const std::string& why) {
  Warn(run, "no backup was made: " + why);
  return BackupOutcome::NotMade;
}

std::string Describe(const platform::NodeLookup& node) {
  switch (node.Kind) {
    case platform::NodeKind::Link: return "is a link";
    case platform::NodeKind::Other: return "is not a plain file";
    case platform::NodeKind::Failed: return "cannot be looked at: " + node.Reason;
    default: return "belongs to another user";
  }
}

// A half-made archive goes to the first free name no run counts, never
// replacing one: an archive that was there before holds the earlier
// backups, and an earlier half one may be all that is left of a night.
bool SetAside(const Run& run, const std::string& archive) {
  for (int k = 1; k <= kAsideNames; ++k) {
    const std::string aside = archive + kSetAsideSuffix + (k > 1 ? "." + std::to_string(k) : "");
    const platform::RenameOutcome renamed = platform::RenameToFreeName(archive, aside);
    if (renamed.Status == platform::CreateStatus::NameTaken) continue;
    if (renamed.Status == platform::CreateStatus::Created) {
      Warn(run, "the incomplete archive is kept as " + aside + ", which no later run counts");
      return true;
    }
    if (platform::LookAt(archive).Kind == platform::NodeKind::Missing) return true;
    Warn(run, "cannot set the incomplete archive " + archive + " aside: " + renamed.Reason);
    return false;
  }
  Warn(run, "cannot set the incomplete archive " + archive + " aside: every name tried was taken");
  return false;
}

RecordEntry* EntryNamed(std::vector<RecordEntry>& entries, const std::string& name) {
  const auto found = std::find_if(entries.begin(), entries.end(),
                                  [&name](const RecordEntry& e) { return e.Archive == name; });
  return found == entries.end() ? nullptr : &*found;
}

// Whether the run may go on to the archiver with what lies at the name.
bool ClearTheName(const Run& run, RecordStore& store, const std::string& path,
                  const RecordEntry* entry, const Job& job) {
  const platform::NodeLookup node = platform::LookAt(path);
  const bool ownersKept = store.OwnersKeptFor(node);
  switch (WhatLiesAtTheName(entry, node, job, ownersKept)) {
    case AtArchiveName::NotOurs: return NoBackup(run, path + " " + Describe(node)), false;
    case AtArchiveName::AnotherJobs:
      return NoBackup(run, "the archive " + path + " belongs to another job, of " +
                               entry->OfJob.Source + " with the lists '" + entry->OfJob.Include +
                               "' and '" + entry->OfJob.Exclude +
                               "'; give each job a destination of its own, or delete the "
                               "record where this job takes that one's place"),
             false;
    case AtArchiveName::SetAsideFirst:
      return SetAside(run, path) ||
             (NoBackup(run, "a run that never finished began " + path), false);
    case AtArchiveName::Free:
    case AtArchiveName::AddTo: return true;
  }
  return false;
}

// The archiver never started: the record goes back to what it held.
void Restore(RecordStore& store, const std::vector<RecordEntry>& before) noexcept {
  try {
    store.Save(before);
  } catch (...) {
    // The entry stays in progress, which only costs a set-aside.
  }
}

}  // namespace

ArchivePlace ThisRunsArchive(const Run& run) {
  const RunSettings& settings = run.settings;
  const std::string name = ArchiveNamedAfter(settings.DstDir);
  const std::string inRecord =
      settings.DstDir != settings.BaseDstDir
          ? name.substr(settings.BaseDstDir.size())
          : std::string("..") + platform::PathDelimiter + name.substr(DirectoryOf(name).size());
  return {AbsoluteName(name), inRecord};
}

std::string PathOf(const Run& run, const RecordEntry& entry) {
  const std::string beside = std::string("..") + platform::PathDelimiter;
  if (!entry.Archive.starts_with(beside)) return run.settings.BaseDstDir + entry.Archive;
  return DirectoryOf(ArchiveNamedAfter(run.settings.BaseDstDir)) +
         entry.Archive.substr(beside.size());
}

BackupOutcome MakeArchive(const Run& run, const TBackupFile& root,
                          const platform::DirectoryLock* lock, RecordStore& store,
                          std::vector<RecordEntry>& entries, const FinishedEntry& finished) {
  const ArchivePlace place = ThisRunsArchive(run);
  if (!ClearTheName(run, store, place.Path, EntryNamed(entries, place.InRecord), finished.OfJob)) {
    return BackupOutcome::NotMade;
  }
  const std::vector<RecordEntry> before = entries;
  std::erase_if(entries, [&place](const RecordEntry& e) { return e.Archive == place.InRecord; });
  RecordEntry begun;
  begun.Archive = place.InRecord;
  begun.OfJob = finished.OfJob;
  entries.push_back(begun);
  const std::string unwritten = store.Save(entries);
  if (!unwritten.empty()) {
    return NoBackup(run, "cannot write the record " + store.Path() + ": " + unwritten);
  }

  ArchiverResult packed = ArchiverResult::NotStarted;
  try {
    packed = RunArchiver(run, root, lock, place.Path);
  } catch (...) {
    Restore(store, before);
    throw;
  }
  if (packed == ArchiverResult::NotStarted) {
    Restore(store, before);
    return BackupOutcome::NotMade;
  }
  if (packed == ArchiverResult::Failed) {
    if (platform::LookAt(place.Path).Kind != platform::NodeKind::Missing) SetAside(run, place.Path);
    return BackupOutcome::NotMade;
  }
  const platform::NodeLookup made = platform::FlushPlainFile(place.Path);
  const bool ownersKept = store.OwnersKeptFor(made);
  if (made.Kind == platform::NodeKind::Missing) {
    return NoBackup(run, "the archiver left no archive at " + place.Path);
  }
  if (made.Kind == platform::NodeKind::Failed) {
    return NoBackup(run, "cannot put the archive " + place.Path + " on the disk: " + made.Reason);
  }
  if (!IsOurs(made, ownersKept)) {
    return NoBackup(run, "the archiver left " + place.Path + ", which " + Describe(made));
  }
  // A default access list of the destination takes the umask's place.
  if (made.EveryoneMayRead && store.OwnersKept()) {
    Warn(run, "the archive " + place.Path +
                  " can be read by every user: an access list of the destination grants it; "
                  "give others nothing there (setfacl -d -m o::-)");
  }
  RecordEntry& entry = entries.back();
  entry.State = EntryState::Finished;
  entry.Size = made.Size;
  entry.Selected = finished.Selected;
  entry.ScanBegan = finished.ScanBegan;
  entry.CloseToScan = finished.CloseToScan;
  const std::string done = store.Save(entries);
  if (!done.empty()) {
    Warn(run, "cannot mark the archive " + place.Path + " finished in the record " + store.Path() +
                  ": " + done + "; the archive stands, and the next run archives again");
  }
  return BackupOutcome::Done;
}

}  // namespace stampbak
