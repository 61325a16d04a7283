#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "tests/mask_examples.h"
#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

const std::string kHeaderEnd = "\r\n\r\nnow processing...\r\n";

// The scan lines of the report, between the header and the closing line.
std::string ScanLines(const std::string& out) {
  const std::size_t start = out.find(kHeaderEnd);
  const std::size_t end = out.rfind("All OK\r\n");
  if (start == std::string::npos || end == std::string::npos) return "<no scan>";
  return out.substr(start + kHeaderEnd.size(), end - start - kHeaderEnd.size());
}

TEST(EndToEndScan, LinesFollowTheDirectoryOrderDepthFirst) {
  TempDir dir;
  WriteFile(dir.path() / "src/.hidden");
  WriteFile(dir.path() / "src/a.txt");
  WriteFile(dir.path() / "src/notes.log");
  WriteFile(dir.path() / "src/sub/b.txt");
  WriteFile(dir.path() / "src/sub/deeper/c.doc");
  WriteFile(dir.path() / "src/temp/hidden.txt");
  fs::create_directory(dir.path() / "src/empty");
  std::string expected;
  // Expected lines in the order the platform lists the entries.
  const std::function<void(const fs::path&, const std::string&)> walk =
      [&](const fs::path& path, const std::string& shown) {
        for (const auto& entry : fs::directory_iterator(path)) {
          const std::string name = entry.path().filename().string();
          if (entry.is_directory()) {
            if (name != "temp") walk(entry.path(), shown + name + "/");
          } else {
            const char* tag = name == "notes.log" ? "E " : name.ends_with(".doc") ? "S " : "C ";
            expected += tag + shown + name + "\r\n";
          }
        }
      };
  walk(dir.path() / "src", "src/");
  const Outcome outcome = RunStampbak(
      dir, "-s src -d dst -i '*.txt;*.log;sub;deeper;.hidden;temp;empty' -e 'TEMP;*.LOG'");
  EXPECT_EQ(
      outcome.out.substr(0, outcome.out.find(kHeaderEnd) + kHeaderEnd.size()),
      ReportHeader("src/", "dst/", "*.txt;*.log;sub;deeper;.hidden;temp;empty", "temp;*.log"));
  EXPECT_EQ(ScanLines(outcome.out), expected);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
}

TEST(EndToEndScan, LinksFifosAndLineBreaks) {
  TempDir dir;
  WriteFile(dir.path() / "src/real.txt");
  fs::create_directory_symlink("..", dir.path() / "src/loop");
  fs::create_symlink("real.txt", dir.path() / "src/link.txt");
  fs::create_symlink("nowhere", dir.path() / "src/dangling");
  ASSERT_EQ(mkfifo((dir / "src/fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((dir / "src/fifo.log").c_str(), 0600), 0);
  WriteFile(dir.path() / "src/x\n/shadow");
  WriteFile(dir.path() / "src/y\r\n");
  const Outcome outcome = RunStampbak(dir, "-s src -d dst -e '*.log'");
  EXPECT_EQ(SortedLines(ScanLines(outcome.out)),
            (std::vector<std::string>{"C src/link.txt", "C src/real.txt", "E src/fifo.log",
                                      "S src/dangling", "S src/fifo", "S src/y??"}));
  EXPECT_EQ(outcome.status, 0);
  const std::string warnings[] = {"stampbak: not entered, the name holds a line break: src/x?\n",
                                  "stampbak: not archived, the name holds a line break: src/y??\n"};
  EXPECT_TRUE(outcome.err == warnings[0] + warnings[1] || outcome.err == warnings[1] + warnings[0])
      << outcome.err;
}

TEST(EndToEndScan, SourceThatCannotBeReadEndsTheRun) {
  TempDir dir;
  WriteFile(dir.path() / "file");
  for (const char* source : {"missing", "file"}) {
    const Outcome outcome = RunStampbak(dir, std::string("-s ") + source + " -d dst");
    EXPECT_EQ(outcome.out, ReportHeader(std::string(source) + "/", "dst/", "*.*", ""));
    EXPECT_EQ(outcome.status, 1);
    const std::string message = std::string("Cannot read source directory ") + source + "/.\n";
    EXPECT_TRUE(outcome.err.starts_with("Exception ESourceError in module stampbak at "))
        << outcome.err;
    EXPECT_TRUE(outcome.err.ends_with(".\n" + message)) << outcome.err;
  }
  fs::create_directory(dir.path() / "empty");
  fs::create_directory_symlink("empty", dir.path() / "linked");
  for (const char* source : {"empty", "linked"}) {
    const Outcome outcome = RunStampbak(dir, std::string("-s ") + source + " -d dst");
    EXPECT_EQ(ScanLines(outcome.out), "");
    EXPECT_EQ(outcome.status, 0);
  }
}

// Permissions do not bind root, so as root the run is made as nobody.
std::string WithoutPrivileges() {
  return geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
}

TEST(EndToEndScan, UnreadableDirectories) {
  TempDir dir;
  WriteFile(dir.path() / "src/locked/secret");
  WriteFile(dir.path() / "src/open/a");
  fs::create_directory(dir.path() / "dst");
  fs::permissions(dir.path() / "dst", fs::perms::all);
  fs::permissions(dir.path() / "src/locked", fs::perms::none);
  const Outcome outcome = RunStampbak(dir, "-s src -d dst -i 'locked;open;a'", WithoutPrivileges());
  EXPECT_EQ(ScanLines(outcome.out), "C src/open/a\r\n");
  EXPECT_EQ(outcome.err, "stampbak: cannot read directory src/locked/: Permission denied\n");
  EXPECT_EQ(outcome.status, 0);
  fs::permissions(dir.path() / "src", fs::perms::none);
  const Outcome source = RunStampbak(dir, "-s src -d dst", WithoutPrivileges());
  EXPECT_EQ(source.status, 1);
  fs::permissions(dir.path() / "src", fs::perms::owner_all);
  fs::permissions(dir.path() / "src/locked", fs::perms::owner_all);
}

TEST(EndToEndScan, MaskAnswersOfTheDesignAsARunSeesThem) {
  for (const MaskExample& row : kMaskExamples) {
    TempDir dir;
    WriteFile(dir.path() / "src" / row.name);
    const Outcome outcome = RunStampbak(dir, std::string("-s src -d dst -i ") + Quoted(row.list));
    EXPECT_EQ(ScanLines(outcome.out),
              std::string(row.takenInARun ? "C " : "S ") + "src/" + row.name + "\r\n")
        << row.name << " against " << row.list;
  }
}

// Far more levels than descriptors: every file is still met.
TEST(EndToEndScan, TreeDeeperThanTheDescriptorLimit) {
  TempDir dir;
  fs::path level = dir.path() / "src";
  std::string shown = "src/";
  std::vector<std::string> expected;
  for (int i = 0; i < 120; ++i) {
    WriteFile(level / "f");
    expected.push_back("C " + shown + "f");
    level /= "d";
    shown += "d/";
  }
  std::sort(expected.begin(), expected.end());
  const Outcome outcome = RunStampbak(dir, "-s src -d dst", "ulimit -n 40;");
  EXPECT_EQ(SortedLines(ScanLines(outcome.out)), expected);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 0);
}

// Where warnings and the report share one file, a warning never lands
// inside a report line; each warning stays one line.
TEST(EndToEndScan, WarningsBetweenReportLinesInACommonLog) {
  TempDir dir;
  WriteFile(dir.path() / "src/line\nbreak");
  const Outcome outcome = RunStampbak(dir, "-s src -d dst", "", "> log 2>&1");
  EXPECT_EQ(ReadFile(dir / "log"),
            ReportHeader("src/", "dst/") + "S src/line?break\r\n" +
                "stampbak: not archived, the name holds a line break: src/line?break\n" +
                "All OK\r\n");
}

}  // namespace
}  // namespace stampbak::testing
