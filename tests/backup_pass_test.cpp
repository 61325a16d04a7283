#include "src/backup_pass.h"

#include <gtest/gtest.h>

#include "src/failures.h"
#include "tests/fake_system.h"

namespace stampbak::testing {
namespace {

struct FakePass : FakeRun {
  std::unique_ptr<TBackupFile> tree;

  FakePass() {
    settings.UseArchiver = true;
    settings.SrcDir = "/src/";
    settings.DstDir = settings.BaseDstDir = "/dst/";
    environment.variables["TEMP"] = "/tmp";
    files.Add("/src", EntryKind::Directory);
    files.Add("/src/file", EntryKind::File, {LookupStatus::Found, 0x586570E4, ""});
    files.Add("/dst", EntryKind::Directory);
  }
};

// Two runs must never update one archive at once: the lock is taken before
// the scan and held while the archiver runs; a lock the file system cannot
// give costs a warning, not the backup.
TEST(ProcessBackup, DestinationIsLockedForTheWholeArchivingRun) {
  FakePass pass;
  int heldWhileArchiving = 0;
  pass.processes.whileRunning = [&] { heldWhileArchiving = pass.files.locksHeld; };
  EXPECT_EQ(ProcessBackup(pass.Context(), pass.tree), BackupOutcome::Done);
  EXPECT_EQ(heldWhileArchiving, 1);
  EXPECT_EQ(pass.files.locksHeld, 0);

  FakePass busy;
  busy.files.lockStatus = platform::LockStatus::Busy;
  try {
    ProcessBackup(busy.Context(), busy.tree);
    ADD_FAILURE() << "a busy destination passed";
  } catch (const EDestinationBusy& e) {
    EXPECT_EQ(std::string(e.what()), "Another run is using /dst/");
  }
  EXPECT_EQ(busy.Report(), "");  // before the scan

  FakePass unlockable;
  unlockable.files.lockStatus = platform::LockStatus::Unavailable;
  EXPECT_EQ(ProcessBackup(unlockable.Context(), unlockable.tree), BackupOutcome::Done);
  EXPECT_EQ(unlockable.processes.calls.size(), 1U);
  EXPECT_EQ(unlockable.diagnostics.warnings,
            (std::vector<std::string>{
                "stampbak: cannot lock /dst/: Read-only; going on without the lock"}));
}

}  // namespace
}  // namespace stampbak::testing
