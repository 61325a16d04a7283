#include "src/backup_pass.h"

#include <algorithm>

#include "src/archive_step.h"
#include "src/change_check.h"
#include "src/failures.h"
#include "src/record_store.h"

namespace stampbak {
namespace {

// Two cron runs must not update one archive at the same time.
std::unique_ptr<platform::DirectoryLock> LockDestination(const Run& run,
                                                         const std::string& baseDstDir) {
  platform::LockAttempt attempt = platform::TryLock(baseDstDir);
  if (attempt.Status == platform::LockStatus::Busy) {
    throw EDestinationBusy("Another run is using " + baseDstDir);
  }
  if (attempt.Status == platform::LockStatus::Unavailable) {
    Warn(run, "cannot lock " + baseDstDir + ": " + attempt.Reason + "; going on without the lock");
  }
  return std::move(attempt.Lock);
}

// Another user who can write to the destination could plant an archive
// there; the operator should know.
void WarnOfSharedDestination(const Run& run) {
  const std::string risk = platform::SharedDirectoryRisk(run.settings.BaseDstDir);
  if (!risk.empty())
    Warn(run, "the destination " + run.settings.BaseDstDir + " is open to others: " + risk);
}

Job JobOf(const RunSettings& settings) {
  return {platform::ResolvedPath(settings.SrcDir), settings.IncludeMask, settings.ExcludeMask};
}

// The files whose stamps the scan keeps aside: those close to its own
// start, and to the start of the scan behind this job's newest archive.
StampWindow WindowToCollect(const std::vector<RecordEntry>& entries, const Job& job,
                            platform::ChangeMoment scanBegan) {
  StampWindow window = CloseToScan(scanBegan);
  const RecordEntry* newest = nullptr;
  for (const RecordEntry& entry : entries) {
    if (entry.State == EntryState::Finished && entry.OfJob == job &&
        (newest == nullptr || entry.ScanBegan > newest->ScanBegan)) {
      newest = &entry;
    }
  }
  if (newest == nullptr) return window;
  const StampWindow before = CloseToScan(newest->ScanBegan);
  return {std::min(window.From, before.From), std::max(window.To, before.To)};
}

// The archive an entry names, as it lies now: its size when it is a plain
// file of ours, none when it is anything else or gone.
std::optional<std::uint64_t> ArchiveSize(const Run& run, RecordStore& store,
                                         const RecordEntry& entry) {
  const platform::NodeLookup node = platform::LookAt(PathOf(run, entry));
  const bool ownersKept = store.OwnersKeptFor(node);
  if (!IsOurs(node, ownersKept)) return std::nullopt;
  return node.Size;
}

// Entries whose archives are gone, removed or pruned, name nothing.
void DropEntriesOfGoneArchives(const Run& run, std::vector<RecordEntry>& entries) {
  std::erase_if(entries, [&run](const RecordEntry& entry) {
    return platform::LookAt(PathOf(run, entry)).Kind == platform::NodeKind::Missing;
  });
}

}  // namespace

// An archive is due when no finished archive of this job holds what the
// job selects now; the record of finished archives in the destination is
// the memory between runs.
BackupOutcome ProcessBackup(const Run& run, std::unique_ptr<TBackupFile>& tree) {
  const RunSettings& settings = run.settings;
  if (!settings.UseArchiver) {
    tree = BuildBackupTree(run, settings.SrcDir, settings.IncludeMask, settings.ExcludeMask).Tree;
    tree->UpdateNewestTime();
    return BackupOutcome::Done;
  }
  const auto lock = LockDestination(run, settings.BaseDstDir);
  WarnOfSharedDestination(run);
  RecordStore store(run);
  std::vector<RecordEntry> entries = store.Load();
  const Job job = JobOf(settings);
  const platform::ChangeMoment scanBegan = platform::CurrentMoment();
  ScannedSource scanned =
      BuildBackupTree(run, settings.SrcDir, settings.IncludeMask, settings.ExcludeMask,
                      WindowToCollect(entries, job, scanBegan));
  tree = std::move(scanned.Tree);
  tree->UpdateNewestTime();
  DropEntriesOfGoneArchives(run, entries);
  FilesCloseToScan closeFiles(settings.SrcDir, scanned.Collected, std::move(scanned.Close));
  const auto sizeNow = [&run, &store](const RecordEntry& entry) {
    return ArchiveSize(run, store, entry);
  };
  if (!ArchiveDue(entries, job, scanned.Selected, sizeNow, closeFiles)) {
    const std::string failure = store.Save(entries);
    if (!failure.empty()) Warn(run, "cannot write the record " + store.Path() + ": " + failure);
    return BackupOutcome::Done;
  }
  const std::optional<Fingerprint> close = closeFiles.Within(CloseToScan(scanBegan));
  return MakeArchive(run, *tree, lock.get(), store, entries,
                     {job, scanned.Selected, scanBegan, close.value_or(Fingerprint{})});
}

}  // namespace stampbak
