#include "src/backup_pass.h"

#include <gtest/gtest.h>

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

// A lock the file system cannot give costs a warning, not the backup.
TEST(ProcessBackup, DestinationThatCannotBeLockedIsStillBackedUp) {
  FakePass pass;
  pass.files.lockStatus = platform::LockStatus::Unavailable;
  EXPECT_EQ(ProcessBackup(pass.Context(), pass.tree), BackupOutcome::Done);
  EXPECT_EQ(pass.processes.calls.size(), 1U);
  EXPECT_EQ(pass.diagnostics.warnings,
            (std::vector<std::string>{
                "stampbak: cannot lock /dst/: Read-only; going on without the lock"}));
}

}  // namespace
}  // namespace stampbak::testing
