#include "src/run_sequence.h"

#include <gtest/gtest.h>

#include "platform/fake_system.h"
#include "src/uUtils.h"
#include "tests/report_header.h"
#include "tests/test_paths.h"

namespace stampbak {
namespace {

using testing::P;
using testing::ReportHeader;

struct FakeRun {
  platform::fake::FakeSystem fake;
  int status = -1;

  FakeRun() {
    for (const char* source : {"s", "/s", "/My Data"}) fake.AddDirectory(P(source));
  }

  std::string Run(const std::vector<std::string>& params) {
    return Run([&params] { return params; });
  }
  std::string Run(const ParameterReader& readParameters) {
    platform::System system = fake.AsSystem();
    status = RunProgram(system, readParameters);
    return fake.output.Delivered();
  }
};

TEST(RunProgram, StampFieldsHaveMinimumWidths) {
  FakeRun run;
  run.fake.clock.now = {12345, 1, 2, 3, 4, 5};
  EXPECT_EQ(run.Run({"-s", "s", "-d", "d", "-a", "-m"}),
            ReportHeader(P("s/"), P("d/12345_01_02_03_04_05/")) + "All OK\r\n");
}

TEST(RunProgram, MissingDirectoriesEndTheRunAsAFailure) {
  const std::vector<std::string> cases[] = {
      {}, {"-s", "x"}, {"-d", "x", "-s"}, {"-s", "\"", "-d", "x"}, {"-s", "x", "-d", "\"\""},
  };
  for (const auto& params : cases) {
    FakeRun run;
    EXPECT_EQ(run.Run(params), "ERROR: missing the two directories!\r\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.fake.files.createAttempts.empty());
  }
}

TEST(RunProgram, NormalisesQuotesSeparatorsAndMaskCase) {
  FakeRun run;
  const std::string out = run.Run(
      {"-s", "\"" + P("/My Data") + "\"", "-d", P("/dst/"), "-i", "*.TXT;*.Doc", "-e", "TEMP\xC9"});
  // The exclude list goes through the platform's mapping, accented capitals
  // included where the code page has them.
  EXPECT_EQ(out, ReportHeader(P("/My Data/"), P("/dst/"), "*.txt;*.doc", LowerCase("temp\xC9")) +
                     "All OK\r\n");
}

TEST(RunProgram, ExhaustedMemoryEndsTheRunWithStatusOne) {
  // While the parameters are read, and while the run works.
  for (const bool whileReading : {true, false}) {
    FakeRun run;
    run.fake.files.outOfMemory = !whileReading;
    const std::string out = run.Run([whileReading] {
      if (whileReading) throw std::bad_alloc();
      return std::vector<std::string>{"-s", "s", "-d", "d"};
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.fake.diagnostics.failures.size(), 1U);
    EXPECT_EQ(run.fake.diagnostics.failures[0],
              "Exception EOutOfMemory in module stampbak at 00000000.\nOut of memory.");
  }
}

}  // namespace
}  // namespace stampbak
