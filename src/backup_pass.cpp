#include "src/backup_pass.h"

#include <cstdio>
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
  platform::LockAttempt attempt = run.system.files.TryLock(baseDstDir);
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
    now_ = DosDateTimeToDateTime(platform::PackDosDateTime(run.system.clock.Now()));
  }

  void Consider(const platform::FileTimeLookup& lookup, const std::string& path) {
    if (lookup.Status != platform::LookupStatus::Found) return;
    if (DosDateTimeToDateTime(lookup.Packed) > now_ + 1.0) {
      Warn(run_, "archive " + path + " is dated " + ShowTime(lookup.Packed) +
                     ", in the future; it is not taken as the last backup");
      return;
    }
    if (lookup.Packed > best_) best_ = lookup.Packed;
  }

  DateTime Time() const { return best_ == 0 ? 0 : DosDateTimeToDateTime(best_); }

 private:
  const Run& run_;
  DateTime now_;
  DosDateTime best_ = 0;
};

void ConsiderArchivesIn(const Run& run, const std::string& baseDstDir, NewestArchive& newest) {
  const platform::ListingOpen open = run.system.files.OpenDirectory(baseDstDir);
  if (!open.Listing) return;
  platform::DirectoryEntry entry;
  const PreparedMaskList archives("*.rar");
  // A directory's look-up finds no file time, so only files count.
  while (open.Listing->Next(entry)) {
    if (!archives.Matches(entry.Name)) continue;
    newest.Consider(open.Listing->LastWriteTime(entry.Name), baseDstDir + entry.Name);
  }
}

}  // namespace

DateTime GetLastBackupTime(const Run& run, const std::string& baseDstDir) {
  NewestArchive newest(run);
  ConsiderArchivesIn(run, baseDstDir, newest);
  // An unstamped run's archive lies beside the destination, not in it.
  const std::string beside = baseDstDir.substr(0, baseDstDir.size() - 1) + ".rar";
  newest.Consider(run.system.files.LastWriteTime(beside), beside);
  return newest.Time();
}

BackupOutcome ProcessBackup(const Run& run, std::unique_ptr<TBackupFile>& tree) {
  const RunSettings& settings = run.settings;
  const auto lock = settings.UseArchiver ? LockDestination(run, settings.BaseDstDir) : nullptr;
  tree = BuildBackupTree(run, settings.SrcDir, settings.IncludeMask, settings.ExcludeMask);
  TBackupFile* root = tree.get();
  root->UpdateNewestTime();
  if (!settings.UseArchiver) return BackupOutcome::Done;
  if (root->NewestTime > GetLastBackupTime(run, settings.BaseDstDir)) {
    return RunArchiver(run, *root, lock.get());
  }
  return BackupOutcome::Done;
}

}  // namespace stampbak
