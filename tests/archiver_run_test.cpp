#include "src/archiver_run.h"

#include <gtest/gtest.h>

#include "src/failures.h"
#include "tests/fake_system.h"

namespace stampbak::testing {
namespace {

struct FakeArchiverRun : FakeRun {
  TBackupFile root{"", true, nullptr, 0};

  FakeArchiverRun() {
    settings.SrcDir = "/data/";
    settings.DstDir = "/backup/daily/";
    environment.variables["TEMP"] = "/tmp";
    root.AddChild("a.txt", false, 1);
  }
  BackupOutcome Run() { return RunArchiver(Context(), root, nullptr); }
  std::string ListName() const { return processes.calls.at(0).at(6); }
};

// The first name is the tick count; names nobody can plant ahead of us
// follow, a hundred in all, and only a new file is ever taken.
TEST(RunArchiver, ListFileIsOnlyEverCreatedNew) {
  FakeArchiverRun taken;
  taken.files.times["/tmp/1234"] = {};
  taken.files.times["/tmp/5000"] = {};
  EXPECT_EQ(taken.Run(), BackupOutcome::Done);
  EXPECT_EQ(taken.ListName(), "@/tmp/5001");

  FakeArchiverRun allTaken;
  allTaken.files.times["/tmp/1234"] = {};
  for (int number = 5000; number < 5099; ++number) {
    allTaken.files.times["/tmp/" + std::to_string(number)] = {};
  }
  try {
    allTaken.Run();
    ADD_FAILURE() << "no failure";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file /tmp/5098");
  }

  FakeArchiverRun denied;
  denied.files.creationFails = true;
  EXPECT_THROW(denied.Run(), EFCreateError);
  EXPECT_TRUE(denied.processes.calls.empty());
}

// A list the archiver would read short never reaches it, and is removed.
TEST(RunArchiver, IncompleteListNeverReachesTheArchiver) {
  for (const bool atClose : {false, true}) {
    FakeArchiverRun run;
    run.files.writableBytes = atClose ? std::string::npos : 3;
    run.files.closeFails = atClose;
    try {
      run.Run();
      ADD_FAILURE() << "a short list passed";
    } catch (const EWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot write file /tmp/1234");
    }
    EXPECT_TRUE(run.processes.calls.empty());
    EXPECT_EQ(run.files.removed, (std::vector<std::string>{"/tmp/1234"}));
  }
}

// Started in a directory since removed, a relative destination cannot be
// made absolute: handed on as it is, the archive would land in the source.
TEST(RunArchiver, NoArchiveInsideTheSourceWhenTheWorkingDirectoryIsGone) {
  FakeArchiverRun run;
  run.settings.DstDir = "backup/";
  run.files.workingDirectory.clear();
  EXPECT_THROW(run.Run(), EPathError);
  EXPECT_TRUE(run.processes.calls.empty());
  EXPECT_TRUE(run.files.created.empty());
}

}  // namespace
}  // namespace stampbak::testing
