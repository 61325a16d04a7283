// What only the native executable can show: descriptors, signals, links,
// FIFOs, permissions and the PATH it searches.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

// The report of a whole run from src to dst, sorted, with these scan lines.
std::string SortedReport(const std::string& scan, const std::string& exclude = "") {
  return SortedLines(Report("src/", "dst/", scan, "*.*", exclude));
}

// No descriptor of ours but the destination lock, which it so holds as
// long as it runs; the descriptor limit our caller set; the idle class; no signal ignored that we
// or our caller ignored (an ignored SIGCHLD would make it look failed); its talk on standard error.
// The list is private and gone, named by the tick count.
TEST_F(NativeRun, ArchiverGetsExactArgumentsAndAQuietStart) {
  WriteFile(dir.path() / "src/a.txt");
  WriteFile(dir.path() / "src/sub/b.txt");
  const Outcome outcome = Run("-s src -d dst -r", "env --ignore-signal=CHLD", "",
                              "exec 7</dev/null; trap '' HUP; ulimit -Sn 512;");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string base = fs::canonical(dir.path()).string();
  std::istringstream args(Recorded("args"));
  std::vector<std::string> all;
  for (std::string arg; std::getline(args, arg);) all.push_back(arg);
  ASSERT_EQ(all.size(), 7U);
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 6),
            (std::vector<std::string>{"a", "-s", "-m5", "-md4096", "-tl", base + "/dst.rar"}));
  const std::string listDir = "@" + dir / "tmp/";
  ASSERT_TRUE(all[6].starts_with(listDir)) << all[6];
  double uptime = 0;
  std::ifstream("/proc/uptime") >> uptime;
  EXPECT_NEAR(std::stod(all[6].substr(listDir.size())), uptime * 1000, 60000) << all[6];
  EXPECT_EQ(Recorded("cwd"), base + "/src");
  EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
  const std::string fds = Recorded("fds");
  EXPECT_TRUE(fds.starts_with("0 -> /dev/null\n1 -> /dev/null\n2 -> ")) << fds;
  EXPECT_TRUE(fds.ends_with("\n3 -> " + base + "/dst\n")) << fds;
  EXPECT_EQ(std::count(fds.begin(), fds.end(), '\n'), 4) << fds;
  const std::string sigign = Recorded("sigign");
  const auto ignored = std::stoull(sigign.substr(sigign.find('\t') + 1), nullptr, 16);
  EXPECT_EQ(ignored & 0x7FFFFFFFU, 0U) << sigign;  // the C library keeps its own above
  EXPECT_TRUE(Recorded("policy") == "5" || Recorded("nice") == "19");
  EXPECT_EQ(Recorded("nofile"), "512");
  EXPECT_EQ(outcome.out.find("stand-in"), std::string::npos);
  EXPECT_NE(outcome.err.find("stand-in rar: done"), std::string::npos);

  const Outcome killed = Run("-s src -d dst2 -r", "STAND_IN_RAR_EXIT=-9");
  EXPECT_TRUE(killed.out.ends_with("Archiver failed with the following exit code: 137\r\n"))
      << killed.out;
}

// A relative or empty PATH entry is taken against our own working
// directory, never the source directory the archiver runs in.
TEST_F(NativeRun, ArchiverIsNeverTakenFromTheSourceTree) {
  WriteFile(dir.path() / "src/rar", "#!/bin/sh\ntouch \"$(dirname \"$0\")/../planted\"\n");
  fs::permissions(dir.path() / "src/rar", fs::perms::owner_all);
  int destination = 0;
  for (const char* path : {":" STAND_IN_DIR ":/usr/bin:/bin", "/usr/bin:.:" STAND_IN_DIR}) {
    const Outcome outcome =
        Run("-s src -d dst" + std::to_string(++destination) + " -r", "PATH=" + Quoted(path));
    EXPECT_EQ(outcome.status, 0) << path << outcome.err;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "planted"));
  EXPECT_EQ(ArchiverRuns(), 2);
  // One found that cannot be run says why, as the start's failure.
  WriteFile(dir.path() / "bin/rar", "\x7f");
  fs::permissions(dir.path() / "bin/rar", fs::perms::owner_all);
  const Outcome broken = Run("-s src -d dst3 -r", "PATH=bin");
  EXPECT_TRUE(broken.out.ends_with("CreateProcess failed with the following error: 8\r\n"))
      << broken.out;
}

// Another user who can rename in the temporary directory, or in any
// directory above it, could swap our list for his.
TEST_F(NativeRun, TemporaryDirectoryOthersCouldSwapTheListIn) {
  WriteFile(dir.path() / "src/a.txt");
  struct Case {
    fs::perms mode;
    bool otherOwner;
    bool above;  // the mode and owner are those of the directory above
    bool refused;
  };
  const Case cases[] = {
      {fs::perms::all, false, false, true},
      {fs::perms::all | fs::perms::sticky_bit, false, false, false},
      {fs::perms::owner_all, true, false, true},
      {fs::perms::all, false, true, true},
      {fs::perms::all | fs::perms::sticky_bit, false, true, false},
      {fs::perms::owner_all | fs::perms::others_exec, true, true, true},
  };
  int destination = 0;
  for (const Case& c : cases) {
    if (c.otherOwner && geteuid() != 0) continue;  // only root can give a directory away
    TempDir temp;
    const std::string list = c.above ? temp / "inner/" : temp / "";
    fs::create_directories(list);
    fs::permissions(temp.path(), c.mode);
    ASSERT_TRUE(!c.otherOwner || chown(temp.path().c_str(), 65534, 65534) == 0);
    const Outcome outcome =
        Run("-s src -d dst" + std::to_string(++destination) + " -r", "TEMP=" + Quoted(list));
    EXPECT_EQ(outcome.status, c.refused ? 1 : 0) << outcome.err;
    EXPECT_EQ(outcome.err.starts_with("stampbak: the temporary directory " + list), c.refused)
        << outcome.err;
    EXPECT_EQ(outcome.err.find(temp / "") != outcome.err.rfind(temp / ""), c.refused)
        << outcome.err;  // the directory at fault is named too
    EXPECT_EQ(outcome.err.find("Exception EFCreateError") != std::string::npos, c.refused);
    EXPECT_TRUE(fs::is_empty(list));
  }
}

// An ending signal reaches the archiver, and the run waits for it and
// says it made no backup; even SIGKILL leaves the lock with the archiver.
// SIGINT and SIGQUIT are not among them: a shell's background job
// ignores them, and a signal the caller ignores stays ignored.
TEST_F(NativeRun, InterruptedRunNeverLetsTwoArchiversMeet) {
  WriteFile(dir.path() / "src/a.txt");
  for (const std::string sig : {"TERM", "HUP", "USR1", "ALRM", "XCPU", "KILL", "ignored HUP"}) {
    fs::remove_all(dir.path() / "record");
    fs::remove(dir.path() / "status");
    const bool ignored = sig.starts_with("ignored ");
    // In the background, its process id in "pid", its status in "status".
    Run("-s src -d " + sig.substr(sig.find(' ') + 1) + " -r",
        "STAND_IN_RAR_SLEEP=3 sh -c 'echo $$ > pid; exec \"$0\" \"$@\"'",
        "2> err > out; echo $? > status) &", ignored ? "(trap '' HUP;" : "(");
    WaitForFile(dir.path() / "record/pid");
    const std::string archiver = Recorded("pid");
    ASSERT_EQ(std::system(
                  ("kill -" + sig.substr(sig.find(' ') + 1) + " " + ReadFile(dir / "pid")).c_str()),
              0);
    WaitForFile(dir.path() / "status");
    if (ignored) {
      EXPECT_EQ(ReadFile(dir / "status"), "0\n");
      EXPECT_TRUE(ReadFile(dir / "out").ends_with("All OK\r\n"));
      continue;
    }
    if (sig == "KILL") {
      const Outcome second = Run("-s src -d KILL -r");
      EXPECT_EQ(second.status, 1);
      EXPECT_EQ(second.out, ReportHeader("src/", "KILL/"));  // refused before the scan
      EXPECT_NE(second.err.find("Another run is using KILL/"), std::string::npos) << second.err;
      std::system(("kill " + archiver).c_str());
      continue;
    }
    EXPECT_EQ(ReadFile(dir / "status"), "1\n") << sig;
    EXPECT_EQ(ReadFile(dir / "out").find("All OK"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "err"), "stampbak: ended by SIG" + sig +
                                         ", which was passed on to the archiver; no backup was "
                                         "made\n");
    EXPECT_NE(std::system(("kill -0 " + archiver + " 2> /dev/null").c_str()), 0) << sig;
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
  }
}

// Two jobs on one destination, each with its own stamped archives, over
// five nights with one change in each a night (an edit in one, an arrival
// with an old time in the other): every change is archived once, by its
// own job, and no run archives for nothing.
TEST_F(NativeRun, TwoJobsShareADestinationNightAfterNight) {
  WriteFile(dir.path() / "a/notes.txt", "night 0");
  WriteFile(dir.path() / "b/photo0.jpg");
  std::string photos = "photo0.jpg\r\n";
  for (int night = 1; night <= 5; ++night) {
    const auto at = [night](const char* time) {
      return FrozenClock("2026-11-0" + std::to_string(night) + " " + time);
    };
    if (night > 1) {
      WriteFile(dir.path() / "a/notes.txt", "night " + std::to_string(night));
      const std::string photo = "photo" + std::to_string(night) + ".jpg";
      WriteFile(dir.path() / "outside" / photo);
      SetLocalWriteTime(dir.path() / "outside" / photo, "2001-01-01");
      fs::rename(dir.path() / "outside" / photo, dir.path() / "b" / photo);
      photos += photo + "\r\n";
    }
    const struct {
      const char* source;
      const char* time;
      std::string list;  // "": no archive
    } runs[] = {{"a", "01:00:00", "notes.txt\r\n"},
                {"b", "01:30:00", photos},
                {"a", "02:00:00", ""},
                {"b", "02:30:00", ""}};
    for (const auto& [source, time, list] : runs) {
      const int before = ArchiverRuns();
      const Outcome outcome = Run(std::string("-s ") + source + " -d dst -a -m -r", at(time));
      EXPECT_EQ(outcome.status, 0) << night << source << time << outcome.err;
      EXPECT_EQ(outcome.err.find("stampbak: "), std::string::npos) << outcome.err;
      EXPECT_EQ(ArchiverRuns() - before, list.empty() ? 0 : 1) << night << source << time;
      if (!list.empty()) {
        EXPECT_EQ(SortedLines(Recorded("list")), SortedLines(list)) << night;
      }
    }
  }
}

// The retention script, run while a slow night archives and its archiver
// then fails, removes nothing while the run holds the destination, ten
// nights over: a whole archive always remains, and the job's newest
// finished one with it.
TEST_F(NativeRun, RetentionDuringASlowNightRemovesNothing) {
  const std::string prune =
      (fs::path(__FILE__).parent_path().parent_path() / "contrib/retention/prune-archives.sh")
          .string();
  const auto night = [](int day) {
    return FrozenClock("2026-10-" + std::to_string(10 + day) + " 01:00:00");
  };
  WriteFile(dir.path() / "src/a.txt", "night 0");
  ASSERT_EQ(Run("-s src -d dst -a -r", night(0)).status, 0);
  const std::string whole = ReadFile(dir.path() / "dst/2026_10_10.rar");
  ASSERT_EQ(mkfifo((capture / "fifo").c_str(), 0600), 0);
  for (int day = 1; day <= 10; ++day) {
    WriteFile(dir.path() / "src/a.txt", "night " + std::to_string(day));
    fs::remove_all(dir.path() / "record");
    std::thread slow([&] {
      Run("-s src -d dst -a -r",
          "STAND_IN_RAR_EXIT=3 STAND_IN_RAR_FIFO=" + Quoted(capture / "fifo") + " " + night(day));
    });
    WaitForFile(dir.path() / "record/pid");
    const std::string command = "sh " + Quoted(prune) + " " + Quoted(dir / "dst") +
                                " --keep 1 2> " + Quoted(capture / "prune");
    EXPECT_NE(std::system(command.c_str()), 0) << day;
    EXPECT_NE(ReadFile(capture.path() / "prune").find("a stampbak run is using"), std::string::npos)
        << day;
    std::ofstream(capture / "fifo") << "go";
    slow.join();
    EXPECT_EQ(ReadFile(dir.path() / "dst/2026_10_10.rar"), whole) << day;
  }
}

// The group-access recipe. A default access list takes the umask's place
// for new files, so the archiver's umask cannot keep others out: one that
// names only the group lets every user read the archives, which is said;
// one that also gives others and the owning group nothing keeps them
// private to the owner and the named group, and a group-writable
// destination settles.
TEST_F(NativeRun, GroupAccessRecipeKeepsArchivesPrivateAndSettles) {
  if (std::system("command -v setfacl > /dev/null") != 0) GTEST_SKIP() << "no setfacl (acl)";
  WriteFile(dir.path() / "src/a.txt");
  fs::create_directory(dir.path() / "dst");
  const std::string dst = Quoted(dir / "dst");
  const std::string loose = "chmod 0775 " + dst + " && setfacl -d -m g:daemon:r " + dst;
  ASSERT_EQ(std::system(loose.c_str()), 0);
  EXPECT_NE(Run("-s src -d dst -a -r").err.find(" can be read by every user: "), std::string::npos);
  const std::string recipe =
      "rm " + dst + "/*.rar && setfacl -k " + dst + " && setfacl -d -m g::-,o::-,g:daemon:r " + dst;
  ASSERT_EQ(std::system(recipe.c_str()), 0);
  for (int night = 0; night < 2; ++night) {
    const Outcome outcome = Run("-s src -d dst -a -r");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err.rfind("stampbak: the destination dst/ is open to others: ", 0), 0U)
        << outcome.err;
    EXPECT_EQ(outcome.err.find("stampbak: ", 1), std::string::npos) << outcome.err;
    EXPECT_EQ(ArchiverRuns(), 2) << night;
  }
  // Group bits of a file with an access list show its mask.
  const std::string mode = "stat -c %A " + dst + "/*.rar > " + Quoted(capture / "mode");
  EXPECT_EQ(std::system(mode.c_str()), 0);
  EXPECT_EQ(ReadFile(capture.path() / "mode"), "-rw-r-----\n");
}

// A record planted as a link is never read or written through. Where the
// warning shares the report's file it comes between whole lines; the
// report's last load leaves at the end, after the archiver's talk.
TEST_F(NativeRun, RecordPlantedAsALinkIsNotTrusted) {
  WriteFile(dir.path() / "src/a.txt");
  WriteFile(dir.path() / "dst/planted", "planted");
  fs::create_symlink("planted", dir.path() / "dst/stampbak.record");
  Run("-s src -d dst -r", "", "> log 2>&1");
  EXPECT_EQ(ReadFile(dir / "log"),
            ReportHeader("src/", "dst/") +
                "stampbak: the record dst/stampbak.record is a link; it is not trusted, and this "
                "run archives\nstand-in rar: done\nC src/a.txt\r\nAll OK\r\n");
  EXPECT_EQ(ArchiverRuns(), 1);
  EXPECT_EQ(ReadFile(dir.path() / "dst/planted"), "planted");
  EXPECT_FALSE(fs::is_symlink(dir.path() / "dst/stampbak.record"));
}

TEST_F(NativeRun, LinksFifosAndLineBreaks) {
  WriteFile(dir.path() / "src/real.txt");
  fs::create_directory_symlink("..", dir.path() / "src/loop");
  fs::create_symlink("real.txt", dir.path() / "src/link.txt");
  fs::create_symlink("nowhere", dir.path() / "src/dangling");
  ASSERT_EQ(mkfifo((dir / "src/fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((dir / "src/fifo.log").c_str(), 0600), 0);
  WriteFile(dir.path() / "src/x\n/shadow");
  WriteFile(dir.path() / "src/y\r\n");
  const Outcome outcome = Run("-s src -d dst -e '*.log'");
  EXPECT_EQ(SortedLines(outcome.out),
            SortedReport("C src/link.txt\r\nC src/real.txt\r\nE src/fifo.log\r\nS src/dangling\r\n"
                         "S src/fifo\r\nS src/y??\r\n",
                         "*.log"));
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(SortedLines(outcome.err),
            "stampbak: not archived, the name holds a line break: src/y??\n"
            "stampbak: not entered, the name holds a line break: src/x?\n");
}

// Deeper than any call stack would allow a walk that recursed, than a path
// can be spelled and than descriptors (a hard limit, which the run cannot
// raise), with files beside levels 61 to 180: every level is scanned and
// listed, the file below the longest path the archiver can open is left
// out, saying so, and times are still local, the zone having been read
// before descriptors ran out (the first file is met only when they have).
TEST_F(NativeRun, TreeDeeperThanTheStackThePathAndTheDescriptors) {
  constexpr int kLevels = 20000;
  constexpr int kListedLevel = 1000;
  fs::create_directory(dir.path() / "src");
  int fd = open((dir / "src").c_str(), O_RDONLY | O_DIRECTORY);
  std::string path = "src/";
  std::string expected;
  for (int level = 1; level <= kLevels && fd >= 0; ++level) {
    if (level > 60 && level <= 180) {  // a file and a sibling of the next level
      const std::string sibling = "s" + std::to_string(level);
      ASSERT_EQ(mkdirat(fd, sibling.c_str(), 0700), 0);
      close(openat(fd, (sibling + "/f").c_str(), O_WRONLY | O_CREAT, 0600));
      close(openat(fd, "f", O_WRONLY | O_CREAT, 0600));
      expected += "C " + path + sibling + "/f\r\nC " + path + "f\r\n";
    }
    ASSERT_EQ(mkdirat(fd, "d", 0700), 0);
    const int inner = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = inner;
    path += "d/";
    if (level == kListedLevel || level == kLevels) {
      close(openat(fd, "f", O_WRONLY | O_CREAT, 0600));
      expected += (level == kLevels ? "S " : "C ") + path + "f\r\n";
    }
  }
  close(fd);
  const Outcome outcome =
      Run("-s src -d dst -r", "", "", "ulimit -s 1024; ulimit -Sn 40; ulimit -Hn 40;");
  EXPECT_EQ(SortedLines(outcome.out), SortedReport(expected));
  EXPECT_EQ(outcome.err,
            "stampbak: not archived, the path is too long: " + path + "f\nstand-in rar: done\n");
  const std::string list = Recorded("list");
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 241);
  // Too deep for the temporary directory's own removal by path names.
  ASSERT_EQ(std::system(("rm -rf " + Quoted(dir / "src")).c_str()), 0);
}

// No standard output, a full one, one over the file-size limit or a
// reader gone costs only the report, which a failed write ends, saying so
// once; no standard error must not cost the archive (the list file would
// get descriptor 2).
TEST_F(NativeRun, UnusableStandardStreams) {
  for (int i = 0; i < 40; ++i) WriteFile(dir.path() / ("src/file-" + std::to_string(i)));
  const std::pair<const char*, const char*> cases[] = {
      {">&-", ""}, {"> /dev/full", "No space left on device"}, {"> out", "File too large"}};
  for (const auto& [redirect, reason] : cases) {
    fs::remove(dir.path() / "dst.rar");
    Outcome outcome = Run("-s src -d dst -r", "", redirect, "ulimit -f 1;");
    EXPECT_EQ(outcome.status, 0) << redirect;
    outcome.err.erase(outcome.err.find("stand-in rar: done\n"), 19);
    EXPECT_EQ(outcome.err, *reason == '\0' ? ""
                                           : std::string("stampbak: cannot write the report to "
                                                         "standard output: ") +
                                                 reason + "; the rest of it is dropped\n")
        << redirect;
    EXPECT_TRUE(fs::exists(dir.path() / "dst.rar")) << redirect;
  }
  EXPECT_EQ(ReadFile(dir / "out").size(), 512U);
  Run("-s src -d dst; echo $? > status; } | true", "", " ", "{ sleep 0.3;");
  EXPECT_EQ(ReadFile(dir / "status"), "0\n");
  WriteFile(dir.path() / "src/a.txt");
  const Outcome noError = Run("-s src -d dst -r", "", "> out 2>&-");
  EXPECT_EQ(noError.status, 0) << ReadFile(dir / "out");
  EXPECT_TRUE(fs::exists(dir.path() / "dst.rar"));
  // Without one it could write its talk into whatever file it opens first.
  EXPECT_NE(Recorded("fds").find("\n2 -> /dev/null\n"), std::string::npos) << Recorded("fds");
}

}  // namespace
}  // namespace stampbak::testing
