#include "src/run_sequence.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "src/backup_pass.h"
#include "src/command_line.h"
#include "src/failures.h"
#include "src/report_channel.h"
#include "src/uUtils.h"

namespace stampbak {
namespace {

constexpr char kMissingDirectories[] = "ERROR: missing the two directories!";

// For a person who called the tool without knowing how; the report keeps
// its one line.
constexpr const char* kUsage[] = {
    "usage: stampbak -s SOURCE -d DESTINATION [-i INCLUDE] [-e EXCLUDE] [-a] [-m] [-r]",
    "  -s SOURCE       the directory tree to back up",
    "  -d DESTINATION  created with its missing parents; the archive goes in it as",
    "                  DESTINATION/STAMP.rar with -a or -m, else beside it as DESTINATION.rar",
    "  -i INCLUDE      names to take, wildcard masks separated by ';' (default *.*)",
    "  -e EXCLUDE      names to leave out among those taken",
    "  -a              stamp the archive's name with the date, YYYY_MM_DD",
    "  -m              stamp it with the time, HH_MM_SS",
    "  -r              make the archive with rar when a selected file is newer",
    "  --help, --version  this text, or the version",
    "The whole story: man stampbak (on Windows, README.md beside the program).",
};

void EndWithDelimiter(std::string& path) {
  if (path.back() != platform::PathDelimiter) path += platform::PathDelimiter;
}

std::string DestinationStamp(const RunSettings& settings, const platform::LocalTime& now) {
  char date[32];
  char time[32];
  std::snprintf(date, sizeof date, "%.04d_%.02d_%.02d", now.Year, now.Month, now.Day);
  std::snprintf(time, sizeof time, "%.02d_%.02d_%.02d", now.Hour, now.Minute, now.Second);
  std::string stamp;
  if (settings.UseDateStamp) stamp += date;
  if (settings.UseTimeStamp) {
    if (settings.UseDateStamp) stamp += '_';
    stamp += time;
  }
  return stamp;
}

// How many workers read ahead of the scan: a few by default, since the
// disk answers several requests at once; none, or the tests' fixed plan,
// where the environment asks.
void ReadAheadFromEnvironment(RunSettings& settings) {
  constexpr int kMostWorkers = 16;
  const std::string value = platform::EnvironmentVariable("STAMPBAK_READ_AHEAD");
  if (value == "plan") {
    settings.ReadAheadWorkers = 1;
    settings.ReadAheadLockstep = true;
  } else if (!value.empty() && value.size() <= 2 &&
             value.find_first_not_of("0123456789") == std::string::npos) {
    settings.ReadAheadWorkers = std::min(std::stoi(value), kMostWorkers);
  }
}

// Returns why the destination chain could not be made, if it could not.
std::string NormaliseDirectories(RunSettings& settings) {
  EndWithDelimiter(settings.DstDir);
  EndWithDelimiter(settings.SrcDir);
  std::string reason = MakeDirectoryPath(settings.DstDir);
  settings.BaseDstDir = settings.DstDir;
  if (settings.UseDateStamp || settings.UseTimeStamp) {
    settings.DstDir += DestinationStamp(settings, platform::Now());
    settings.DstDir += platform::PathDelimiter;
  }
  settings.IncludeMask = LowerCase(settings.IncludeMask);
  settings.ExcludeMask = LowerCase(settings.ExcludeMask);
  return reason;
}

// A destination that cannot be made, or with -r one the archive cannot be
// written in, is said at once with the system's reason: otherwise it shows
// only after the whole scan, as the archiver's failure, or not at all.
void CheckDestination(const Run& run, const std::string& unmade) {
  const RunSettings& settings = run.settings;
  if (!unmade.empty()) {
    Warn(run, "cannot create the destination " + settings.BaseDstDir + ": " + unmade);
    return;
  }
  if (!settings.UseArchiver) return;
  const bool stamped = settings.UseDateStamp || settings.UseTimeStamp;
  const std::string archive = ArchiveNamedAfter(stamped ? settings.DstDir : settings.BaseDstDir);
  const std::string directory = DirectoryOf(archive);
  const std::string place = directory.empty() ? std::string(".") : directory;
  if (!platform::IsDirectory(place)) {
    Warn(run, "cannot create the destination " + settings.BaseDstDir + ": it is not a directory");
    return;
  }
  const std::string reason = platform::UnwritableDirectory(place);
  if (!reason.empty()) Warn(run, "cannot write the archive " + archive + ": " + reason);
  // "-d ." or "-d dst//" leaves the archive without a name of its own.
  const std::string name = archive.substr(directory.size());
  if (!stamped && (name == ".rar" || name.starts_with(".."))) {
    Warn(run, "the destination " + settings.BaseDstDir + " names the archive " + archive +
                  "; give the destination a name of its own");
  }
}

void WriteHeader(ReportChannel& report, const RunSettings& settings) {
  WriteReportLine(report, "SrcDir = ", settings.SrcDir);
  WriteReportLine(report, "DstDir = ", settings.DstDir);
  WriteReportLine(report, "IncludeMask = ", settings.IncludeMask);
  WriteReportLine(report, "ExcludeMask = ", settings.ExcludeMask);
  WriteReportLine(report, "");
  WriteReportLine(report, "now processing...");
}

// A mistyped option or a stray blank would otherwise silently change what
// is backed up.
void WarnOfSlips(const Run& run) {
  for (const std::string& slip : run.settings.Slips) Warn(run, slip);
  const std::pair<const char*, const std::string&> lists[] = {
      {"include", run.settings.IncludeMask}, {"exclude", run.settings.ExcludeMask}};
  for (const auto& [which, list] : lists) {
    for (const std::string_view view : MaskListItems(list)) {
      const std::string item(view);
      if (!item.empty() && (item.front() == ' ' || item.back() == ' ')) {
        Warn(run, std::string("the ") + which + " mask '" + item +
                      "' begins or ends with a blank, which names rarely do");
      }
      if (item.find_first_of(std::string("/") + platform::PathDelimiter) != std::string::npos) {
        Warn(run, std::string("the ") + which + " mask '" + item +
                      "' holds a path separator; masks are matched against names only");
      }
    }
  }
}

// "--help", "-h" or "/?" alone, or "--version" alone: the answer on
// standard output, as every tool gives it.
bool AnswerQuestion(const std::vector<std::string>& params, ReportChannel& report) {
  if (params.size() != 1) return false;
  if (params[0] == "--version") {
    report.Write("stampbak " STAMPBAK_VERSION);
    report.Write(platform::TextLineEnd);
    return true;
  }
  if (params[0] != "--help" && params[0] != "-h" && params[0] != "/?") return false;
  for (const char* line : kUsage) {
    report.Write(line);
    report.Write(platform::TextLineEnd);
  }
  return true;
}

ExitStatus RunSequence(const platform::ProcessStart& start, ReportChannel& report,
                       const ParameterReader& readParameters, std::unique_ptr<TBackupFile>& tree) {
  RunSettings settings;
  const std::vector<std::string> params = readParameters();
  if (AnswerQuestion(params, report)) return ExitStatus::AllOk;
  ParseParameters(params, settings);
  ReadAheadFromEnvironment(settings);
  // A value made only of double quotes ends up empty and so counts as missing.
  settings.SrcDir = WithoutSurroundingQuotes(settings.SrcDir);
  settings.DstDir = WithoutSurroundingQuotes(settings.DstDir);
  const Run run{settings, start, report};
  // Said on every way out, and before anything is made on disk.
  WarnOfSlips(run);
  if (settings.SrcDir.empty() || settings.DstDir.empty()) {
    // No backup was made, and a scheduler checking the status must see it.
    WriteReportLine(report, kMissingDirectories);
    for (const char* line : kUsage) platform::WriteWarning(line);
    return ExitStatus::NoBackup;
  }
  const std::string unmade = NormaliseDirectories(settings);
  WriteHeader(report, settings);
  CheckDestination(run, unmade);
  // A backup that was due but not made has said why in the report.
  if (ProcessBackup(run, tree) == BackupOutcome::NotMade) return ExitStatus::NoBackup;
  WriteReportLine(report, "All OK");
  return ExitStatus::AllOk;
}

// Memory may still be short while the text is formed; the run must end with
// its status all the same, never abort. Beside the failure text, which may
// go to a message box, one warning line says why where cron reads it.
void ShowFailure(ReportChannel& report, const char* kind, std::uintptr_t address,
                 const char* message, const std::string& reason) noexcept {
  report.FlushBeforeWarning();
  try {
    platform::ShowFailure(FailureText(kind, platform::ModuleName(), address, message));
    platform::WriteWarning(Printable(std::string("stampbak: no backup was made: ") + message +
                                     (reason.empty() ? "" : ": " + reason)));
  } catch (const std::bad_alloc&) {
    platform::ShowFailure(kind);
  }
}

}  // namespace

ExitStatus RunProgram(const platform::ProcessStart& start, const ParameterReader& readParameters,
                      std::unique_ptr<TBackupFile>& tree) {
  ReportChannel report(platform::StandardOutput(start));
  ExitStatus status = ExitStatus::NoBackup;
  try {
    status = RunSequence(start, report, readParameters, tree);
  } catch (const Failure& failure) {
    ShowFailure(report, failure.Kind(), failure.Address(), failure.what(), failure.Reason());
  } catch (const std::bad_alloc&) {
    ShowFailure(report, "EOutOfMemory", 0, "Out of memory", "");
  } catch (const RunInterrupted& ended) {
    report.FlushBeforeWarning();
    platform::WriteWarning(std::string("stampbak: ended by ") + ended.what() +
                           "; no backup was made");
  }
  report.Close();
  return status;
}

}  // namespace stampbak
