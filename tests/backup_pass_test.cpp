#include "src/backup_pass.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/system.h"
#include "src/failures.h"
#include "tests/fake_run.h"
#include "tests/temp_dir.h"
#include "tests/test_paths.h"

namespace stampbak {
namespace {

using platform::EntryKind;
using testing::P;

constexpr platform::DosDateTime kOlder = 0x586570E4;  // 2024-03-05 14:07:08

struct FakePass : testing::FakeRun {
  FakePass() {
    settings.UseArchiver = true;
    settings.SrcDir = P("/src/");
    settings.DstDir = P("/dst/");
    settings.BaseDstDir = P("/dst/");
    fake.environment.variables["TEMP"] = P("/tmp");
    fake.AddDirectory(P("/src"));
    fake.AddEntry(P("/src/file"), EntryKind::File, kOlder);
    fake.AddDirectory(P("/dst"));
  }

  bool Run() { return ProcessBackup(Context()); }
  std::size_t ArchiverRuns() const { return fake.processes.calls.size(); }
};

TEST(ProcessBackup, DestinationIsLockedForTheWholeArchivingRun) {
  FakePass pass;
  std::vector<std::string> lockedWhileArchiving;
  pass.fake.processes.whileRunning = [&](const auto&) {
    lockedWhileArchiving = pass.fake.locks.locked;
  };
  pass.Run();
  EXPECT_EQ(lockedWhileArchiving, (std::vector<std::string>{P("/dst/")}));
  EXPECT_TRUE(pass.fake.locks.locked.empty());

  FakePass busy;
  busy.fake.locks.status = platform::LockStatus::Busy;
  try {
    busy.Run();
    ADD_FAILURE() << "a busy destination passed";
  } catch (const EDestinationBusy& e) {
    EXPECT_EQ(std::string(e.what()), "Another run is using " + P("/dst/"));
  }
  EXPECT_TRUE(busy.fake.directories.opened.empty());  // before the scan

  FakePass unlockable;
  unlockable.fake.locks.status = platform::LockStatus::Unavailable;
  EXPECT_TRUE(unlockable.Run());
  EXPECT_EQ(unlockable.ArchiverRuns(), 1U);
  EXPECT_EQ(unlockable.fake.diagnostics.warnings.size(), 1U);

  FakePass scanOnly;
  scanOnly.settings.UseArchiver = false;
  scanOnly.fake.locks.status = platform::LockStatus::Busy;
  EXPECT_TRUE(scanOnly.Run());
}

TEST(GetLastBackupTime, CountsEveryArchiveFileWhateverItsAttributesOrCase) {
  namespace fs = std::filesystem;
  testing::TempDir dir;
  const fs::path dst = dir.path() / "dst";
  testing::WriteFile(dst / ".hidden.rar");
  testing::WriteFile(dst / "readonly.rar");
  testing::WriteFile(dst / "UPPER.RAR");
  testing::WriteFile(dst / "newest.txt");
  fs::create_directory(dst / "x.rar");
  testing::SetLocalWriteTime(dst / ".hidden.rar", 2024, 1, 1, 0, 0, 0);
  testing::SetLocalWriteTime(dst / "readonly.rar", 2024, 2, 1, 0, 0, 0);
  testing::SetLocalWriteTime(dst / "UPPER.RAR", 2024, 3, 5, 14, 7, 8);
  testing::SetLocalWriteTime(dst / "newest.txt", 2025, 1, 1, 0, 0, 0);
  fs::permissions(dst / "readonly.rar", fs::perms::owner_read);

  platform::System system = platform::RealSystem();
  platform::fake::FakeReportOutput output;
  ReportChannel report(output);
  const RunSettings settings;
  const stampbak::Run run{settings, system, report};
  const std::string base = dst.string() + "/";
  EXPECT_NEAR(GetLastBackupTime(run, base), 45356.5882870370, 1e-9);

  testing::SetLocalWriteTime(dst / "readonly.rar", 2024, 3, 5, 14, 7, 10);
  EXPECT_NEAR(GetLastBackupTime(run, base), 45356.5882870370 + 2.0 / 86400, 1e-9);

  EXPECT_EQ(GetLastBackupTime(run, (dir.path() / "missing").string() + "/"), 0);
  EXPECT_EQ(GetLastBackupTime(run, (dst / "x.rar").string() + "/"), 0);
}

}  // namespace
}  // namespace stampbak
