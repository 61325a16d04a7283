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

// Another user who can add a name where the archive or the record goes
// could plant a link or a file there before the run, sticky bit or not;
// above it, one who can rename could swap the path. Each is refused when
// met; the operator should know all the same.
void WarnOfSharedDestination(const Run& run) {
  const std::string& base = run.settings.BaseDstDir;
  std::string risk = platform::SharedDirectoryRisk(base);
  if (risk.empty()) risk = platform::OthersMayAddNames(base);
  if (risk.empty()) risk = platform::OthersMayAddNames(DirectoryOf(ThisRunsArchive(run).Path));
  if (!risk.empty()) Warn(run, "the destination " + base + " is open to others: " + risk);
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
  const std::string path = PathOf(run, entry);
  const platform::NodeLookup node = platform::LookAt(path);
  if (!IsOurs(node, store.OwnersKeptFor(node))) return std::nullopt;
  store.WarnIfOthersMayWrite(path, node);
  return node.Size;
}

// Entries whose archives are gone, removed or pruned, name nothing; one
// whose archive was swapped for a link never counts, and is said.
void DropEntriesOfGoneArchives(const Run& run, std::vector<RecordEntry>& entries) {
  std::erase_if(entries, [&run](const RecordEntry& entry) {
    const std::string path = PathOf(run, entry);
    const platform::NodeKind kind = platform::LookAt(path).Kind;
    if (kind == platform::NodeKind::Link) {
      Warn(run, "the archive " + path + " is a link; it does not count as a backup");
    }
    return kind == platform::NodeKind::Missing;
  });
}

// A selection without a file archives nothing, which must not pass in
// silence: an empty source is what an unmounted disk looks like.
void WarnOfEmptySelection(const Run& run, const ScannedSource& scanned) {
  if (scanned.Selected.Files > 0) return;
  const std::string& source = run.settings.SrcDir;
  if (scanned.FilesMet == 0) {
    Warn(run, "no file was selected: the source " + source +
                  " holds no file (is its disk mounted?); no archive is made");
    return;
  }
  Warn(run, "no file was selected: the lists take none of the files met in " + source + " (" +
                std::to_string(scanned.FilesMet) + "); no archive is made");
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
  WarnOfEmptySelection(run, scanned);
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
