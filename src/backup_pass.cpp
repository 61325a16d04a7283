#include "src/backup_pass.h"

#include <algorithm>
#include <limits>
#include <new>

#include "src/archiver_run.h"
#include "src/failures.h"
#include "src/uBackupFile.h"

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

// The newest archive that only a successful run of ours can have dated.
// One dated more than a day ahead would make every later change look old,
// and one that another user made, or others may change, could stop every
// backup by its time: neither counts.
class NewestArchive {
 public:
  explicit NewestArchive(const Run& run) : run_(run), latestBelievable_(LatestBelievableMoment()) {}

  void Consider(const platform::FileTimeLookup& lookup, const std::string& path) {
    if (lookup.Status != platform::LookupStatus::Found) return;
    if (lookup.Owner != platform::Ownership::Ours) {
      Warn(run_,
           "archive " + path +
               (lookup.Owner == platform::Ownership::AnotherUsers ? " belongs to another user"
                                                                  : " can be changed by others") +
               "; it is not taken as the last backup");
      return;
    }
    if (lookup.Written > latestBelievable_) {
      Warn(run_, "archive " + path + " is dated " + ShowPackedTime(lookup.Packed) +
                     ", in the future; it is not taken as the last backup");
      return;
    }
    moment_ = std::max(moment_, lookup.Written);
  }

  // The moment the last backup stands for; the least value when none.
  platform::ChangeMoment Moment() const { return moment_; }

 private:
  const Run& run_;
  platform::ChangeMoment latestBelievable_;
  platform::ChangeMoment moment_ = std::numeric_limits<platform::ChangeMoment>::min();
};

void ConsiderArchivesIn(const std::string& baseDstDir, NewestArchive& newest) {
  const platform::ListingOpen open = platform::OpenDirectory(baseDstDir);
  if (!open.Listing) return;
  platform::DirectoryEntry entry;
  // A directory's look-up finds no file time, so only files count.
  while (open.Listing->Next(entry)) {
    if (!IsArchiveName(entry.Name)) continue;
    newest.Consider(open.Listing->LastWriteTime(entry.Name), baseDstDir + entry.Name);
  }
}

// The newest trusted archive in the destination, or beside it where an
// unstamped run puts it.
NewestArchive GetLastBackupTime(const Run& run, const std::string& baseDstDir) {
  NewestArchive newest(run);
  ConsiderArchivesIn(baseDstDir, newest);
  // An unstamped run's archive lies beside the destination, not in it.
  const std::string beside = ArchiveNamedAfter(baseDstDir);
  newest.Consider(platform::LastWriteTime(beside), beside);
  return newest;
}

// Another user who can write to the destination could plant an archive
// there; ours are still told from his, but the operator should know.
void WarnOfSharedDestination(const Run& run) {
  const std::string risk = platform::SharedDirectoryRisk(run.settings.BaseDstDir);
  if (!risk.empty())
    Warn(run, "the destination " + run.settings.BaseDstDir + " is open to others: " + risk);
}

// What the archive's time will say: every change the scan saw is in it,
// and nothing that came after the scan began. Rounded up to whole two
// seconds where that stays before the scan, so that a destination keeping
// coarser times (FAT keeps two seconds) does not make every night due.
platform::ChangeMoment ArchiveMoment(platform::ChangeMoment scanBegan,
                                     platform::ChangeMoment newestChange) {
  constexpr platform::ChangeMoment kStep = 2 * platform::kMomentsPerSecond;
  const platform::ChangeMoment roundedUp =
      newestChange >= 0 ? (newestChange + kStep - 1) / kStep * kStep : newestChange;
  return std::min(scanBegan - 1, roundedUp);
}

}  // namespace

// An archive is due when a selected file or entered directory changed or
// arrived (copied, unpacked, moved, renamed or linked in with an older
// time kept) after the moment the newest archive stands for. That moment is
// the archive's own last-write time, which only a successful run sets and
// which group access, hard links or a rename leave as it is. The file
// system is the only memory.
BackupOutcome ProcessBackup(const Run& run, std::unique_ptr<TBackupFile>& tree) {
  const RunSettings& settings = run.settings;
  const auto lock = settings.UseArchiver ? LockDestination(run, settings.BaseDstDir) : nullptr;
  const platform::ChangeMoment scanBegan = platform::CurrentMoment();
  ScannedSource scanned =
      BuildBackupTree(run, settings.SrcDir, settings.IncludeMask, settings.ExcludeMask);
  tree = std::move(scanned.Tree);
  TBackupFile* root = tree.get();
  root->UpdateNewestTime();
  if (!settings.UseArchiver) return BackupOutcome::Done;
  WarnOfSharedDestination(run);
  const NewestArchive newest = GetLastBackupTime(run, settings.BaseDstDir);
  // A tree without a file has nothing to pack, whatever changed in it.
  if (root->NewestTime > 0 && scanned.NewestChange > newest.Moment()) {
    return RunArchiver(run, *root, lock.get(), ArchiveMoment(scanBegan, scanned.NewestChange));
  }
  return BackupOutcome::Done;
}

}  // namespace stampbak
