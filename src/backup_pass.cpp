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
  platform::LockAttempt attempt = run.system.locks.TryLock(baseDstDir);
  if (attempt.Status == platform::LockStatus::Busy) {
    throw EDestinationBusy("Another run is using " + baseDstDir);
  }
  if (attempt.Status == platform::LockStatus::Unavailable) {
    Warn(run, "cannot lock " + baseDstDir + ": " + attempt.Reason + "; going on without the lock");
  }
  return std::move(attempt.Lock);
}

std::string ShowTime(DosDateTime packed) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (packed >> 25),
                (packed >> 21) & 0x0F, (packed >> 16) & 0x1F, (packed >> 11) & 0x1F,
                (packed >> 5) & 0x3F, (packed & 0x1F) * 2);
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
    if (lookup.Status == platform::LookupStatus::OutOfMemory) throw std::bad_alloc();
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
  const platform::ListingOpen open = run.system.directories.Open(baseDstDir);
  if (open.Status == platform::LookupStatus::OutOfMemory) throw std::bad_alloc();
  if (!open.Listing) return;
  platform::DirectoryEntry entry;
  while (open.Listing->Next(entry)) {
    const bool directory = entry.Kind == platform::EntryKind::Directory ||
                           entry.Kind == platform::EntryKind::DirectoryLink;
    if (directory || !MatchMaskList(entry.Name, "*.rar")) continue;
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

bool ProcessBackup(const Run& run) {
  const RunSettings& settings = run.settings;
  const auto lock = settings.UseArchiver ? LockDestination(run, settings.BaseDstDir) : nullptr;
  const std::unique_ptr<TBackupFile> root =
      BuildBackupTree(run, settings.SrcDir, settings.IncludeMask, settings.ExcludeMask);
  root->UpdateNewestTime();
  if (!settings.UseArchiver) return true;
  if (root->NewestTime > GetLastBackupTime(run, settings.BaseDstDir)) {
    return RunArchiver(run, *root, lock.get());
  }
  return true;
}

}  // namespace stampbak
