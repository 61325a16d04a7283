// Runs the Windows executable under Wine the way Task Scheduler would run
// it on Windows: real arguments, output to files, the status checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

const std::string kBuild = WINDOWS_BUILD_DIR;

// The Windows form of a Unix path, as Wine maps the root to drive Z:.
std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

std::string Wine() {
  return "WINEPREFIX=" + Quoted(kBuild + "/wineprefix") + " WINEDEBUG=-all wine";
}

class WindowsRun : public ::testing::Test {
 protected:
  // One prefix for the suite, its TEMP a directory with a blank in its name.
  static void SetUpTestSuite() {
    if (!fs::exists(kBuild + "/stampbak.exe")) return;
    fs::create_directories(TempDirectory());
    const std::string setup = Wine() + " reg add 'HKCU\\Environment' /v TEMP /t REG_SZ /d " +
                              Quoted(WindowsPath(TempDirectory())) + " /f > /dev/null 2>&1";
    ASSERT_EQ(std::system(setup.c_str()), 0);
  }
  static std::string TempDirectory() { return kBuild + "/wine tmp"; }

  void SetUp() override {
    if (!fs::exists(kBuild + "/stampbak.exe")) {
      if (std::getenv("STAMPBAK_REQUIRE_WINDOWS") != nullptr) FAIL() << "no Windows build";
      GTEST_SKIP() << "no Windows build in " << kBuild;
    }
    WriteFile(dir.path() / "src/a.txt", "alpha");
    WriteFile(dir.path() / "src/sub/b.txt", "beta");
  }

  // The stand-in archiver on the program search path, recording its calls.
  std::string StandIn() const {
    return "WINEPATH=" + Quoted(WindowsPath(kBuild + "/stand-in")) +
           " STAND_IN_RAR_RECORD=" + Quoted(dir / "record");
  }
  Outcome Run(const std::string& args, const std::string& environment) {
    return RunInShell(
        dir, environment + " " + Wine() + " " + Quoted(kBuild + "/stampbak.exe") + " " + args);
  }
  Outcome Run(const std::string& args) { return Run(args, StandIn()); }
  std::string Recorded(const std::string& what) const {
    return ReadFile(dir.path() / "record" / what);
  }
  int ArchiverRuns() const { return static_cast<int>(Recorded("calls").size() / 2); }

  TempDir dir;
};

TEST_F(WindowsRun, WithoutParametersOnlyTheErrorLine) {
  const Outcome outcome = Run("");
  EXPECT_EQ(outcome.out, "ERROR: missing the two directories!\r\n");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(outcome.err.starts_with("usage: stampbak -s SOURCE")) << outcome.err;
  // The empty argument reaches the raw command line as "" and is skipped,
  // so -e takes -s as its value and the source is missing.
  EXPECT_EQ(Run("-e '' -s src -d dst").status, 1);
}

TEST_F(WindowsRun, RawCommandLineHeaderAndScanLines) {
  WriteFile(dir.path() / "my src/.hidden", "h");  // Wine shows dot files as hidden
  WriteFile(dir.path() / "my src/a.TXT", "a");
  WriteFile(dir.path() / "my src/sub/b.txt", "b");
  WriteFile(dir.path() / "my src/skip.doc", "c");
  const Outcome outcome = Run("/S 'my src' -DEST 'my dst' -i '*.TXT;SUB;.HIDDEN;*.doc' -e '*.DOC'");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(outcome.out.starts_with(
      ReportHeader("my src\\", "my dst\\", "*.txt;sub;.hidden;*.doc", "*.doc")));
  const std::string scan = outcome.out.substr(
      ReportHeader("my src\\", "my dst\\", "*.txt;sub;.hidden;*.doc", "*.doc").size());
  EXPECT_EQ(SortedLines(scan),
            (std::vector<std::string>{"All OK", "C my src\\.hidden", "C my src\\a.TXT",
                                      "C my src\\sub\\b.txt", "E my src\\skip.doc"}));
  EXPECT_TRUE(fs::is_directory(dir.path() / "my dst"));
}

TEST_F(WindowsRun, ArchivesInTheStampedDestinationOnlyAfterAChange) {
  const Outcome first = Run("-s src -d dst -a -r");
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  const std::size_t at = first.out.find("DstDir = dst\\") + 13;
  const std::string stamp = first.out.substr(at, 10);
  EXPECT_TRUE(fs::exists(dir.path() / "dst" / (stamp + ".rar"))) << stamp;
  EXPECT_EQ(Recorded("cwd"), WindowsPath(fs::canonical(dir.path()).string()) + "\\src");
  const std::string command = Recorded("command");
  const std::string archive = WindowsPath(dir.path().string()) + "\\dst\\" + stamp + ".rar";
  EXPECT_TRUE(command.starts_with("rar a -s -m5 -md4096 -tl " + archive + " @\"" +
                                  WindowsPath(TempDirectory()) + "\\"))
      << command;
  EXPECT_TRUE(Recorded("list") == "a.txt\r\nsub\\b.txt\r\n" ||
              Recorded("list") == "sub\\b.txt\r\na.txt\r\n");

  EXPECT_EQ(Run("-s src -d dst -a -r").status, 0);
  EXPECT_EQ(ArchiverRuns(), 1);
  SetLocalWriteTime(dir.path() / "src/a.txt", 2099, 1, 1, 0, 0, 0);
  const Outcome changed = Run("-s src -d dst -a -r");
  EXPECT_EQ(changed.status, 0) << changed.err;
  EXPECT_EQ(ArchiverRuns(), 2);
}

TEST_F(WindowsRun, BlanksReachTheArchiverWhole) {
  WriteFile(dir.path() / "my src/c d.txt", "x");
  const Outcome outcome = Run("-s 'my src' -d 'my dst' -r");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(fs::exists(dir.path() / "my dst.rar"));
  const std::string archive = WindowsPath(dir.path().string()) + "\\my dst.rar";
  EXPECT_NE(Recorded("command").find(" \"" + archive + "\" @\""), std::string::npos)
      << Recorded("command");
  EXPECT_EQ(Recorded("list"), "c d.txt\r\n");
}

TEST_F(WindowsRun, ArchiverMissingOrFailingIsNoBackup) {
  const Outcome missing = Run("-s src -d dst -r", "WINEPATH=");
  EXPECT_TRUE(missing.out.ends_with("CreateProcess failed with the following error: 2\r\n"))
      << missing.out;
  EXPECT_EQ(missing.status, 1);

  const Outcome failing = Run("-s src -d dst2 -r", StandIn() + " STAND_IN_RAR_EXIT=5");
  EXPECT_TRUE(failing.out.ends_with("Archiver failed with the following exit code: 5\r\n"))
      << failing.out;
  EXPECT_EQ(failing.status, 1);
}

TEST_F(WindowsRun, FailureTextGoesToStandardError) {
  const Outcome outcome = Run("-s missing -d dst");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, ReportHeader("missing\\", "dst\\"));
  EXPECT_TRUE(outcome.err.starts_with("Exception ESourceError in module stampbak.exe at "))
      << outcome.err;
  EXPECT_TRUE(outcome.err.ends_with(".\nCannot read source directory missing\\.\r\n"))
      << outcome.err;

  // Without standard error the text goes to a message box, which without a
  // display returns at once: the run must still end, its report delivered.
  const Outcome boxed =
      RunInShell(dir, "sh -c 'exec \"$@\" 2>&-' sh env " + Wine() + " " +
                          Quoted(kBuild + "/stampbak.exe") + " -s missing -d dst");
  EXPECT_EQ(boxed.status, 1);
  EXPECT_EQ(boxed.out, ReportHeader("missing\\", "dst\\"));
}

TEST_F(WindowsRun, LinksAndNamesOutsideTheCodePage) {
  fs::create_directory_symlink("sub", dir.path() / "src/link");
  WriteFile(dir.path() / "src/\u0101.txt", "not in code page 1252");
  WriteFile(dir.path() / "src/dir\u0101/in.txt", "x");
  const Outcome outcome = Run("-s src -d dst");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out.find("link"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("S src\\?.txt\r\n"), std::string::npos) << outcome.out;
  EXPECT_EQ(outcome.out.find("in.txt"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.err.find("stampbak: not archived, cannot read the time of src\\?.txt: "),
            std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("stampbak: cannot read directory src\\dir?\\: "), std::string::npos)
      << outcome.err;
}

}  // namespace
}  // namespace stampbak::testing
