// Every call the real executable makes to the system fails in turn, with
// each reason it may be given, and every run must stay honest: a whole
// backup with "All OK", one whose missing files are each reported and
// warned about, or no backup with status 1 and the reason on standard error.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "src/archive_record.h"
#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

// The reasons each call may give; "new" throws instead.
const std::map<std::string, std::vector<int>> kReasons = {
    {"open", {EACCES, EMFILE, ENOMEM, EIO, ENOENT}},
    {"openat", {EACCES, EMFILE, ENOMEM, EIO, ELOOP}},
    // Not ENOENT: a link whose target is gone is skipped without a word.
    {"fstatat", {EACCES, EOVERFLOW, ENOMEM, EIO}},
    {"fstat", {EIO, ENOMEM}},
    {"stat", {EACCES, ENOENT, ENOMEM}},
    {"fdopendir", {ENOMEM, EMFILE}},
    {"readdir", {EIO, EBADMSG, ENOMEM}},
    {"close", {EIO}},
    {"mkdir", {EACCES, ENOSPC}},
    {"unlink", {EACCES, EIO}},
    {"write", {EIO, ENOSPC}},
    {"read", {EIO}},
    {"getcwd", {ENOENT, ENOMEM}},
    {"flock", {ENOLCK, EWOULDBLOCK}},
    {"fork", {EAGAIN, ENOMEM}},
    {"pipe2", {EMFILE}},
    // A wait that fails ends the archiver, so none is left to race the
    // next run.
    {"waitpid", {EINTR, EIO}},
    {"rename", {EIO, EXDEV, EACCES}},
    // EINVAL: a file system without the flag, where a link and an unlink
    // do instead.
    {"renameat2", {EIO, EXDEV, EACCES, EINVAL}},
    {"fsync", {EIO, ENOSPC}},
};

// A run of the corpus: a tree with a subtree, a link, an excluded file,
// an earlier archive made before the record, and what earlier runs left.
struct Corpus {
  const char* name;
  bool archiveDue;  // no finished entry holds the tree as it is
  std::string environment;
  // The earlier run that left the destination as it is, if any: its faults.
  std::string earlierRun = "";
  bool destinationMade = true;
  bool archiverFails = false;
  std::string cleanRunSays = "";  // its one warning, if any
  // The calls swept: all, or only those the corpus adds to the others'.
  std::set<std::string> swept = {};
};

// Every run's file times a year back, so that no file lies close to a
// scan's start however slow the machine; one corpus puts them all there,
// in steps of some eleven days from the suite's start, and the clock too.
const std::string kYearBack = "STAMPBAK_STAMP_SHIFT=-31536000 ";
const std::string kAllClose =
    "STAMPBAK_STAMP_SHIFT=0 STAMPBAK_STAMPS=1000000:" + std::to_string(time(nullptr));

const Corpus kCorpora[] = {
    {.name = "an archive due", .archiveDue = true},
    {.name = "none due", .archiveDue = false, .earlierRun = "STAMPBAK_FAULT=none:0:0"},
    {.name = "listings without entry types",
     .archiveDue = true,
     .environment = "STAMPBAK_UNTYPED_LISTINGS=1"},
    // Killed before it could mark its archive finished: that archive is
    // set aside first.
    {.name = "an archive a killed run left",
     .archiveDue = true,
     .earlierRun = "STAMPBAK_FAULT=rename:2:-" + std::to_string(SIGKILL),
     .cleanRunSays = "stampbak: the incomplete archive is kept as ",
     .swept = {"renameat2", "rename", "fsync", "fstatat"}},
    {.name = "files changed within their time stamps' step",
     .archiveDue = true,
     .environment = kAllClose,
     .swept = {"open", "read", "close"}},
    {.name = "a destination not made yet",
     .archiveDue = true,
     .destinationMade = false,
     .swept = {"mkdir"}},
    {.name = "an archiver that fails",
     .archiveDue = true,
     .environment = "STAND_IN_RAR_EXIT=3",
     .archiverFails = true,
     .swept = {"renameat2", "unlink", "fstatat", "fsync"}},
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

constexpr time_t kTreeTime = 1709644028;  // 2024-03-05
constexpr time_t kYear = 365 * 86400;

void SetTime(const std::string& path, time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class FaultSweep : public NativeRun {
 protected:
  void SetUp() override {
    NativeRun::SetUp();
    Prepare(kCorpora[0]);
  }

  // The tree, and the destination as earlier runs left it, kept aside so
  // that every run of the corpus meets the same.
  void Prepare(const Corpus& corpus) {
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    fs::create_directory(dir.path() / "tmp");
    for (const char* file : {"src/a.txt", "src/skip.tmp", "src/sub/b.txt", "src/sub/deep/c.txt"}) {
      WriteFile(dir.path() / file, file);
      SetTime(dir / file, kTreeTime);
    }
    fs::create_symlink("sub/b.txt", dir.path() / "src/link.txt");
    fs::create_directory_symlink("sub", dir.path() / "src/dirlink");
    fs::create_symlink("loop", dir.path() / "src/loop");  // leads round, like a dangling one
    ASSERT_EQ(mkfifo((dir / "src/fifo").c_str(), 0600), 0);
    fs::create_directory(dir.path() / "earlier");
    if (corpus.destinationMade) WriteFile(dir.path() / "earlier/2020_01_01.rar", "old");
    if (!corpus.earlierRun.empty()) {
      fs::rename(dir.path() / "earlier", dir.path() / "dst");
      Inject(corpus, corpus.earlierRun);
      fs::rename(dir.path() / "dst", dir.path() / "earlier");
      fs::remove_all(dir.path() / "record");
    }
  }

  Outcome RunWith(const Corpus& corpus, const std::string& fault,
                  const std::string& redirect = "") {
    fs::remove_all(dir.path() / "dst");
    fs::remove_all(dir.path() / "record");
    fs::remove_all(dir.path() / "tmp");
    fs::create_directory(dir.path() / "tmp");
    if (fs::exists(dir.path() / "earlier/2020_01_01.rar") || !corpus.earlierRun.empty()) {
      fs::copy(dir.path() / "earlier", dir.path() / "dst", fs::copy_options::recursive);
    }
    return Inject(corpus, fault, redirect);
  }

  Outcome Inject(const Corpus& corpus, const std::string& fault, const std::string& redirect = "") {
    return Run("-s src -d dst -a -e '*.tmp' -r",
               "LD_PRELOAD=" + Quoted(FAULT_INJECTOR) + " ASAN_OPTIONS=verify_asan_link_order=0 " +
                   readAhead_ + kYearBack + corpus.environment + " " + fault +
                   " timeout -s KILL 20",
               redirect);
  }

  std::string ListHanded() const { return ArchiverRuns() > 0 ? Recorded("list") : ""; }

  // Each file of the clean run's list that this one lacks was reported
  // skipped and warned about, or lay in a directory that was.
  static bool Accounted(const Outcome& o, const std::string& file) {
    if (Holds(o.out, "S src/" + file + "\r\n") && Holds(o.err, "src/" + file)) return true;
    for (std::size_t slash = file.find('/'); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
      if (Holds(o.err, "cannot read directory src/" + file.substr(0, slash + 1))) return true;
    }
    return false;
  }

  void ExpectHonest(const Outcome& o, const std::string& cleanList, const std::string& what,
                    bool outOfMemory) {
    ASSERT_TRUE(o.status == 0 || o.status == 1) << what << ": crashed or hung, " << o.status;
    EXPECT_TRUE(outOfMemory || !Holds(o.err, "EOutOfMemory")) << what << ": " << o.err;
    const std::string list = ListHanded();
    // The archiver holds the destination lock as descriptor 3, if we got one.
    const std::string fds = ArchiverRuns() > 0 ? Recorded("fds") : "";
    const bool locked = !Holds(o.err, "stampbak: cannot lock ");
    EXPECT_TRUE(fds.empty() || std::count(fds.begin(), fds.end(), '\n') == (locked ? 4 : 3))
        << what << fds << o.err;
    for (const std::string& file : Lines(list)) {
      EXPECT_TRUE(Holds(o.out, "C src/" + file + "\r\n")) << what << ": unreported " << file;
    }
    const bool listKept = Holds(o.out, "CreateProcess failed with the following error: ") ||
                          Holds(o.err, "stampbak: cannot remove the list file ");
    EXPECT_TRUE(listKept || fs::is_empty(dir.path() / "tmp")) << what << ": list left";
    if (o.status == 1) {
      EXPECT_FALSE(Holds(o.out, "All OK")) << what;
      EXPECT_TRUE(o.err.starts_with("stampbak: ") || Holds(o.err, "\nstampbak: ") ||
                  Holds(o.err, "Exception "))
          << what << ": no backup, and no word why\n"
          << o.out << o.err;
      return;
    }
    EXPECT_TRUE(o.out.ends_with("All OK\r\n")) << what;
    const std::vector<std::string> handed = Lines(list);
    for (const std::string& file : Lines(cleanList)) {
      if (std::find(handed.begin(), handed.end(), file) != handed.end()) continue;
      EXPECT_TRUE(Accounted(o, file)) << what << ": " << file << " silently missing\n"
                                      << o.out << o.err;
    }
  }

  // Listings without entry types come to the same as those with them.
  std::map<std::string, long> Counts(const Corpus& corpus, std::string& cleanList) {
    const Outcome clean = RunWith(corpus, "STAMPBAK_FAULT_COUNTS=" + Quoted(capture / "counts"));
    EXPECT_EQ(clean.status, corpus.archiverFails ? 1 : 0) << clean.err;
    if (corpus.archiverFails) return CountsOf(capture.path() / "counts");
    if (corpus.archiveDue) {
      EXPECT_EQ(SortedLines(clean.out), SortedLines(typedOut_.empty() ? clean.out : typedOut_));
      typedOut_ = clean.out;
    }
    const std::size_t from =
        corpus.cleanRunSays.empty() ? 0 : clean.err.find(corpus.cleanRunSays) + 1;
    EXPECT_EQ(clean.err.find("stampbak: ", from), std::string::npos) << clean.err;
    cleanList = ListHanded();
    EXPECT_EQ(SortedLines(cleanList),
              corpus.archiveDue ? "a.txt\r\nlink.txt\r\nsub/b.txt\r\nsub/deep/c.txt\r\n" : "");
    return CountsOf(capture.path() / "counts");
  }

  static std::map<std::string, long> CountsOf(const fs::path& file) {
    std::map<std::string, long> counts;
    std::istringstream in(ReadFile(file));
    std::string name;
    for (long count = 0; in >> name >> count;) counts[name] = count;
    return counts;
  }

  // Every finished entry names a whole archive, at the size it was made:
  // no half one is ever trusted.
  void ExpectOnlyWholeArchivesFinished(const std::string& what) {
    const auto entries = ParseRecord(ReadFile(dir.path() / "dst/stampbak.record"));
    for (const RecordEntry& entry : entries.value_or(std::vector<RecordEntry>{})) {
      if (entry.State != EntryState::Finished) continue;
      const std::string archive = ReadFile(dir.path() / "dst" / entry.Archive);
      EXPECT_EQ(archive.size(), entry.Size) << what << ": " << entry.Archive;
      EXPECT_FALSE(archive.ends_with("half")) << what << ": " << entry.Archive;
    }
  }

  // The sweeps count calls, which workers reading ahead would make in any
  // order: they run with none, or on the fixed plan.
  std::string readAhead_ = "STAMPBAK_READ_AHEAD=0 ";

 private:
  std::string typedOut_;
};

TEST_F(FaultSweep, EveryFailingCallLeavesAnHonestRun) {
  std::map<std::string, long> reached;
  for (const Corpus& corpus : kCorpora) {
    Prepare(corpus);
    std::string cleanList;
    const std::map<std::string, long> counts = Counts(corpus, cleanList);
    for (const auto& [call, count] : counts) reached[call] += count;
    for (const auto& [call, reasons] : kReasons) {
      if (!corpus.swept.empty() && !corpus.swept.contains(call)) continue;
      for (long k = 1; k <= counts.at(call); ++k) {
        for (int reason : reasons) {
          const std::string fault = call + ":" + std::to_string(k) + ":" + std::to_string(reason);
          const Outcome o = RunWith(corpus, "STAMPBAK_FAULT=" + fault);
          const std::string what = std::string(corpus.name) + ", " + fault;
          ExpectHonest(o, cleanList, what, reason == ENOMEM);
          ExpectOnlyWholeArchivesFinished(what);
        }
      }
    }
  }
  // A sweep over a call that no clean run makes would prove nothing.
  for (const auto& [call, reasons] : kReasons) EXPECT_GT(reached[call], 0) << call;
}

// With a worker reading ahead on the fixed plan, the calls come in the same
// order on every run, it looks up and opens no more than the walk alone
// would, and a failing call or an allocation that fails anywhere, the
// worker's included, still leaves an honest run.
TEST_F(FaultSweep, ReadAheadOnTheFixedPlanLeavesHonestRuns) {
  const Corpus& corpus = kCorpora[0];
  std::string cleanList;
  const std::map<std::string, long> alone = Counts(corpus, cleanList);
  readAhead_ = "STAMPBAK_READ_AHEAD=plan ";
  const std::map<std::string, long> counts = Counts(corpus, cleanList);
  EXPECT_EQ(Counts(corpus, cleanList), counts);
  for (const char* call : {"openat", "fstatat", "fstat"})
    EXPECT_EQ(counts.at(call), alone.at(call));
  std::vector<std::string> faults;
  const std::map<std::string, std::vector<int>> reasons = {{"getdents64", {EIO, EBADMSG, ENOMEM}}};
  for (const char* call : {"openat", "fstatat", "fstat", "getdents64", "close"}) {
    for (int reason : reasons.contains(call) ? reasons.at(call) : kReasons.at(call)) {
      for (long k = 1; k <= counts.at(call); ++k)
        faults.push_back(call + (":" + std::to_string(k)) + ":" + std::to_string(reason));
    }
  }
  for (long k = 1; k <= counts.at("new"); ++k) faults.push_back("new:" + std::to_string(k));
  for (const std::string& fault : faults) {
    const Outcome o = RunWith(corpus, "STAMPBAK_FAULT=" + fault);
    ExpectHonest(o, cleanList, fault,
                 Holds(fault, "new:") || fault.ends_with(":" + std::to_string(ENOMEM)));
    // What a worker could not do the walk does itself, from the directory
    // kept open for it.
    EXPECT_FALSE(Holds(o.err, "opened again")) << fault << "\n" << o.err;
  }
  EXPECT_EQ(counts.at("pthread_create"), 1);
}

// Workers reading ahead say what the walk alone says, byte for byte, with
// no thread to be had, with every open of theirs failing for want of
// descriptors, on listings without entry types, and when another
// directory is swapped in just while a worker opens one: that one is not
// read in its place.
TEST_F(FaultSweep, ReadAheadLeftShortOrMisledSaysWhatTheWalkAloneSays) {
  for (int i = 0; i < 300; ++i) WriteFile(dir.path() / "src/many" / std::to_string(i) / "f.txt");
  WriteFile(capture.path() / "elsewhere/planted.txt");
  const struct {
    std::string how;
    std::string alone;
  } cases[] = {
      {"STAMPBAK_READ_AHEAD=4 STAMPBAK_FAULT=pthread_create:0:" + std::to_string(EAGAIN), ""},
      {"STAMPBAK_READ_AHEAD=4 STAMPBAK_FAULT_OFF_MAIN=1 STAMPBAK_FAULT=openat:0:" +
           std::to_string(EMFILE),
       ""},
      {"STAMPBAK_READ_AHEAD=4 STAMPBAK_UNTYPED_LISTINGS=1", "STAMPBAK_UNTYPED_LISTINGS=1"},
      {"STAMPBAK_READ_AHEAD=plan STAMPBAK_SWAP_AT_OPEN=many:" + Quoted(capture / "elsewhere"), ""},
  };
  for (const auto& [how, alone] : cases) {
    const Outcome expected = RunWith(kCorpora[0], alone);
    const std::string list = ListHanded();
    const Outcome o = RunWith(kCorpora[0], how);
    EXPECT_EQ(o.status, expected.status) << how;
    EXPECT_EQ(o.out, expected.out) << how;
    EXPECT_EQ(o.err, expected.err) << how;
    EXPECT_EQ(ListHanded(), list) << how;
  }
}

// A worker stuck in the file system, as on a dead share, does not hold up
// the run's end: a signal ends it as ever, and the worker is left to the
// process's exit.
TEST_F(FaultSweep, AWorkerStuckInALookUpDoesNotHoldUpTheEnd) {
  const Outcome o =
      RunWith(kCorpora[0], "STAMPBAK_READ_AHEAD=4 STAMPBAK_HOLD=b.txt timeout -s TERM 1");
  EXPECT_TRUE(Holds(o.err, "stampbak: ended by SIGTERM; no backup was made\n")) << o.err;
  EXPECT_FALSE(Holds(o.out, "All OK"));
  EXPECT_EQ(ArchiverRuns(), 0);
}

// As root, a list file or a record opened over a planted link would write
// where an attacker points: both are only ever created new, never through
// a link.
TEST_F(FaultSweep, ListFileAndRecordAreNeverOpenedOverALink) {
  WriteFile(capture.path() / "precious", "precious");
  const struct {
    std::string under;
    long randomNames;
    std::string said;
  } places[] = {
      {dir / "tmp", 99, "Exception EFCreateError"},
      {"dst/stampbak.record", 19,
       "stampbak: no backup was made: cannot write the record dst/stampbak.record: every name "
       "tried was taken"},
  };
  for (const auto& [under, randomNames, said] : places) {
    for (const std::string kind : {"", "soft:"}) {
      const Outcome o =
          RunWith(kCorpora[0], "STAMPBAK_PLANT_UNDER=" + Quoted(under) +
                                   " STAMPBAK_PLANT_LINK=" + Quoted(kind + (capture / "precious")) +
                                   " STAMPBAK_FAULT_COUNTS=" + Quoted(capture / "counts"));
      EXPECT_EQ(o.status, 1) << kind << under;
      // Every name after the first, which anyone can foresee, is a random one.
      EXPECT_EQ(CountsOf(capture.path() / "counts").at("getrandom"), randomNames) << kind << under;
      EXPECT_TRUE(Holds(o.err, said)) << o.err;
      EXPECT_EQ(ReadFile(capture.path() / "precious"), "precious") << kind << under;
      EXPECT_EQ(ArchiverRuns(), 0) << kind << under;
    }
    // One name taken (the tick count anyone can foresee) costs no backup.
    const Outcome o = RunWith(
        kCorpora[0], "STAMPBAK_PLANT_UNDER=" + Quoted(under) +
                         " STAMPBAK_PLANT_LINK=" + Quoted("once:" + (capture / "precious")));
    EXPECT_EQ(o.status, 0) << under << o.err;
    EXPECT_EQ(ArchiverRuns(), 1) << under;
    EXPECT_EQ(ReadFile(capture.path() / "precious"), "precious") << under;
    fs::remove_all(dir.path() / "record");
  }
}

// Into a file or a pipe the report leaves in loads of 128 bytes and the
// rest at the end; to a character device (here /dev/null) line by line.
TEST_F(FaultSweep, ReportLeavesIn128ByteLoadsOrLines) {
  const std::string sizes = "STAMPBAK_STDOUT_WRITES=" + Quoted(capture / "writes");
  const Outcome file = RunWith(kCorpora[0], sizes);
  std::vector<std::string> writes = Lines(ReadFile(capture.path() / "writes"));
  ASSERT_GT(writes.size(), 1U);
  EXPECT_EQ(std::count(writes.begin(), writes.end() - 1, "128"), writes.size() - 1);
  EXPECT_EQ(128 * (writes.size() - 1) + std::stoul(writes.back()), file.out.size());
  RunWith(kCorpora[0], sizes, "> /dev/null");
  writes = Lines(ReadFile(capture.path() / "writes"));
  EXPECT_EQ(writes.size(), Lines(file.out).size());
}

// What must never stall a run or leave the archiver on its own: an ending
// signal after the list is written but before the archiver is known, a
// random source that fails after the list's first name was taken, a wait
// for the archiver that fails. Each ends the run within a second, saying
// why, with no archiver left running.
TEST_F(FaultSweep, NoStallAndNoArchiverLeftAlone) {
  const std::pair<std::string, std::string> cases[] = {
      {"STAMPBAK_FAULT=pipe2:1:-" + std::to_string(SIGTERM),
       "stampbak: ended by SIGTERM, which was passed on to the archiver"},
      {"STAMPBAK_FAULT=getrandom:0:" + std::to_string(ENOSYS) + " STAMPBAK_PLANT_UNDER=" +
           Quoted(dir / "tmp") + " STAMPBAK_PLANT_LINK=once:" + Quoted(capture / "precious"),
       "stampbak: no backup was made: Cannot create file "},
      {"STAMPBAK_FAULT=waitpid:1:" + std::to_string(EIO),
       "could not be waited for (Input/output error) and was ended by SIGKILL"},
  };
  WriteFile(capture.path() / "precious");
  for (const auto& [fault, said] : cases) {
    const auto began = std::chrono::steady_clock::now();
    const Outcome o = RunWith(kCorpora[0], "STAND_IN_RAR_SLEEP=3 " + fault);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(2500)) << fault;
    EXPECT_EQ(o.status, 1) << fault;
    EXPECT_TRUE(Holds(o.err, said)) << fault << o.err;
    const std::string archiver = ArchiverRuns() > 0 ? Recorded("pid") : "";
    EXPECT_TRUE(archiver.empty() ||
                std::system(("kill -0 " + archiver + " 2> /dev/null").c_str()) != 0)
        << fault;
  }
}

// A signal that comes during the scan ends the run at its next entry, with
// or without the archive option: the rest of the tree is not scanned, no
// archiver runs, the reason is on standard error and the status is 1.
TEST_F(FaultSweep, SignalDuringTheScanEndsTheRunAtOnce) {
  for (int i = 0; i < 3000; ++i) WriteFile(dir.path() / ("src/many/f" + std::to_string(i)));
  for (const std::string archive : {"-r", ""}) {
    const Outcome o = Run("-s src -d dst " + archive, "LD_PRELOAD=" + Quoted(FAULT_INJECTOR) +
                                                          " STAMPBAK_FAULT=fstatat:500:-" +
                                                          std::to_string(SIGUSR1));
    EXPECT_EQ(o.status, 1) << archive;
    EXPECT_EQ(o.err, "stampbak: ended by SIGUSR1; no backup was made\n") << archive;
    EXPECT_FALSE(Holds(o.out, "All OK")) << archive;
    EXPECT_LT(std::count(o.out.begin(), o.out.end(), '\n'), 510) << archive;
    EXPECT_EQ(ArchiverRuns(), 0) << archive;
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp")) << archive;
  }
}

// A whole run killed at once (a stop time-out, the OOM killer, a power
// cut) at any step leaves no archive that a later run trusts: the next run
// archives, and the one after it settles.
TEST_F(FaultSweep, RunKilledAtAnyStepLeavesNothingTrusted) {
  const std::string kill = std::to_string(SIGKILL);
  const struct {
    const char* step;
    std::string how;
    bool archiveLeft;  // which the next run sets aside
  } steps[] = {
      {"before its entry", "STAMPBAK_FAULT=rename:1:-" + kill, false},
      {"after its entry", "STAMPBAK_FAULT=fork:1:-" + kill, false},
      {"while the archiver writes", "STAND_IN_RAR_FIFO=" + Quoted(capture / "fifo"), true},
      {"before its entry is finished", "STAMPBAK_FAULT=rename:2:-" + kill, true},
  };
  ASSERT_EQ(mkfifo((capture / "fifo").c_str(), 0600), 0);
  const Corpus& corpus = kCorpora[0];
  for (const auto& [step, how, archiveLeft] : steps) {
    Prepare(corpus);
    std::thread night([&] { RunWith(corpus, how); });
    if (Holds(how, "FIFO")) {
      // Both die at once, after half the archive is written.
      WaitForFile(dir.path() / "record/ppid");
      for (const auto& entry : fs::directory_iterator(dir.path() / "dst"))
        WaitForFile(entry.path());
      std::system(("kill -KILL " + Recorded("ppid") + " " + Recorded("pid")).c_str());
    }
    night.join();
    // Killed, the archiver may take a moment to go, and the lock with it.
    std::system(("timeout 5 sh -c 'while kill -0 \"$0\"; do sleep 0.02; done' " +
                 (Recorded("pid") + " 2> /dev/null"))
                    .c_str());
    fs::remove_all(dir.path() / "record");
    const Outcome next = Inject(corpus, "");
    EXPECT_EQ(next.status, 0) << step << next.err;
    EXPECT_EQ(Holds(next.err, "stampbak: the incomplete archive is kept as "), archiveLeft)
        << step << next.err;
    EXPECT_EQ(SortedLines(ListHanded()), "a.txt\r\nlink.txt\r\nsub/b.txt\r\nsub/deep/c.txt\r\n")
        << step;
    ExpectOnlyWholeArchivesFinished(step);
    EXPECT_TRUE(Holds(ReadFile(dir.path() / "dst/stampbak.record"), "\nfinished\t")) << step;
    fs::remove_all(dir.path() / "record");
    EXPECT_EQ(Inject(corpus, "").status, 0) << step;
    EXPECT_EQ(ArchiverRuns(), 0) << step;
  }
}

// Memory that runs out at any allocation ends the run with status 1 and
// the failure text, never an abort, and leaves no list behind.
TEST_F(FaultSweep, EveryFailingAllocationEndsTheRunCleanly) {
  const Corpus& corpus = kCorpora[0];
  std::string cleanList;
  const long allocations = Counts(corpus, cleanList).at("new");
  ASSERT_GT(allocations, 0);
  for (long k = 1; k <= allocations; ++k) {
    const std::string fault = "new:" + std::to_string(k);
    const Outcome o = RunWith(corpus, "STAMPBAK_FAULT=" + fault);
    EXPECT_EQ(o.status, 1) << fault << o.err;
    EXPECT_TRUE(Holds(o.err, "Exception EOutOfMemory in module stampbak at ")) << fault << o.err;
    EXPECT_TRUE(o.err.ends_with(".\nOut of memory.\nstampbak: no backup was made: Out of memory\n"))
        << fault << o.err;
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp")) << fault;
  }
}

}  // namespace
}  // namespace stampbak::testing
