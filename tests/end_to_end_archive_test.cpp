#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

// A run in a fresh directory with a source tree, the stand-in archiver
// first on PATH and the list file going to a private temporary directory.
class ArchiveRun : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.path() / "src/a.txt", "alpha");
    WriteFile(dir.path() / "src/sub/b.txt", "beta");
    fs::create_directory(dir.path() / "tmp");
  }

  std::string Environment(const std::string& extra = "") const {
    return "PATH=" + Quoted(STAND_IN_DIR) + ":\"$PATH\" TEMP=" + Quoted(dir / "tmp") +
           " STAND_IN_RAR_RECORD=" + Quoted(dir / "record") + " " + extra;
  }
  Outcome Run(const std::string& args, const std::string& extra = "") {
    return RunStampbak(dir, args, Environment(extra));
  }
  std::string Recorded(const std::string& what) const {
    return ReadFile(dir.path() / "record" / what);
  }
  int ArchiverRuns() const { return static_cast<int>(Recorded("calls").size() / 2); }
  void SetAllSourceTimes(int second) {
    for (const char* file : {"src/a.txt", "src/sub/b.txt"}) {
      SetLocalWriteTime(dir.path() / file, 2024, 3, 5, 14, 7, second);
    }
  }

  TempDir dir;
};

TEST_F(ArchiveRun, ArchivesOnceThenOnlyAfterAChange) {
  SetAllSourceTimes(8);
  Outcome first = Run("-s src -d dst -r");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(first.out.ends_with("All OK\r\n"));
  EXPECT_TRUE(fs::exists(dir.path() / "dst.rar"));  // beside the destination
  EXPECT_EQ(ArchiverRuns(), 1);

  EXPECT_EQ(Run("-s src -d dst -r").status, 0);
  EXPECT_EQ(ArchiverRuns(), 1);  // nothing changed

  SetLocalWriteTime(dir.path() / "src/a.txt", 2024, 3, 5, 14, 7, 9);
  Run("-s src -d dst -r");
  EXPECT_EQ(ArchiverRuns(), 1);  // the same two-second step

  SetLocalWriteTime(dir.path() / "src/a.txt", 2024, 3, 5, 14, 7, 10);
  Run("-s src -d dst -r");
  EXPECT_EQ(ArchiverRuns(), 2);
}

TEST_F(ArchiveRun, StampedArchivesLandInTheDestination) {
  const Outcome first = Run("-s src -d dst -r -a");
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string dstLine = first.out.substr(first.out.find("DstDir = ") + 9, 15);
  EXPECT_TRUE(fs::exists(dir.path() / (dstLine.substr(0, 14) + ".rar"))) << dstLine;
  EXPECT_EQ(Run("-s src -d dst -r -a").status, 0);
  EXPECT_EQ(ArchiverRuns(), 1);
}

TEST_F(ArchiveRun, ArchiverGetsExactArgumentsAndAQuietLowPriorityStart) {
  // Descriptor 7 and the ignored SIGHUP come from our caller, and stampbak
  // ignores SIGPIPE itself: none of them may reach the archiver.
  // An ignored SIGCHLD would hide the archiver's end and make it look failed.
  const Outcome outcome =
      RunStampbak(dir, "-s src -d dst -r",
                  "exec 7</dev/null; trap '' HUP; " + Environment() + " env --ignore-signal=CHLD");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string base = fs::canonical(dir.path()).string();
  std::istringstream args(Recorded("args"));
  std::string arg;
  std::vector<std::string> all;
  while (std::getline(args, arg)) all.push_back(arg);
  ASSERT_EQ(all.size(), 7U);
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 6),
            (std::vector<std::string>{"a", "-s", "-m5", "-md4096", "-tl", base + "/dst.rar"}));
  EXPECT_TRUE(all[6].starts_with("@" + dir / "tmp/")) << all[6];
  EXPECT_EQ(Recorded("cwd"), base + "/src\n");
  EXPECT_TRUE(Recorded("list") == "a.txt\r\nsub/b.txt\r\n" ||
              Recorded("list") == "sub/b.txt\r\na.txt\r\n");
  EXPECT_EQ(Recorded("list-mode"), "600\n");
  EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));  // the list file is gone

  // No handle of ours but the destination lock (the shell holds its script
  // open), the idle class.
  std::istringstream fds(Recorded("fds"));
  std::string line;
  int seen = 0;
  while (std::getline(fds, line)) {
    const std::size_t arrow = line.find(" -> ");
    if (arrow == std::string::npos) continue;
    const std::string fd =
        line.substr(line.rfind(' ', arrow - 1) + 1, arrow - line.rfind(' ', arrow - 1) - 1);
    const std::string target = line.substr(arrow + 4);
    ++seen;
    if (fd == "0" || fd == "1") {
      EXPECT_EQ(target, "/dev/null") << line;
    } else if (fd == "3") {
      EXPECT_EQ(target, base + "/dst") << line;
    } else if (fd != "2") {
      EXPECT_EQ(target, STAND_IN_DIR "/rar") << line;
    }
  }
  EXPECT_GE(seen, 3);
  const std::string sigign = Recorded("sigign");
  const auto ignored = std::stoull(sigign.substr(sigign.find('\t') + 1), nullptr, 16);
  EXPECT_EQ(ignored & ((1ULL << (SIGHUP - 1)) | (1ULL << (SIGPIPE - 1))), 0U) << sigign;
  EXPECT_TRUE(Recorded("policy") == "5\n" || Recorded("nice") == "19\n");

  // The archiver's talk reaches the operator, never the report.
  EXPECT_EQ(outcome.out.find("stand-in"), std::string::npos);
  EXPECT_NE(outcome.err.find("stand-in rar: done"), std::string::npos);
}

TEST_F(ArchiveRun, NamesWithBlanksAndRelativeDestinations) {
  WriteFile(dir.path() / "my src/c d.txt", "x");
  const Outcome outcome = Run("-s 'my src' -d 'out/my dst' -r");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(fs::exists(dir.path() / "out/my dst.rar"));
  EXPECT_FALSE(fs::exists(dir.path() / "my src/out"));
  EXPECT_EQ(Recorded("list"), "c d.txt\r\n");
}

TEST_F(ArchiveRun, ArchiverMissingOrFailing) {
  const Outcome missing =
      RunStampbak(dir, "-s src -d dst -r", "PATH=/nonexistent TEMP=" + Quoted(dir / "tmp"));
  EXPECT_TRUE(missing.out.ends_with("CreateProcess failed with the following error: 2\r\n"))
      << missing.out;
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "");
  EXPECT_FALSE(fs::is_empty(dir.path() / "tmp"));  // the list stays for the operator

  const Outcome failing = Run("-s src -d dst2 -r", "STAND_IN_RAR_EXIT=3");
  EXPECT_TRUE(failing.out.ends_with("Archiver failed with the following exit code: 3\r\n"))
      << failing.out;
  EXPECT_EQ(failing.status, 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "tmp"), {}), 1);
}

TEST_F(ArchiveRun, ListFileThatCannotBeCreatedEndsTheRun) {
  const Outcome outcome =
      RunStampbak(dir, "-s src -d dst -r", Environment() + " TEMP=/nonexistent/tmp");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(outcome.out.find("C src/a.txt\r\n") != std::string::npos);
  EXPECT_EQ(outcome.out.find("All OK"), std::string::npos);
  EXPECT_TRUE(outcome.err.starts_with("Exception EFCreateError in module stampbak at "));
  EXPECT_TRUE(outcome.err.find(".\nCannot create file /nonexistent/tmp/") != std::string::npos)
      << outcome.err;
}

TEST_F(ArchiveRun, SecondRunWhileTheFirstArchives) {
  const std::string first = "cd " + Quoted(dir.path().string()) + " && " +
                            Environment("STAND_IN_RAR_SLEEP=3") + " " + Quoted(STAMPBAK_EXE) +
                            " -s src -d dst -r > first.out 2>&1 &";
  ASSERT_EQ(std::system(first.c_str()), 0);
  for (int i = 0; i < 100 && !fs::exists(dir.path() / "record/calls"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const Outcome second = Run("-s src -d dst -r");
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(second.err.starts_with("Exception EDestinationBusy in module stampbak at "));
  EXPECT_TRUE(second.err.ends_with(".\nAnother run is using dst/.\n")) << second.err;
  for (int i = 0; i < 100 && ReadFile(dir / "first.out").find("All OK") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(ReadFile(dir / "first.out").find("All OK"), std::string::npos);
}

TEST_F(ArchiveRun, FutureDatedArchiveDoesNotStopBackups) {
  WriteFile(dir.path() / "dst/wrong.rar");
  SetLocalWriteTime(dir.path() / "dst/wrong.rar", 2099, 1, 1, 0, 0, 0);
  const Outcome outcome = Run("-s src -d dst -r -a");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(ArchiverRuns(), 1);
  EXPECT_NE(outcome.err.find("stampbak: archive dst/wrong.rar is dated 2099-01-01 00:00:00"),
            std::string::npos)
      << outcome.err;
}

// A relative or empty PATH entry is taken against our own working
// directory, never the source directory the archiver runs in.
TEST_F(ArchiveRun, ArchiverIsNeverTakenFromTheSourceTree) {
  WriteFile(dir.path() / "src/rar", "#!/bin/sh\ntouch \"$(dirname \"$0\")/../planted\"\n");
  fs::permissions(dir.path() / "src/rar", fs::perms::owner_all);
  for (const char* path : {":" STAND_IN_DIR ":/usr/bin:/bin", "/usr/bin:.:" STAND_IN_DIR}) {
    const Outcome outcome =
        RunStampbak(dir, "-s src -d dst" + std::string(path).substr(0, 1) + " -r",
                    Environment() + " PATH=" + Quoted(path));
    EXPECT_FALSE(fs::exists(dir.path() / "planted")) << path;
    EXPECT_EQ(outcome.status, 0) << path << outcome.err;
  }
  EXPECT_EQ(ArchiverRuns(), 2);
}

TEST_F(ArchiveRun, TemporaryDirectoryOthersCouldSwapTheListIn) {
  struct Case {
    fs::perms mode;
    bool otherOwner;
    bool refused;
  };
  const Case cases[] = {
      {fs::perms::all, false, true},
      {fs::perms::all | fs::perms::sticky_bit, false, false},
      {fs::perms::owner_all, true, true},
  };
  int destination = 0;
  for (const Case& c : cases) {
    if (c.otherOwner && geteuid() != 0) continue;  // only root can give a directory away
    TempDir temp;
    fs::permissions(temp.path(), c.mode);
    if (c.otherOwner) ASSERT_EQ(chown(temp.path().c_str(), 65534, 65534), 0);
    const Outcome outcome =
        RunStampbak(dir, "-s src -d dst" + std::to_string(++destination) + " -r",
                    Environment() + " TEMP=" + Quoted(temp / ""));
    EXPECT_EQ(outcome.status, c.refused ? 1 : 0) << outcome.err;
    EXPECT_EQ(outcome.err.find("Exception EFCreateError") != std::string::npos, c.refused)
        << outcome.err;
    EXPECT_EQ(outcome.err.starts_with("stampbak: the temporary directory "), c.refused)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(temp.path()));
  }
}

// An ending signal reaches the archiver, and the run waits for it and
// says it made no backup; even SIGKILL leaves the lock with the archiver.
TEST_F(ArchiveRun, InterruptedRunNeverLetsTwoArchiversMeet) {
  // SIGINT is not among them: a shell's background job ignores it. Each
  // run has a destination of its own, since the archiver's orphaned sleep
  // holds the lock a while longer.
  for (const std::string sig : {"TERM", "HUP", "KILL"}) {
    TempDir run;
    fs::remove_all(dir.path() / "record");
    const std::string start =
        "cd " + Quoted(dir.path().string()) + " && (" + Environment("STAND_IN_RAR_SLEEP=2") +
        " sh -c 'echo $$ > " + Quoted(run / "pid") + "; exec \"$0\" \"$@\"' " +
        Quoted(STAMPBAK_EXE) + " -s src -d " + sig + " -r > " + Quoted(run / "out") + " 2> " +
        Quoted(run / "err") + "; echo $? > " + Quoted(run / "status") + ") &";
    ASSERT_EQ(std::system(start.c_str()), 0);
    for (int i = 0; i < 100 && !fs::exists(dir.path() / "record/pid"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string archiver = ReadFile(dir.path() / "record/pid");
    archiver.erase(archiver.find_last_not_of('\n') + 1);
    ASSERT_EQ(std::system(("kill -" + sig + " " + ReadFile(run / "pid")).c_str()), 0);
    for (int i = 0; i < 100 && ReadFile(run / "status").empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (sig == "KILL") {
      const Outcome second = Run("-s src -d KILL -r");
      EXPECT_EQ(second.status, 1);
      EXPECT_TRUE(second.err.starts_with("Exception EDestinationBusy")) << second.err;
      std::system(("kill -TERM " + archiver).c_str());
      continue;
    }
    EXPECT_EQ(ReadFile(run / "status"), "1\n") << sig;
    EXPECT_EQ(ReadFile(run / "out").find("All OK"), std::string::npos);
    EXPECT_EQ(ReadFile(run / "err"), "stampbak: ended by SIG" + sig +
                                         ", which was passed on to the archiver; no backup was "
                                         "made\n");
    EXPECT_NE(std::system(("kill -0 " + archiver + " 2> /dev/null").c_str()), 0) << sig;
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));  // the orphaned sleeps end
}

// However the destination inside the source is spelled, its archives are
// never packed into the next one.
TEST_F(ArchiveRun, DestinationInsideTheSourceNeverPacksItself) {
  ASSERT_EQ(Run("-s src -d src/./backup -r -a").status, 0);
  SetLocalWriteTime(dir.path() / "src/a.txt", 2030, 1, 1, 0, 0, 0);
  const Outcome second = Run("-s src -d src/./backup -r -a -m");
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(ArchiverRuns(), 2);
  EXPECT_EQ(SortedLines(Recorded("list")), (std::vector<std::string>{"a.txt", "sub/b.txt"}))
      << Recorded("list");
  EXPECT_NE(second.out.find("\r\nS src/backup/"), std::string::npos) << second.out;
  EXPECT_TRUE(second.err.starts_with(
      "stampbak: the destination lies inside the source; its archives are not packed "
      "again: src/./backup/\n"));
}

}  // namespace
}  // namespace stampbak::testing
