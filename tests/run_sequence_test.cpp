#include "src/run_sequence.h"

#include <gtest/gtest.h>

#include <new>

#include "tests/fake_system.h"

namespace stampbak::testing {
namespace {

// While the parameters are read, and while the run works.
TEST(RunProgram, ExhaustedMemoryEndsTheRunWithStatusOne) {
  for (const bool whileReading : {true, false}) {
    FakeRun run;
    run.files.outOfMemory = !whileReading;
    std::unique_ptr<TBackupFile> tree;
    const ExitStatus status = RunProgram(
        run.system,
        [whileReading] {
          if (whileReading) throw std::bad_alloc();
          return std::vector<std::string>{"-s", "s", "-d", "d"};
        },
        tree);
    EXPECT_EQ(status, ExitStatus::NoBackup);
    EXPECT_EQ(run.output.Delivered().find("All OK"), std::string::npos);
    EXPECT_EQ(run.diagnostics.failures,
              (std::vector<std::string>{
                  "Exception EOutOfMemory in module stampbak at 00000000.\nOut of memory."}));
  }
}

}  // namespace
}  // namespace stampbak::testing
