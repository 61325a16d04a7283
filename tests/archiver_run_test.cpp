#include "src/archiver_run.h"

#include <gtest/gtest.h>

#include "src/failures.h"
#include "tests/fake_run.h"
#include "tests/test_paths.h"

namespace stampbak {
namespace {

using testing::P;

struct FakeArchiverRun : testing::FakeRun {
  TBackupFile root{"", true, nullptr, 0};

  FakeArchiverRun() {
    settings.UseArchiver = true;
    settings.SrcDir = P("/data/");
    settings.DstDir = P("/backup/daily/");
    fake.environment.variables["TEMP"] = P("/tmp");
    root.AddChild("a.txt", false, 1);
    root.AddChild("sub", true, 0)->AddChild("b c.doc", false, 2);
  }

  bool Run() { return RunArchiver(Context(), root, nullptr); }
};

TEST(RunArchiver, HandsTheClosedListToTheArchiverInTheSourceDirectory) {
  FakeArchiverRun run;
  std::string listWhileRunning;
  run.fake.processes.whileRunning = [&](const auto&) {
    listWhileRunning = run.fake.files.created[P("/tmp/1234")];
  };
  EXPECT_TRUE(run.Run());
  ASSERT_EQ(run.fake.processes.calls.size(), 1U);
  const auto& call = run.fake.processes.calls[0];
  EXPECT_EQ(call.program, "rar");
  std::string text;
  for (const std::string& arg : call.arguments) text += " " + arg;
  EXPECT_EQ(text, " a -s -m5 -md4096 -tl " + P("/backup/daily.rar @/tmp/1234"));
  EXPECT_EQ(call.workingDirectory, P("/data/"));
  EXPECT_EQ(listWhileRunning, "a.txt\r\n" + P("sub/b c.doc") + "\r\n");
  EXPECT_EQ(run.fake.files.removed, (std::vector<std::string>{P("/tmp/1234")}));
  EXPECT_EQ(run.Report(), "");
}

TEST(RunArchiver, ListFileIsOnlyEverCreatedNew) {
  FakeArchiverRun taken;
  // After the tick count, numbers nobody can plant ahead of us.
  taken.fake.files.files[P("/tmp/1234")] = {};
  taken.fake.files.files[P("/tmp/5000")] = {};
  taken.Run();
  EXPECT_EQ(taken.fake.processes.calls.at(0).arguments.at(6), P("@/tmp/5001"));

  FakeArchiverRun allTaken;
  allTaken.fake.files.files[P("/tmp/1234")] = {};
  for (int number = 5000; number < 5099; ++number) {
    allTaken.fake.files.files[P("/tmp/") + std::to_string(number)] = {};
  }
  try {
    allTaken.Run();
    ADD_FAILURE() << "no failure";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + P("/tmp/5098"));
  }

  FakeArchiverRun denied;
  denied.fake.files.creationFails = true;
  EXPECT_THROW(denied.Run(), EFCreateError);
  EXPECT_TRUE(denied.fake.processes.calls.empty());
}

TEST(RunArchiver, IncompleteListNeverReachesTheArchiver) {
  for (int fault = 0; fault < 3; ++fault) {
    FakeArchiverRun run;
    if (fault == 0) run.fake.files.writableBytes = 3;  // fails inside a name
    if (fault == 1) run.fake.files.writableBytes = 5;  // fails at a line end
    if (fault == 2) run.fake.files.closeFails = true;
    try {
      run.Run();
      ADD_FAILURE() << "fault " << fault << " passed";
    } catch (const EWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot write file " + P("/tmp/1234"));
    }
    EXPECT_TRUE(run.fake.processes.calls.empty());
    EXPECT_EQ(run.fake.files.removed, (std::vector<std::string>{P("/tmp/1234")}));
  }
}

// Every way the run can leave after the list file was made removes it,
// but for an archiver that could not start: its list is kept to look at.
TEST(RunArchiver, ListFileGoesUnlessTheArchiverCouldNotStart) {
  FakeArchiverRun notStarted;
  notStarted.fake.processes.outcome = {false, 2, ""};
  EXPECT_FALSE(notStarted.Run());
  EXPECT_TRUE(notStarted.fake.files.removed.empty());
  EXPECT_EQ(notStarted.Report(), "CreateProcess failed with the following error: 2\r\n");

  FakeArchiverRun interrupted;
  interrupted.fake.processes.outcome = {true, 143, "SIGTERM"};
  EXPECT_FALSE(interrupted.Run());
  EXPECT_EQ(interrupted.fake.files.removed, (std::vector<std::string>{P("/tmp/1234")}));
  EXPECT_EQ(interrupted.Report(), "");
  EXPECT_EQ(interrupted.fake.diagnostics.warnings,
            (std::vector<std::string>{"stampbak: ended by SIGTERM, which was passed on to the "
                                      "archiver; no backup was made"}));

  FakeArchiverRun memory;
  memory.fake.processes.whileRunning = [](const auto&) { throw std::bad_alloc(); };
  EXPECT_THROW(memory.Run(), std::bad_alloc);
  EXPECT_EQ(memory.fake.files.removed, (std::vector<std::string>{P("/tmp/1234")}));
}

TEST(RunArchiver, NoListWhereItCouldBeSwappedNorAnArchiveInsideTheSource) {
  FakeArchiverRun shared;
  shared.fake.files.sharedDirectoryRisk = "it belongs to user 1000";
  EXPECT_THROW(shared.Run(), EFCreateError);
  EXPECT_TRUE(shared.fake.files.created.empty());
  EXPECT_EQ(shared.fake.diagnostics.warnings,
            (std::vector<std::string>{"stampbak: the temporary directory " + P("/tmp/") +
                                      " is not safe for the list file: it belongs to user 1000"}));

  FakeArchiverRun cwdGone;
  cwdGone.settings.DstDir = P("backup/");
  cwdGone.fake.files.workingDirectory.clear();
  EXPECT_THROW(cwdGone.Run(), EPathError);
  EXPECT_TRUE(cwdGone.fake.processes.calls.empty());
  EXPECT_TRUE(cwdGone.fake.files.created.empty());
}

}  // namespace
}  // namespace stampbak
