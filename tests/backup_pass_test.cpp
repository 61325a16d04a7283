#include "src/backup_pass.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fake_system.h"
#include "platform/system.h"
#include "src/failures.h"
#include "tests/temp_dir.h"
#include "tests/test_paths.h"

namespace stampbak {
namespace {

using platform::EntryKind;
using testing::P;

// Packed local times: the fake clock says 2026-12-06 01:30:54.
constexpr platform::DosDateTime kOlder = 0x586570E4;  // 2024-03-05 14:07:08
constexpr platform::DosDateTime kOneStepNewer = kOlder + 1;
constexpr platform::DosDateTime kTwoDaysAhead = (46U << 25) | (12U << 21) | (8U << 16);

struct FakePass {
  platform::fake::FakeSystem fake;
  platform::System system = fake.AsSystem();
  RunSettings settings;
  ReportChannel report{fake.output};

  FakePass() {
    settings.UseArchiver = true;
    fake.environment.variables["TEMP"] = P("/tmp");
    fake.AddDirectory(P("/src"));
    fake.AddEntry(P("/src/file"), EntryKind::File, kOlder);
    fake.AddDirectory(P("/dst"));
  }

  bool Run(const std::string& dstDir = P("/dst/")) {
    const stampbak::Run run{settings, system, report};
    return ProcessBackup(run, P("/src/"), dstDir, P("/dst/"));
  }
  std::size_t ArchiverRuns() const { return fake.processes.calls.size(); }
};

TEST(ProcessBackup, ArchivesOnlyWhenTheSourceIsStrictlyNewer) {
  FakePass none;
  EXPECT_TRUE(none.Run());
  EXPECT_EQ(none.ArchiverRuns(), 1U);

  FakePass same;
  same.fake.AddEntry(P("/dst/2026_01_01.rar"), EntryKind::File, kOlder);
  EXPECT_TRUE(same.Run());
  EXPECT_EQ(same.ArchiverRuns(), 0U);

  FakePass newer;
  newer.fake.AddEntry(P("/dst/old.rar"), EntryKind::File, kOlder);
  newer.fake.files.files[P("/src/file")].Packed = kOneStepNewer;
  newer.Run();
  EXPECT_EQ(newer.ArchiverRuns(), 1U);

  FakePass empty;
  empty.fake.directories.entries[P("/src")].clear();
  empty.Run();
  EXPECT_EQ(empty.ArchiverRuns(), 0U);  // nothing selected is never newer
}

TEST(ProcessBackup, UnstampedArchiveBesideTheDestinationCounts) {
  FakePass pass;
  pass.fake.files.files[P("/dst.rar")] = {platform::LookupStatus::Found, kOlder, ""};
  pass.Run();
  EXPECT_EQ(pass.ArchiverRuns(), 0U);
}

TEST(ProcessBackup, FutureDatedArchiveIsNotTrusted) {
  FakePass pass;
  pass.fake.AddEntry(P("/dst/wrong.rar"), EntryKind::File, kTwoDaysAhead);
  pass.fake.AddEntry(P("/dst/a.rar"), EntryKind::File, kOlder - 100);
  pass.Run();
  EXPECT_EQ(pass.ArchiverRuns(), 1U);
  EXPECT_EQ(pass.fake.diagnostics.warnings,
            (std::vector<std::string>{"stampbak: archive " + P("/dst/wrong.rar") +
                                      " is dated 2026-12-08 00:00:00, in the future; it is "
                                      "not taken as the last backup"}));

  FakePass tomorrow;  // less than a day ahead is a clock's difference, not a fault
  tomorrow.fake.AddEntry(P("/dst/a.rar"), EntryKind::File, (46U << 25) | (12U << 21) | (7U << 16));
  tomorrow.Run();
  EXPECT_EQ(tomorrow.ArchiverRuns(), 0U);
}

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
  EXPECT_EQ(scanOnly.fake.directories.opened, (std::vector<std::string>{P("/src")}));
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
