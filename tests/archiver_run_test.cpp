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
    fake.environment.variables["TEMP"] = P("/tmp");
    root.AddChild("a.txt", false, 1);
    root.AddChild("sub", true, 0)->AddChild("b c.doc", false, 2);
  }

  bool Run() { return RunArchiver(Context(), root, P("/data/"), P("/backup/daily/")); }
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
  taken.fake.files.files[P("/tmp/1234")] = {};
  taken.fake.files.files[P("/tmp/1235")] = {};
  taken.Run();
  EXPECT_EQ(taken.fake.processes.calls.at(0).arguments.at(6), P("@/tmp/1236"));

  FakeArchiverRun allTaken;
  for (int tick = 1234; tick < 1334; ++tick) {
    allTaken.fake.files.files[P("/tmp/") + std::to_string(tick)] = {};
  }
  try {
    allTaken.Run();
    ADD_FAILURE() << "no failure";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + P("/tmp/1333"));
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

}  // namespace
}  // namespace stampbak
