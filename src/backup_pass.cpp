#include "src/backup_pass.h"

#include <cstdio>
#include <limits>
#include <new>

#include "src/archiver_run.h"
#include "src/failures.h"
#include "src/uBackupFile.h"

namespace stampbak {
namespace {

using platform::DosDateTime;

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

std::string ShowTime(DosDateTime packed) {
  const platform::LocalTime t = platform::UnpackDosDateTime(packed);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour,
                t.Minute, t.Second);
  return text;
}

// The newest trusted archive time seen so far. An archive dated more than a
// day ahead would make every later change look old, so it counts as none.
class NewestArchive {
 public:
  explicit NewestArchive(const Run& run) : run_(run) {
    now_ = DosDateTimeToDateTime(platform::PackDosDateTime(platform::Now()));
  }

  void Consider(const platform::FileTimeLookup& lookup, const std::string& path) {
    if (lookup.Status != platform::LookupStatus::Found) return;
    if (DosDateTimeToDateTime(lookup.Packed) > now_ + 1.0) {
      Warn(run_, "archive " + path + " is dated " + ShowTime(lookup.Packed) +
                     ", in the future; it is not taken as the last backup");
      return;
    }
    if (lookup.Packed > best_) best_ = lookup.Packed;
    if (lookup.Changed > written_) written_ = lookup.Changed;
  }

  DateTime Time() const { return best_ == 0 ? 0 : DosDateTimeToDateTime(best_); }
  // When the last of the trusted archives was written.
  platform::ChangeMoment Written() const { return written_; }

 private:
  const Run& run_;
  DateTime now_;
  DosDateTime best_ = 0;
  platform::ChangeMoment written_ = std::numeric_limits<platform::ChangeMoment>::min();
};

void ConsiderArchivesIn(const std::string& baseDstDir, NewestArchive& newest) {
  const platform::ListingOpen open = platform::OpenDirectory(baseDstDir);
  if (!open.Listing) return;
  platform::DirectoryEntry entry;
  const PreparedMaskList archives("*.rar");
  // A directory's look-up finds no file time, so only files count.
  while (open.Listing->Next(entry)) {
    if (!archives.Matches(entry.Name)) continue;
    newest.Consider(open.Listing->LastWriteTime(entry.Name), baseDstDir + entry.Name);
  }
}

// The newest trusted archive in the destination, or beside it where an
// unstamped run puts it.
NewestArchive GetLastBackupTime(const Run& run, const std::string& baseDstDir) {
  NewestArchive newest(run);
  ConsiderArchivesIn(baseDstDir, newest);
  // An unstamped run's archive lies beside the destination, not in it.
  const std::string beside = UnstampedArchiveName(baseDstDir);
  newest.Consider(platform::LastWriteTime(beside), beside);
  return newest;
}

}  // namespace

// An archive is due when a selected file was written after the newest
// archive's time, or arrived (copied, unpacked, moved or renamed in with
// an older time kept) after the last archive was written. The file system
// is the only memory: the archive made now is written after every arrival
// it packs, so the next unchanged run finds nothing due.
BackupOutcome ProcessBackup(const Run& run, std::unique_ptr<TBackupFile>& tree) {
  const RunSettings& settings = run.settings;
  const auto lock = settings.UseArchiver ? LockDestination(run, settings.BaseDstDir) : nullptr;
  ScannedSource scanned =
      BuildBackupTree(run, settings.SrcDir, settings.IncludeMask, settings.ExcludeMask);
  tree = std::move(scanned.Tree);
  TBackupFile* root = tree.get();
  root->UpdateNewestTime();
  if (!settings.UseArchiver) return BackupOutcome::Done;
  const NewestArchive newest = GetLastBackupTime(run, settings.BaseDstDir);
  if (root->NewestTime > newest.Time() || scanned.NewestChange > newest.Written()) {
    return RunArchiver(run, *root, lock.get());
  }
  return BackupOutcome::Done;
}

}  // namespace stampbak
