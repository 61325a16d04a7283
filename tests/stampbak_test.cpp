// The whole tool as a scheduler runs it, the same cases for the native
// executable and for stampbak.exe under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

// One run: a tree, the arguments, and all it should come to. Paths are
// written with "/" and shown as the platform shows them.
struct Scenario {
  const char* name;
  std::vector<std::string> tree;  // files; a name ending in "/" a directory
  std::string args;
  std::string out;  // the report; its scan lines in any order
  int status;
  std::string err;      // what standard error holds; "": no word of stampbak's
  std::string list;     // what the archiver was handed; "": it never ran
  std::string archive;  // what must exist afterwards
};

const Scenario kScenarios[] = {
    {"without directories, the error line and how to call",
     {},
     "--help",
     "ERROR: missing the two directories!\r\n",
     1,
     "usage: stampbak -s SOURCE -d DESTINATION",
     "",
     ""},
    {"the lists decide for files and directories",
     {"src/a.txt", "src/notes.log", "src/skip.doc", "src/.hidden", "src/sub/b.txt",
      "src/temp/hidden.txt", "src/other/c.txt", "src/empty/"},
     "-s src -d dst -i '*.txt;*.log;sub;temp;empty;.hidden' -e 'TEMP;*.LOG;*.doc'",
     ReportHeader("src/", "dst/", "*.txt;*.log;sub;temp;empty;.hidden", "temp;*.log;*.doc") +
         "C src/a.txt\r\nE src/notes.log\r\nS src/skip.doc\r\nC src/.hidden\r\n"
         "C src/sub/b.txt\r\nAll OK\r\n",
     0,
     "",
     "",
     "dst/"},
    {"a source that cannot be read is no empty backup",
     {},
     "-s missing -d dst",
     ReportHeader("missing/", "dst/"),
     1,
     "Cannot read source directory missing/.",
     "",
     ""},
    {"an empty source is",
     {"empty/"},
     "-s empty -d dst",
     ReportHeader("empty/", "dst/") + "All OK\r\n",
     0,
     "",
     "",
     ""},
    {"the unstamped archive lies beside the destination",
     {"src/a.txt", "src/sub/b.txt"},
     "-s src -d dst -r",
     ReportHeader("src/", "dst/") + "C src/a.txt\r\nC src/sub/b.txt\r\nAll OK\r\n",
     0,
     "",
     "a.txt\r\nsub/b.txt\r\n",
     "dst.rar"},
    {"blanks reach the archiver whole; a relative destination is ours",
     {"my src/c d.txt"},
     "-s 'my src' -d 'out/my dst' -r",
     ReportHeader("my src/", "out/my dst/") + "C my src/c d.txt\r\nAll OK\r\n",
     0,
     "",
     "c d.txt\r\n",
     "out/my dst.rar"},
};

TEST_P(StampbakRun, Scenarios) {
  for (const Scenario& s : kScenarios) {
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    fs::create_directory(dir.path() / "tmp");
    for (const std::string& file : s.tree) {
      if (file.ends_with("/")) {
        fs::create_directories(dir.path() / file);
      } else {
        WriteFile(dir.path() / file, file);
      }
    }
    const Outcome outcome = Run(P(s.args));
    EXPECT_EQ(SortedLines(outcome.out), SortedLines(P(s.out))) << s.name;
    EXPECT_EQ(outcome.status, s.status) << s.name;
    if (s.err.empty()) {
      EXPECT_EQ(outcome.err.find("stampbak"), std::string::npos) << s.name << outcome.err;
    } else {
      EXPECT_NE(outcome.err.find(P(s.err)), std::string::npos) << s.name << outcome.err;
    }
    EXPECT_EQ(SortedLines(Recorded("list")), SortedLines(P(s.list))) << s.name;
    EXPECT_TRUE(s.archive.empty() || fs::exists(dir.path() / s.archive)) << s.name;
    EXPECT_TRUE(Windows() || fs::is_empty(dir.path() / "tmp")) << s.name;  // no list left
  }
}

// Masks are lowered by the platform's rule (Latin-1 here); the destination
// chain is created, a relative first component included.
TEST_P(StampbakRun, HeaderLowersTheMasksAndTheDestinationChainIsMade) {
  fs::create_directory(dir.path() / "SRC");
  std::string environment;
  if (!Windows()) {
    ASSERT_EQ(std::system(("localedef -i en_US -f ISO-8859-1 " + Quoted(dir / "en_US.ISO-8859-1") +
                           " 2> /dev/null")
                              .c_str()),
              0);
    environment = "LOCPATH=" + Quoted(dir.path().string()) + " LC_ALL=en_US.ISO-8859-1";
  }
  // Wine takes its command line as UTF-8, so the accent is for the native run.
  const std::string accent = Windows() ? "" : "\xC9";
  const Outcome outcome =
      Run(P("S SRC -DEST 'DST/x/y' -i '*.TXT;*.Doc' -e 'TEMP") + accent + "'", environment);
  EXPECT_EQ(outcome.out,
            ReportHeader(P("SRC/"), P("DST/x/y/"), "*.txt;*.doc", Windows() ? "temp" : "temp\xE9") +
                "All OK\r\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(fs::is_directory(dir.path() / "DST/x/y"));
}

// The archive's time, that of its newest file, is the memory between runs:
// the next archive comes only when a file is newer by a two-second step.
TEST_P(StampbakRun, ArchivesOnlyAfterAChange) {
  WriteFile(dir.path() / "src/a.txt");
  WriteFile(dir.path() / "src/sub/b.txt");
  for (const char* file : {"src/a.txt", "src/sub/b.txt"}) {
    SetLocalWriteTime(dir.path() / file, "2024-03-05 14:07:08");
  }
  const Outcome first = Run("-s src -d dst -r -a");
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string stamp = first.out.substr(first.out.find("DstDir = dst") + 13, 10);
  EXPECT_TRUE(fs::exists(dir.path() / "dst" / (stamp + ".rar"))) << first.out;
  EXPECT_EQ(Run("-s src -d dst -r -a").status, 0);
  EXPECT_EQ(ArchiverRuns(), 1);
  SetLocalWriteTime(dir.path() / "src/a.txt", "2024-03-05 14:07:09");
  Run("-s src -d dst -r -a -m");
  EXPECT_EQ(ArchiverRuns(), 1);  // the same two-second step
  SetLocalWriteTime(dir.path() / "src/sub/b.txt", "2024-03-05 14:07:10");
  EXPECT_EQ(Run("-s src -d dst -r -a -m").status, 0);
  EXPECT_EQ(ArchiverRuns(), 2);
  // Unstamped, the archive beside the destination is the memory.
  Run("-s src -d other -r");
  Run("-s src -d other -r");
  EXPECT_EQ(ArchiverRuns(), 3);
}

TEST_P(StampbakRun, ArchiverMissingOrFailingIsNoBackup) {
  WriteFile(dir.path() / "src/a.txt");
  const Outcome missing = Run("-s src -d dst -r", Windows() ? "WINEPATH=" : "PATH=/nonexistent");
  EXPECT_TRUE(missing.out.ends_with("C " + P("src/a.txt") +
                                    "\r\nCreateProcess failed with the following error: 2\r\n"))
      << missing.out;
  EXPECT_EQ(missing.status, 1);
  const Outcome failing = Run("-s src -d dst -r", "STAND_IN_RAR_EXIT=3");
  EXPECT_TRUE(failing.out.ends_with("Archiver failed with the following exit code: 3\r\n"))
      << failing.out;
  EXPECT_EQ(failing.status, 1);
  // The list stays for the operator only when the archiver could not start.
  EXPECT_TRUE(Windows() || std::distance(fs::directory_iterator(dir.path() / "tmp"), {}) == 1);
}

// An archive dated ahead would make every later change look old. Where the
// warning shares the report's file it comes between whole lines; Wine
// cannot tell that it does, so there the report leaves at the end.
TEST_P(StampbakRun, FutureDatedArchiveIsNotTrusted) {
  WriteFile(dir.path() / "src/a.txt");
  WriteFile(dir.path() / "dst/wrong.rar");
  SetLocalWriteTime(dir.path() / "dst/wrong.rar", "2099-01-02 12:34:56");
  Run("-s src -d dst -r", "", "> log 2>&1");
  const std::string lineEnd = Windows() ? "\r\n" : "\n";
  std::string log = ReadFile(dir / "log");
  const std::size_t archiverTalk = log.find("stand-in rar: done");
  if (archiverTalk != std::string::npos) {
    log.erase(archiverTalk, log.find('\n', archiverTalk) + 1 - archiverTalk);
  }
  const std::string report = ReportHeader(P("src/"), P("dst/")) + "C " + P("src/a.txt") + "\r\n";
  const std::string warning = "stampbak: archive " + P("dst/wrong.rar") +
                              " is dated 2099-01-02 12:34:56, in the future; it is not taken as "
                              "the last backup" +
                              lineEnd;
  EXPECT_EQ(log, Windows() ? warning + report + "All OK\r\n" : report + warning + "All OK\r\n");
  EXPECT_EQ(ArchiverRuns(), 1);
}

// However the destination inside the source is spelled, the archives the
// change check counts (those in it, and the unstamped one beside it, in the
// source here) are never packed into the next one.
TEST_P(StampbakRun, DestinationInsideTheSourceNeverPacksItself) {
  WriteFile(dir.path() / "src/a.txt");
  int second = 0;
  const std::pair<const char*, const char*> runs[] = {
      {"src/./backup", "-a"}, {"src/./backup", "-a -m"}, {"src/backup", ""}, {"src/backup", ""}};
  for (const auto& [destination, stamp] : runs) {
    SetLocalWriteTime(dir.path() / "src/a.txt", "2024-03-05 14:07:" + std::to_string(second += 2));
    const Outcome outcome = Run("-s src -r -d " + Quoted(P(destination)) + " " + stamp);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(Recorded("list"), "a.txt\r\n") << destination << stamp;
    // From the second run on there are archives to leave out.
    EXPECT_EQ(outcome.err.find("stampbak: the destination lies inside the source; its archives "
                               "are not packed again: " +
                               P(destination)) != std::string::npos,
              second > 2)
        << destination << stamp << outcome.err;
  }
  EXPECT_EQ(ArchiverRuns(), 4);
}

// Only Windows shows these: a raw command line with "/" options, names the
// ANSI code page cannot hold (left out, with a warning), a directory link
// (never entered), and a failure with no standard error to tell it on (a
// message box, which without a visible desktop is never shown).
TEST_P(StampbakRun, WindowsOnlyCommandLineNamesAndLinks) {
  if (!Windows()) GTEST_SKIP() << "Windows only";
  WriteFile(dir.path() / "my src/a.TXT");
  WriteFile(dir.path() / "my src/\u0101.txt");
  WriteFile(dir.path() / "my src/dir\u0101/in.txt");
  fs::create_directory_symlink("dir\u0101", dir.path() / "my src/link");
  const Outcome outcome = Run("/S 'my src' -DEST 'my dst' -i '*.TXT;link;dir*'");
  EXPECT_EQ(SortedLines(outcome.out),
            SortedLines(ReportHeader("my src\\", "my dst\\", "*.txt;link;dir*") +
                        "C my src\\a.TXT\r\nS my src\\?.txt\r\nAll OK\r\n"));
  EXPECT_NE(outcome.err.find("stampbak: not archived, cannot read the time of my src\\?.txt: "),
            std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("stampbak: cannot read directory my src\\dir?\\: "), std::string::npos)
      << outcome.err;
  const Outcome boxed = Run("-s missing -d dst", "", "> out 2>&-");
  EXPECT_EQ(boxed.status, 1);
  EXPECT_EQ(ReadFile(dir / "out"), ReportHeader("missing\\", "dst\\"));
}

INSTANTIATE_TEST_SUITE_P(Native, StampbakRun, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Wine, StampbakRun, ::testing::Values(true));

}  // namespace
}  // namespace stampbak::testing
