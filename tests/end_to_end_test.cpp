#include <gtest/gtest.h>

#include <filesystem>

#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

TEST(EndToEnd, WithoutDirectoriesOnlyTheErrorLineAndStatusOne) {
  TempDir dir;
  const Outcome outcome = RunStampbak(dir, "--help");
  EXPECT_EQ(outcome.out, "ERROR: missing the two directories!\r\n");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(outcome.err.starts_with("usage: stampbak -s SOURCE -d DESTINATION")) << outcome.err;
  EXPECT_NE(outcome.err.find("\n  -r "), std::string::npos);
  EXPECT_NE(outcome.err.find("man stampbak"), std::string::npos);
  EXPECT_EQ(RunStampbak(dir, "-d out -s").status, 1);
  EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

TEST(EndToEnd, HeaderAndDestinationChain) {
  TempDir dir;
  fs::create_directory(dir.path() / "SRC");
  const Outcome outcome = RunStampbak(dir, "S SRC /DEST DST/x/y -i '*.TXT;*.Doc'");
  EXPECT_EQ(outcome.out, ReportHeader("SRC/", "DST/x/y/", "*.txt;*.doc") + "All OK\r\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(fs::is_directory(dir.path() / "DST/x/y"));
}

TEST(EndToEnd, StampedDestinationFromTheClock) {
  if (std::system("command -v faketime > /dev/null") != 0) GTEST_SKIP() << "no faketime";
  TempDir dir;
  fs::create_directory(dir.path() / "src");
  // The preloaded clock comes before a sanitizer's runtime; that is fine here.
  const std::string clock =
      "TZ=UTC NO_FAKE_STAT=1 ASAN_OPTIONS=verify_asan_link_order=0 faketime '2026-12-06 01:30:54'";
  EXPECT_EQ(RunStampbak(dir, "-s src -d d -a -m", clock).out,
            ReportHeader("src/", "d/2026_12_06_01_30_54/") + "All OK\r\n");
  EXPECT_EQ(RunStampbak(dir, "-m -s src -d d", clock).out,
            ReportHeader("src/", "d/01_30_54/") + "All OK\r\n");
  EXPECT_TRUE(fs::is_directory(dir.path() / "d"));
  EXPECT_FALSE(fs::exists(dir.path() / "d/01_30_54"));
}

TEST(EndToEnd, UnusableStandardOutputCostsOnlyTheReport) {
  const std::pair<const char*, const char*> sinks[] = {{">&-", "closed"},
                                                       {"> /dev/full", "full device"}};
  for (const auto& [redirect, what] : sinks) {
    TempDir dir;
    fs::create_directory(dir.path() / "src");
    const Outcome outcome = RunStampbak(dir, "-s src -d new/sub", "", redirect);
    EXPECT_EQ(outcome.status, 0) << what;
    EXPECT_EQ(outcome.err, "") << what;
    EXPECT_TRUE(fs::is_directory(dir.path() / "new/sub")) << what;
  }
}

TEST(EndToEnd, PipeWhoseReaderHasGone) {
  TempDir dir;
  fs::create_directory(dir.path() / "src");
  const Outcome outcome =
      RunStampbak(dir, "-s src -d dst; echo $? > status; } | true", "{ sleep 0.3;", " ");
  EXPECT_EQ(ReadFile(dir / "status"), "0\n");
  EXPECT_TRUE(fs::is_directory(dir.path() / "dst"));
}

}  // namespace
}  // namespace stampbak::testing
