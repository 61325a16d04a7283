#include <algorithm>
#include <new>
#include <string>

#include "src/failures.h"
#include "src/uBackupFile.h"

namespace stampbak {
namespace {

using platform::EntryKind;
using platform::LookupStatus;

enum class Decision { Skip, Exclude, Select };

// The archives that the change check counts: those directly in the
// destination and the unstamped one beside it. A destination inside the
// source must not pack them again, or each archive would hold all earlier
// ones. Directories are told apart by identity, however they are spelled.
struct OwnArchives {
  std::string Destination;
  std::string DestinationIdentity;  // empty when it cannot be opened
  std::string BesideIdentity;       // of the directory holding the unstamped one
  std::string BesideName;
  bool Warned = false;
};

struct SourceScan {
  const Run& run;
  PreparedMaskList include;
  PreparedMaskList exclude;
  OwnArchives archives;
  PreparedMaskList archiveNames{"*.rar"};
};

// What a directory being scanned holds of the run's own archives.
struct ArchivesHere {
  bool Stamped = false;  // it is the destination
  bool Beside = false;   // it holds the unstamped archive
};

std::string IdentityOf(const Run& run, const std::string& directory) {
  const platform::ListingOpen open = run.system.files.OpenDirectory(directory);
  return open.Listing ? open.Listing->Identity() : "";
}

OwnArchives FindOwnArchives(const Run& run) {
  const std::string& base = run.settings.BaseDstDir;
  const std::string unstamped = base.substr(0, base.size() - 1);
  const std::size_t last = unstamped.rfind(platform::PathDelimiter);
  const std::string besideDir = last == std::string::npos
                                    ? std::string(".") + platform::PathDelimiter
                                    : unstamped.substr(0, last + 1);
  const std::string besideName =
      (last == std::string::npos ? unstamped : unstamped.substr(last + 1)) + ".rar";
  return {base, IdentityOf(run, base), IdentityOf(run, besideDir), besideName};
}

bool SameName(const std::string& a, const std::string& b) {
  return platform::NamesIgnoreCase ? LowerCase(a) == LowerCase(b) : a == b;
}

bool IsOwnArchive(SourceScan& scan, ArchivesHere here, const std::string& name) {
  const bool own = (here.Stamped && scan.archiveNames.Matches(name)) ||
                   (here.Beside && SameName(name, scan.archives.BesideName));
  if (own && !scan.archives.Warned) {
    scan.archives.Warned = true;
    Warn(scan.run, "the destination lies inside the source; its archives are not packed again: " +
                       scan.archives.Destination);
  }
  return own;
}

// The include list decides first, for directories as well as files; the
// exclude list only sees names that the include list takes.
Decision Decide(const SourceScan& scan, std::string_view name) {
  if (!scan.include.Matches(name)) return Decision::Skip;
  if (scan.exclude.Matches(name)) return Decision::Exclude;
  return Decision::Select;
}

// A line break in a name would add a line to the list file that the
// archiver reads as a name of its own; such names are never listed.
bool HoldsLineBreak(std::string_view name) {
  return std::ranges::any_of(name, [](char c) { return c == '\r' || c == '\n'; });
}

void WriteScanLine(const Run& run, std::string_view tag, const std::string& path, bool printable) {
  if (printable) {
    WriteReportLine(run.report, tag, path);
  } else {
    WriteReportLine(run.report, tag, Printable(path));
  }
}

// The archiver opens the path relative to the source directory, so one it
// cannot open is never listed, and one whose time cannot be read is left
// out: one odd file must not cost the whole backup.
void SelectFile(const SourceScan& scan, TBackupFile& node, platform::DirectoryListing& listing,
                const std::string& name, const std::string& path) {
  const Run& run = scan.run;
  const bool tooLong = path.size() - run.settings.SrcDir.size() > platform::LongestArchivablePath;
  const platform::FileTimeLookup lookup =
      tooLong ? platform::FileTimeLookup{LookupStatus::NameTooLong, 0, ""}
              : listing.LastWriteTime(name);
  if (lookup.Status == LookupStatus::Found) {
    WriteScanLine(run, "C ", path, true);
    node.AddChild(name, false, DosDateTimeToDateTime(lookup.Packed));
    return;
  }
  WriteScanLine(run, "S ", path, true);
  if (lookup.Status == LookupStatus::NameTooLong) {
    Warn(run, "not archived, the path is too long: " + path);
  } else {
    Warn(run, "not archived, cannot read the time of " + path + ": " + lookup.Reason);
  }
}

void ReportFile(SourceScan& scan, TBackupFile& node, platform::DirectoryListing& listing,
                const platform::DirectoryEntry& entry, const std::string& path, ArchivesHere here) {
  const Decision decision = Decide(scan, entry.Name);
  const bool printable = !HoldsLineBreak(entry.Name);
  if (decision == Decision::Exclude) {
    WriteScanLine(scan.run, "E ", path, printable);
    return;
  }
  // An archiver opening a FIFO or device would block or read forever.
  const bool archivable = printable && entry.Kind != EntryKind::Unarchivable;
  if (decision == Decision::Skip || !archivable || IsOwnArchive(scan, here, entry.Name)) {
    WriteScanLine(scan.run, "S ", path, printable);
    if (decision == Decision::Select && !printable) {
      Warn(scan.run, "not archived, the name holds a line break: " + path);
    }
    return;
  }
  SelectFile(scan, node, listing, entry.Name, path);
}

void ScanListing(SourceScan& scan, TBackupFile& node, platform::DirectoryListing& listing,
                 const std::string& directory);

void EnterDirectory(SourceScan& scan, TBackupFile& node, platform::DirectoryListing& listing,
                    const std::string& name, const std::string& path) {
  if (Decide(scan, name) != Decision::Select) return;
  if (HoldsLineBreak(name)) {
    Warn(scan.run, "not entered, the name holds a line break: " + path);
    return;
  }
  TBackupFile* child = node.AddChild(name, true, 0);
  const platform::ListingOpen open = listing.OpenSubdirectory(name);
  const std::string inner = path + platform::PathDelimiter;
  if (!open.Listing) {
    Warn(scan.run, "cannot read directory " + inner + ": " + open.Reason);
    return;
  }
  ScanListing(scan, *child, *open.Listing, inner);
}

void ScanListing(SourceScan& scan, TBackupFile& node, platform::DirectoryListing& listing,
                 const std::string& directory) {
  ArchivesHere here;
  if (!scan.archives.DestinationIdentity.empty() || !scan.archives.BesideIdentity.empty()) {
    const std::string identity = listing.Identity();
    here = {identity == scan.archives.DestinationIdentity,
            identity == scan.archives.BesideIdentity};
  }
  platform::DirectoryEntry entry;
  std::string path = directory;
  while (listing.Next(entry)) {
    if (entry.Name == "." || entry.Name == "..") continue;
    if (entry.Kind == EntryKind::DirectoryLink) continue;  // never followed
    path.resize(directory.size());
    path.append(entry.Name);
    if (entry.Kind == EntryKind::Directory) {
      EnterDirectory(scan, node, listing, entry.Name, path);
    } else {
      ReportFile(scan, node, listing, entry, path, here);
    }
  }
}

}  // namespace

void TBackupFile::Scan(const Run& run, const std::string& directory, std::string_view includeMask,
                       std::string_view excludeMask) {
  const platform::ListingOpen open = run.system.files.OpenDirectory(directory);
  if (!open.Listing) {
    // A source that cannot be read must not pass for an empty one.
    throw ESourceError("Cannot read source directory " + directory);
  }
  SourceScan scan{run, PreparedMaskList(includeMask), PreparedMaskList(excludeMask),
                  FindOwnArchives(run)};
  ScanListing(scan, *this, *open.Listing, directory);
}

std::unique_ptr<TBackupFile> BuildBackupTree(const Run& run, const std::string& directory,
                                             std::string_view includeMask,
                                             std::string_view excludeMask) {
  auto root = std::make_unique<TBackupFile>("", true, nullptr, 0);
  root->Scan(run, directory, includeMask, excludeMask);
  return root;
}

}  // namespace stampbak
