// The whole tool as a scheduler runs it, the same cases for the native
// executable and for stampbak.exe under Wine.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <tuple>
#include <vector>

#include "tests/run_stampbak.h"

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

// One run of a row: shell statements ahead of it, the arguments and what
// it all comes to. Paths are written with "/" and shown as the platform
// shows them.
struct Step {
  std::string before;  // shell statements in the test directory ahead of the run
  std::string args;
  std::string environment;  // variables (and wrappers) for the program
  std::string out = "*";    // the report, its scan lines in any order; "*": any
  int status = 0;
  std::string err;    // lines standard error holds, each in part; "": no word of stampbak's
  std::string list;   // what the archiver was handed; "": it did not run
  std::string check;  // a shell test that must pass afterwards, with OUT and ERR
};

// Native rows run the Linux executable only; Simulated ones with the
// fault injector preloaded, to show file systems and clocks this machine
// does not have; Root ones as root only, which can run as another user.
enum class On { Both, Native, Simulated, Root };

// A tree (a name ending in "/" a directory) and the runs made on it.
struct Row {
  const char* name;
  std::vector<std::string> tree;
  std::vector<Step> steps;
  On on = On::Both;
};

// No archiver on the program search path, whichever the platform.
const std::string kNoArchiver = "(none)";

// A frozen clock; it is preloaded before a sanitizer's runtime, which is
// fine here.
const std::string kFrozenClock = FrozenClock("2026-12-06 01:30:54");

// A night's frozen clock, for runs that must have archives of their own.
std::string Night(int day, const char* time = "01:30:00") {
  return FrozenClock("2026-11-" + std::to_string(10 + day) + " " + time);
}

// The archiving run most rows make.
const std::string kRun = "-s src -d dst -r";

// Four nights of one job on a file system: the first archives, an idle one
// makes none, a change archives again, and the night after settles.
struct NightsOf {
  std::string environment = "";
  std::string setup = "";
  std::string idle = "";
  std::string change = "echo more >> src/a.txt";
  std::string list = "a.txt\r\n";
  std::string then = list;  // handed to the archiver after the change
  std::string err = "";
};

std::vector<Step> Nights(const NightsOf& n) {
  const std::string& args = kRun;
  return {
      {.before = n.setup, .args = args, .environment = n.environment, .err = n.err, .list = n.list},
      {.before = n.idle, .args = args, .environment = n.environment, .err = n.err},
      {.before = n.change,
       .args = args,
       .environment = n.environment,
       .err = n.err,
       .list = n.then},
      {.args = args, .environment = n.environment, .err = n.err}};
}

const std::string kOldTimes = "touch -d '2020-01-01 12:00' src/* outside/* && sleep 0.01";

const Row kRows[] = {
    {"without directories, the error line and how to call",
     {},
     {{.args = "-s src",
       .out = "ERROR: missing the two directories!\r\n",
       .status = 1,
       .err = "usage: stampbak -s SOURCE -d DESTINATION"},
      // The slip that caused it is named, and nothing is made on disk.
      {.args = "'-e*.tmp' -s src -d dst",
       .out = "ERROR: missing the two directories!\r\n",
       .status = 1,
       .err = "stampbak: the option -e*.tmp counts by its letter e alone\n"
              "stampbak: the value of -e*.tmp is -s, which looks like an option",
       .check = "! test -e dst"}}},
    // A mistyped option or a blank after ";" would silently change what is
    // backed up.
    {"passed-over parameters and odd masks are named",
     {"src/a.txt", "src/cache", "src/kept.rar"},
     {{.args = "-s src -d dst --exclude=x -x -i ' *.txt;*' '' -e '*.tmp; cache;sub/x'",
       .out = Report("src/", "dst/", "C src/a.txt\r\nC src/cache\r\nC src/kept.rar\r\n", " *.txt;*",
                     "*.tmp; cache;sub/x"),
       .err = "stampbak: passed over, its first letter names no option: --exclude=x\n"
              "stampbak: the include mask ' *.txt' begins or ends with a blank, which names rarely "
              "do\n"
              "stampbak: passed over, its first letter names no option: -x\n"
              "stampbak: passed over, an empty parameter\n"
              "stampbak: the exclude mask ' cache' begins or ends with a blank, which names rarely "
              "do\n"
              "stampbak: the exclude mask 'sub/x' holds a path separator; masks are matched "
              "against names "
              "only"}},
     On::Native},
    // Each slip is said the night it happens; the parsing stays as it is.
    {"slips that would cost a backup are said",
     {"src/notes.txt", "src/letters/a.txt", "src/budget/b.csv", "src/photos/p.txt", "src/music/",
      "file"},
     {{.args = "-s src -d dst -i '*.txt;*.csv' -e notes.txt",
       .out = Report("src/", "dst/", "E src/notes.txt\r\n", "*.txt;*.csv", "notes.txt"),
       .err = "stampbak: the include list takes none of the 4 directories in src/ (\n"
              "); it decides for directories too, so nothing in them is backed up",
       .check = "grep -Eq '\\(([a-z]+, ){3}\\.\\.\\.\\); it decides' \"$ERR\""},
      {.args = "-s src -d dst -i '*.txt;letters'",
       .out =
           Report("src/", "dst/", "C src/notes.txt\r\nC src/letters/a.txt\r\n", "*.txt;letters")},
      {.args = "-s src -d . -r",
       .err = "stampbak: the destination ./ names the archive ",
       .list = "notes.txt\r\nletters/a.txt\r\nbudget/b.csv\r\nphotos/p.txt\r\n"},
      {.args = "-s src -d dst '-e*.tmp' -a -r",
       .err = "stampbak: the option -e*.tmp counts by its letter e alone; its value is the next "
              "parameter\n"
              "stampbak: the value of -e*.tmp is -a, which looks like an option; it is taken as "
              "the value",
       .list = "notes.txt\r\nletters/a.txt\r\nbudget/b.csv\r\nphotos/p.txt\r\n"},
      {.args = "-s src -d 'file/dst'",
       .out = Report("src/", "file/dst/",
                     "C src/notes.txt\r\nC src/letters/a.txt\r\nC src/budget/b.csv\r\n"
                     "C src/photos/p.txt\r\n"),
       .err = "stampbak: cannot create the destination file/dst/: "}}},
    {"the lists decide for files and directories",
     {"src/a.txt", "src/notes.log", "src/skip.doc", "src/.hidden", "src/sub/b.txt",
      "src/temp/hidden.txt", "src/other/c.txt", "src/empty/"},
     {{.args = "-s src -d dst -i '*.txt;*.log;sub;temp;empty;.hidden' -e 'TEMP;*.LOG;*.doc'",
       .out = Report("src/", "dst/",
                     "C src/a.txt\r\nE src/notes.log\r\nS src/skip.doc\r\nC src/.hidden\r\n"
                     "C src/sub/b.txt\r\n",
                     "*.txt;*.log;sub;temp;empty;.hidden", "temp;*.log;*.doc"),
       .check = "test -d dst"}}},
    {"a source that cannot be read is no empty backup",
     {},
     {{.args = "-s missing -d dst",
       .out = ReportHeader("missing/", "dst/"),
       .status = 1,
       .err = "Cannot read source directory missing/ (from \n"
              "stampbak: no backup was made: Cannot read source directory missing/ (from ",
       .check = "grep -q '(from .*[^/\\\\]): ' \"$ERR\""}}},
    // A first component of two letters is no drive. Directories alone, however new, give the
    // archiver nothing to pack.
    {"an empty source is, and the destination chain is made",
     {"empty/sub/"},
     {{.args = "-s empty -d 'bk/new'",
       .out = Report("empty/", "bk/new/", ""),
       .check = "test -d bk/new"},
      {.args = "-s empty -d 'bk/new' -r",
       .out = Report("empty/", "bk/new/", ""),
       .err = "stampbak: no file was selected: the source empty/ holds no file (is its disk "
              "mounted?); no archive is made"},
      {.before = "touch empty/sub/x.txt",
       .args = "-s empty -d 'bk/new' -r -i '*.doc;sub'",
       .err = "stampbak: no file was selected: the lists take none of the files met in empty/ "
              "(1); no archive is made"}}},
    {"blanks reach the archiver whole; a relative destination is ours",
     {"my src/c d.txt"},
     {{.args = "-s 'my src' -d 'out/my dst' -r",
       .out = Report("my src/", "out/my dst/", "C my src/c d.txt\r\n"),
       .list = "c d.txt\r\n",
       .check = "test -f 'out/my dst.rar'"}}},
    // The record of finished archives is the memory between runs: what an
    // archive's own time says, or an archive lying there, never counts.
    // Touching a file, even back in time, changes it.
    {"archives once per change, whatever the archives say, and the record decides",
     {"src/a.txt", "src/sub/b.txt", "dst/ahead.rar"},
     {{.before = "touch -d '2024-03-05 14:07:08' src/a.txt src/sub/b.txt && "
                 "touch -d 'now + 23 hours' dst/ahead.rar",
       .args = kRun,
       .list = "a.txt\r\nsub/b.txt\r\n",
       .check = "grep -q '^finished\t' dst/stampbak.record"},
      {.args = kRun},
      {.before = "touch -d '2024-03-05 14:07:06' src/sub/b.txt",
       .args = kRun,
       .list = "a.txt\r\nsub/b.txt\r\n"},
      // Dated ahead by a clock that ran fast, or by a dating that did not hold.
      {.before = "touch -d '2099-01-01' dst.rar && echo more >> src/a.txt && "
                 "touch -d '2024-03-05 14:07:08' src/a.txt",
       .args = kRun,
       .list = "a.txt\r\nsub/b.txt\r\n"},
      {.before = "touch -d '2000-01-01' dst.rar", .args = kRun},
      // Without the record (deleted, or made before it) each job archives
      // once more, and never misses a file.
      {.before = "rm dst/stampbak.record", .args = kRun, .list = "a.txt\r\nsub/b.txt\r\n"},
      {.before = "printf 'stampbak record 9\\n' > dst/stampbak.record",
       .args = kRun,
       .err = "stampbak: the record dst/stampbak.record is not one this version of stampbak "
              "reads; it is not trusted, and this run archives",
       .list = "a.txt\r\nsub/b.txt\r\n"},
      {.args = kRun}}},
    // A file copied or moved into the tree keeps an old last-write time,
    // yet is in no archive: its arrival counts, once.
    {"files that arrive with old times are archived, once",
     {"src/a.txt", "outside/photo.jpg", "outside/moved.txt", "outside/scratch.tmp"},
     {{.before = kOldTimes,
       .args = "-s src -d dst -e '*.tmp' -r",
       .out = Report("src/", "dst/", "C src/a.txt\r\n", "*.*", "*.tmp"),
       .list = "a.txt\r\n"},
      {.before = "cp -p outside/photo.jpg src/",
       .args = "-s src -d dst -e '*.tmp' -r",
       .out = Report("src/", "dst/", "C src/a.txt\r\nC src/photo.jpg\r\n", "*.*", "*.tmp"),
       .list = "a.txt\r\nphoto.jpg\r\n"},
      {.args = "-s src -d dst -e '*.tmp' -r",
       .out = Report("src/", "dst/", "C src/a.txt\r\nC src/photo.jpg\r\n", "*.*", "*.tmp")},
      {.before = "mv outside/moved.txt src/",
       .args = "-s src -d dst -e '*.tmp' -r",
       .out = Report("src/", "dst/", "C src/a.txt\r\nC src/photo.jpg\r\nC src/moved.txt\r\n", "*.*",
                     "*.tmp"),
       .list = "a.txt\r\nphoto.jpg\r\nmoved.txt\r\n"},
      // An excluded name is no part of the job.
      {.before = "cp -p outside/scratch.tmp src/",
       .args = "-s src -d dst -e '*.tmp' -r",
       .out = Report("src/", "dst/",
                     "C src/a.txt\r\nC src/photo.jpg\r\nC src/moved.txt\r\nE src/scratch.tmp\r\n",
                     "*.*", "*.tmp")}}},
    // A directory moved or renamed into the tree keeps its files' old
    // times; only its own change time tells that it arrived.
    {"whatever arrives is archived, once",
     {"src/a.txt", "src/cache/c.txt", "outside/project/p.txt", "outside/two/t.txt",
      "outside/two/gone.txt"},
     {{.before = "touch -d 2020-01-01 src/*/* src/* outside/*/*",
       .args = "-s src -d dst -e cache -r",
       .list = "a.txt\r\n"},
      {.before = "mv outside/project src/",
       .args = "-s src -d dst -e cache -r",
       .list = "a.txt\r\nproject/p.txt\r\n"},
      {.args = "-s src -d dst -e cache -r"},
      {.before = "mv src/cache src/kept && mv outside/two src/ && rm src/two/gone.txt",
       .args = "-s src -d dst -e cache -r",
       .list = "a.txt\r\nproject/p.txt\r\nkept/c.txt\r\ntwo/t.txt\r\n"}}},
    // The link's own change time tells its arrival; the source's does not
    // here, as it holds the unstamped archive, whose making it moves.
    {"a link added to an old file is archived",
     {"src/a.txt", "outside/old.txt"},
     {{.before = "touch -d 2020-01-01 src/a.txt outside/old.txt",
       .args = "-s src -d src/bk -r",
       .list = "a.txt\r\n"},
      {.before = "ln -s ../outside/old.txt src/link.txt",
       .args = "-s src -d src/bk -r",
       .err = "stampbak: the destination lies inside the source",
       .list = "a.txt\r\nlink.txt\r\n"},
      {.args = "-s src -d src/bk -r", .err = "stampbak: the destination lies inside the source"}},
     On::Native},
    // A job is its resolved source and its two lists: a job that takes
    // more, or its source reached another way, archives once.
    {"a widened, narrowed or moved job archives once",
     {"home/docs/a.txt", "home/docs/b.doc", "home/c.txt"},
     {{.before = "ln -s home/docs docs",
       .args = "-s home/docs -d dst -a -m -r -i '*.txt'",
       .environment = Night(1),
       .list = "a.txt\r\n"},
      {.args = "-s home/docs -d dst -a -m -r -i '*.txt;*.doc'",
       .environment = Night(2),
       .list = "a.txt\r\nb.doc\r\n"},
      {.args = "-s home/docs -d dst -a -m -r -e '*.doc'",
       .environment = Night(4),
       .list = "a.txt\r\n"},
      {.args = "-s home/docs -d dst -a -m -r",
       .environment = Night(5),
       .list = "a.txt\r\nb.doc\r\n"},
      {.args = "-s home -d dst -a -m -r",
       .environment = Night(7),
       .list = "c.txt\r\ndocs/a.txt\r\ndocs/b.doc\r\n"},
      // Entries whose archives are gone name nothing and go; the job whose
      // only archive went archives again.
      {.before = "rm dst/2026_11_11_01_30_00.rar",
       .args = "-s home/docs -d dst -a -m -r -i '*.txt'",
       .environment = Night(7, "02:00:00"),
       .list = "a.txt\r\n",
       .check = "grep -q 2026_11_12 dst/stampbak.record && "
                "! grep -q 2026_11_11 dst/stampbak.record"},
      {.before = "rm docs && ln -s home docs",
       .args = "-s docs -d dst -a -m -r",
       .environment = Night(8)},
      // Two jobs whose archives would have one name: the second is refused.
      {.before = "echo more >> home/docs/a.txt",
       .args = "-s home/docs -d dst -a -r",
       .environment = Night(9),
       .list = "a.txt\r\nb.doc\r\n"},
      {.args = "-s home -d dst -a -r",
       .environment = Night(9),
       .status = 1,
       .err = "stampbak: no backup was made: the archive ",
       .check = "grep -q 'belongs to another job, of .*/home/docs/ with the lists' \"$ERR\""}},
     On::Native},
    // Names others may add, links planted at an archive's name, archives
    // others may change: said, never trusted, never written through.
    {"what others may plant or change is said and never trusted",
     {"src/a.txt"},
     {{.before = "mkdir dst && chmod 1770 dst && ln -s /proc/self/status dst/zzzz.rar",
       .args = kRun,
       .err = "stampbak: the destination dst/ is open to others: its group can add names to dst/, "
              "sticky as it is",
       .list = "a.txt\r\n"},
      {.before = "chmod 700 dst && chmod g+w dst.rar",
       .args = kRun,
       .err = "stampbak: the archive dst.rar can be changed by others"},
      {.before = "chmod g-w dst.rar && mv dst.rar kept.rar && ln -s kept.rar dst.rar",
       .args = kRun,
       .out = ReportHeader("src/", "dst/") + "C src/a.txt\r\n",
       .status = 1,
       .err = "stampbak: the archive dst.rar is a link; it does not count as a backup\n"
              "stampbak: no backup was made: /",
       .check = "grep -q 'dst.rar is a link$' \"$ERR\" && test \"$(readlink dst.rar)\" = kept.rar"},
      {.before = "rm dst.rar && mv kept.rar dst.rar", .args = kRun}},
     On::Native},
    // A user other than root who cannot write the destination: no archiver
    // run, the reason where cron reads it, no list left.
    {"another user who cannot write the destination makes no backup, saying why",
     {"src/a.txt", "dst/"},
     {{.before = "chmod o+rx .",
       .args = kRun,
       .environment = "setpriv --reuid 65534 --regid 65534 --clear-groups",
       .out = ReportHeader("src/", "dst/") + "C src/a.txt\r\n",
       .status = 1,
       .err = "stampbak: no backup was made: cannot write the record dst/stampbak.record: "
              "Permission denied"}},
     On::Root},
    // What the archiver says is checked: a success that left no archive is
    // no backup, and the next run archives.
    {"an archiver that succeeds without an archive is no backup",
     {"src/a.txt"},
     {{.args = kRun,
       .environment = "STAND_IN_RAR_NO_ARCHIVE=1",
       .out = ReportHeader("src/", "dst/") + "C src/a.txt\r\n",
       .status = 1,
       .err = "stampbak: no backup was made: the archiver left no archive at ",
       .list = "a.txt\r\n"},
      {.args = kRun, .list = "a.txt\r\n"},
      {.args = kRun}}},
    // Nothing of the run's own (the list file in a TEMP inside the source)
    // and no clock (one that ran ten hours ahead, then was put right) is a
    // change.
    {"nights settle, whatever the run leaves and whatever the clock said",
     {"src/b.txt", "outside/x.txt"},
     {{.before = "touch -d 2020-01-01 outside/x.txt",
       .args = kRun,
       .environment = "TEMP=\"$PWD/src\" " + FrozenClock("+10h"),
       .list = "b.txt\r\n"},
      {.before = "cp -p outside/x.txt src/",
       .args = kRun,
       .environment = "TEMP=\"$PWD/src\"",
       .list = "b.txt\r\nx.txt\r\n"},
      {.args = kRun, .environment = "TEMP=\"$PWD/src\""}},
     On::Native},
    // Time stamps in steps of an hour, and the clock with them: a change
    // within the step keeps the stamps, and only the content tells.
    {"a change the time stamps cannot tell is archived",
     {"src/a.txt", "src/b.txt"},
     Nights({.environment = "STAMPBAK_STAMPS=3600:$(cat base)",
             .setup = "date +%s > base",
             .idle = "touch src/a.txt src/b.txt",
             .change = "printf 'src/a.tx!' > src/a.txt",
             .list = "a.txt\r\nb.txt\r\n"}),
     On::Simulated},
    // FAT's two seconds; change times a year ahead (set while the clock ran
    // fast) or none at all, as some FUSE drivers give; modes not kept.
    {"FAT's two-second stamps settle and miss nothing",
     {"src/a.txt"},
     Nights({.environment = "STAMPBAK_STAMPS=2:0"}),
     On::Simulated},
    {"change times a year ahead settle and miss nothing",
     {"src/a.txt"},
     Nights({.environment = "STAMPBAK_STAMP_SHIFT=31536000"}),
     On::Simulated},
    {"without change times, a folder moved in is archived",
     {"src/a.txt", "outside/moved/m.txt"},
     Nights({.environment = "STAMPBAK_NO_CHANGE_TIMES=1",
             .setup = "touch -d 2020-01-01 outside/moved/m.txt",
             .change = "mv outside/moved src/",
             .then = "a.txt\r\nmoved/m.txt\r\n"}),
     On::Simulated},
    {"a destination that keeps no modes settles, saying so",
     {"src/a.txt"},
     Nights({.environment = "STAMPBAK_PERMISSIONLESS=1",
             .err = "stampbak: the destination dst/ keeps no owners or modes"}),
     On::Simulated},
    // An archiver that never started touched no archive: the one there
    // before stays trusted.
    {"the archiver missing is no backup, and says why where cron reads it",
     {"src/a.txt"},
     {{.args = kRun, .list = "a.txt\r\n"},
      {.before = "echo more >> src/a.txt",
       .args = kRun,
       .environment = kNoArchiver,
       .out = ReportHeader("src/", "dst/") +
              "C src/a.txt\r\nCreateProcess failed with the following error: 2\r\n",
       .status = 1,
       .err = "stampbak: no backup was made: the archiver rar was not found on PATH; the list "
              "file "},
      {.args = kRun, .list = "a.txt\r\n", .check = "! test -e dst.rar.incomplete"}}},
    // A failing archiver is no backup either, and a half-made archive would
    // pass for the last one: one made by this run is set aside, one there
    // before gets back its time, and the next run archives again.
    {"a failing archiver is no backup, and its half-made archive is never trusted",
     {"src/a.txt"},
     {{.args = kRun,
       .environment = "STAND_IN_RAR_EXIT=3",
       .out = ReportHeader("src/", "dst/") +
              "C src/a.txt\r\nArchiver failed with the following exit code: 3\r\n",
       .status = 1,
       .err = "stampbak: no backup was made: the archiver rar ended with status 3\n"
              "stampbak: the incomplete archive is kept as ",
       .list = "a.txt\r\n",
       .check = "test -f dst.rar.incomplete && ! test -e dst.rar"},
      {.args = kRun,
       .out = Report("src/", "dst/", "C src/a.txt\r\n"),
       .list = "a.txt\r\n",
       .check = "test -f dst.rar"},
      // One that was there before holds the earlier backups: set aside too,
      // never replacing the earlier half one.
      {.before = "touch src/a.txt",
       .args = kRun,
       .environment = "STAND_IN_RAR_EXIT=3",
       .out = ReportHeader("src/", "dst/") +
              "C src/a.txt\r\nArchiver failed with the following exit code: 3\r\n",
       .status = 1,
       .err = "stampbak: the incomplete archive is kept as ",
       .list = "a.txt\r\n",
       .check = "test -f dst.rar.incomplete.2 && test -f dst.rar.incomplete && ! test -e dst.rar"},
      {.args = kRun, .out = Report("src/", "dst/", "C src/a.txt\r\n"), .list = "a.txt\r\n"}}},
    {"a destination that cannot be created says so before the scan",
     {"src/a.txt", "file"},
     {{.args = "-s src -d 'file/dst' -r",
       .out = ReportHeader("src/", "file/dst/") + "C src/a.txt\r\n",
       .status = 1,
       .err = "stampbak: cannot create the destination file/dst/: \n"
              "stampbak: no backup was made: cannot write the record file/dst/stampbak.record: "}}},
    {"names with wildcards never reach the archiver, which would read them as masks",
     {"src/a.txt", "src/b.log", "src/*", "src/d?/c.txt"},
     {{.args = "-s src -d dst -e '*.log' -r",
       .out = Report("src/", "dst/", "C src/a.txt\r\nE src/b.log\r\nS src/*\r\n", "*.*", "*.log"),
       .err = "stampbak: not archived, the name holds a wildcard: src/*\n"
              "stampbak: not entered, the name holds a wildcard: src/d?/",
       .list = "a.txt\r\n"}},
     On::Native},
    // A Turkish locale would lower "I" to a dotless i, or not at all; its
    // other capitals, such as the accented E, are lowered by its own rule.
    {"capitals A to Z are lowered in every locale, the others by the locale's",
     {"src/BOOT.INI", "src/Info.txt", "src/other.txt"},
     {{.before = "localedef -i tr_TR -f ISO-8859-9 ./tr 2> /dev/null; test -d tr",
       .args = "-s src -d dst -i '*.ini;I*' -e 'TEMP\xC9'",
       .environment = "LOCPATH=. LC_ALL=tr",
       .out = Report("src/", "dst/", "C src/BOOT.INI\r\nC src/Info.txt\r\nS src/other.txt\r\n",
                     "*.ini;i*", "temp\xE9")}},
     On::Native},
    // A leap second, where the zone counts them, stamps as second 59.
    {"the stamps come from the clock",
     {"src/"},
     {{.args = "-s src -d d -a -m",
       .environment = kFrozenClock,
       .out = Report("src/", "d/2026_12_06_01_30_54/", ""),
       .check = "test -d d && ! test -e d/2026_12_06_01_30_54"},
      {.args = "-m -s src -d d",
       .environment = kFrozenClock,
       .out = Report("src/", "d/01_30_54/", "")},
      {.args = "-a -m -s src -d d",
       .environment = "TZ=right/UTC NO_FAKE_STAT=1 ASAN_OPTIONS=verify_asan_link_order=0 "
                      "faketime -f '2016-12-31 23:59:60'",
       .out = Report("src/", "d/2016_12_31_23_59_59/", "")}},
     On::Native},
    // The archive holds copies of files others may not read.
    {"archives are readable by their owner only",
     {"src/a.txt"},
     {{.before = "umask 022",
       .args = kRun,
       .out = Report("src/", "dst/", "C src/a.txt\r\n"),
       .list = "a.txt\r\n",
       .check = "test \"$(stat -c %a dst.rar)\" = 600 && test \"$(cat record/listmode)\" = 600"}},
     On::Native},
};

// Wine now and then hands the archiver our own standard output, though we
// give it none (Windows gives it a hidden console of its own): its talk is
// not ours to check there, nor in a log that takes both its streams.
std::string WithoutWineLeak(std::string out) {
  for (std::size_t at; (at = out.find("stand-in rar: ")) != std::string::npos;) {
    out.erase(at, out.find('\n', at) + 1 - at);
  }
  return out;
}

// One test per row, for the native executable and for stampbak.exe.
class RowRun : public NativeRun,
               public ::testing::WithParamInterface<std::tuple<bool, std::size_t>> {
 protected:
  bool Windows() const override { return std::get<0>(GetParam()); }
  const Row& row() const { return kRows[std::get<1>(GetParam())]; }
};

TEST_P(RowRun, Runs) {
  if (row().on != On::Both && Windows()) GTEST_SKIP() << "native only";
  const std::string injector = FAULT_INJECTOR;
  if (row().on == On::Simulated && injector.empty()) GTEST_SKIP() << "no fault injector";
  if (row().on == On::Root && geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string simulated =
      row().on == On::Simulated
          ? "LD_PRELOAD=" + Quoted(injector) + " ASAN_OPTIONS=verify_asan_link_order=0 "
          : "";
  for (const std::string& file : row().tree) {
    if (file.ends_with("/")) {
      fs::create_directories(dir.path() / file);
    } else {
      WriteFile(dir.path() / file, file);
    }
  }
  int step = 0;
  for (const Step& s : row().steps) {
    SCOPED_TRACE("run " + std::to_string(++step));
    const int archiverRuns = ArchiverRuns();
    const std::string noArchiver = Windows() ? "WINEPATH=" : "PATH=/nonexistent";
    const Outcome outcome =
        Run(P(s.args), s.environment == kNoArchiver ? noArchiver : simulated + s.environment, "",
            s.before.empty() ? "" : s.before + " &&");
    if (s.out != "*") {
      EXPECT_EQ(SortedLines(Windows() ? WithoutWineLeak(outcome.out) : outcome.out),
                SortedLines(P(s.out)));
    }
    EXPECT_EQ(outcome.status, s.status) << outcome.err;
    if (s.err.empty()) {
      EXPECT_EQ(outcome.err.find("stampbak"), std::string::npos) << outcome.err;
    }
    std::istringstream lines(P(s.err));
    for (std::string line; std::getline(lines, line);) {
      EXPECT_NE(outcome.err.find(line), std::string::npos) << outcome.err;
    }
    const bool archived = ArchiverRuns() > archiverRuns;
    EXPECT_EQ(SortedLines(archived ? Recorded("list") : ""), SortedLines(P(s.list)));
    const std::string check = "cd " + Quoted(dir.path().string()) +
                              " && OUT=" + Quoted(capture / "out") +
                              " && ERR=" + Quoted(capture / "err") + " && " + s.check;
    EXPECT_TRUE(s.check.empty() || std::system(check.c_str()) == 0) << s.check;
    const bool listKept = outcome.out.find("CreateProcess failed") != std::string::npos;
    EXPECT_TRUE(Windows() || listKept || fs::is_empty(dir.path() / "tmp"));
    for (const auto& kept : fs::directory_iterator(dir.path() / "tmp")) fs::remove(kept.path());
  }
}

std::string RowName(const ::testing::TestParamInfo<std::tuple<bool, std::size_t>>& info) {
  std::string name;
  for (const char* c = kRows[std::get<1>(info.param)].name; *c != '\0'; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) {
      name += *c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Native, RowRun,
                         ::testing::Combine(::testing::Values(false),
                                            ::testing::Range<std::size_t>(0, std::size(kRows))),
                         RowName);
INSTANTIATE_TEST_SUITE_P(Wine, RowRun,
                         ::testing::Combine(::testing::Values(true),
                                            ::testing::Range<std::size_t>(0, std::size(kRows))),
                         RowName);

// The answers a person asks for, to each way of asking, end their lines
// as every other text on the platform does.
TEST_P(StampbakRun, HelpAndVersionEndLinesAsThePlatformDoes) {
  const std::string lineEnd = Windows() ? "\r\n" : "\n";
  EXPECT_EQ(Run("--version").out, "stampbak 1.0.0" + lineEnd);
  const std::string help = Run("/?").out;
  EXPECT_TRUE(help.starts_with("usage: stampbak -s SOURCE -d DESTINATION [")) << help;
  EXPECT_NE(help.find(lineEnd + "  -r "), std::string::npos) << help;
  EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 11);
  EXPECT_EQ(std::count(help.begin(), help.end(), '\r'), Windows() ? 11 : 0);
  for (const char* asking : {"--help", "-h"}) {
    const Outcome outcome = Run(asking);
    EXPECT_EQ(outcome.out, help) << asking;
    EXPECT_EQ(outcome.status, 0) << asking;
  }
}

// However the destination inside the source is spelled, the run's own files
// (the archives in it and the unstamped one beside it, in the source here,
// and the record) are never packed into the next one, and making them is
// no change: a second run on the unchanged tree makes none, in every shape.
TEST_P(StampbakRun, DestinationInsideTheSourceNeverPacksItself) {
  WriteFile(dir.path() / "src/a.txt");
  int second = 0;
  const std::pair<const char*, const char*> runs[] = {
      {"src/./backup", "-a"}, {"src/./backup", "-a -m"}, {"src/backup", ""}, {"src/backup", ""}};
  for (const auto& [destination, stamp] : runs) {
    SetLocalWriteTime(dir.path() / "src/a.txt", "2024-03-05 14:07:" + std::to_string(second += 2));
    for (int unchanged = 0; unchanged < 2; ++unchanged) {
      const Outcome outcome = Run("-s src -r -d " + Quoted(P(destination)) + " " + stamp);
      EXPECT_EQ(outcome.status, 0) << outcome.err;
      // From the second run on there are archives to leave out.
      EXPECT_EQ(outcome.err.find("stampbak: the destination lies inside the source; its archives "
                                 "are not packed again: " +
                                 P(destination)) != std::string::npos,
                second > 2 || unchanged == 1)
          << destination << stamp << outcome.err;
    }
    EXPECT_EQ(Recorded("list"), "a.txt\r\n") << destination << stamp;
    EXPECT_EQ(ArchiverRuns(), second / 2) << destination << stamp;
  }
  // Nor are the archives set aside, in it or beside it.
  WriteFile(dir.path() / "src/backup.rar.incomplete");
  WriteFile(dir.path() / "src/backup/2026_01_01.rar.incomplete.2");
  EXPECT_EQ(Run("-s src -r -d " + Quoted(P("src/backup"))).status, 0);
  EXPECT_EQ(Run("-s src -r -d " + Quoted(P("src/backup")) + " -a").status, 0);
  EXPECT_EQ(ArchiverRuns(), second / 2);
}

// Workers reading ahead say what the walk alone says, byte for byte: on a
// directory of more entries than they hand over at once or hold ahead of
// the walk, a chain deeper than they read ahead, names the walk passes
// over or leaves out; however many, and on the fixed plan. Under
// ThreadSanitizer this is where they would race.
TEST_P(StampbakRun, ReadAheadSaysWhatTheWalkAloneSays) {
  for (int i = 0; i < 5000; ++i) WriteFile(dir.path() / "src/flat" / ("f" + std::to_string(i)));
  fs::path chain = dir.path() / "src/chain";
  for (int level = 0; level < 300; ++level) chain /= "c";
  WriteFile(chain / "deep.txt");
  for (const char* name : {"src/w*ild/in.txt", "src/many/1/x.tmp", "src/many/2/y.txt", "src/a.tmp"})
    WriteFile(dir.path() / name);
  fs::create_directory_symlink("many", dir.path() / "src/link");
  const Outcome alone = Run("-s src -d dst -e '*.tmp;1'", "STAMPBAK_READ_AHEAD=0");
  for (const char* workers : {"1", "4", "plan"}) {
    const Outcome o =
        Run("-s src -d dst -e '*.tmp;1'", std::string("STAMPBAK_READ_AHEAD=") + workers);
    EXPECT_EQ(o.status, alone.status) << workers;
    EXPECT_EQ(o.out, alone.out) << workers;
    EXPECT_EQ(o.err, alone.err) << workers;
  }
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
