#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

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

// What a directory being scanned holds of the run's own archives.
struct ArchivesHere {
  bool Stamped = false;  // it is the destination
  bool Beside = false;   // it holds the unstamped archive
};

struct SourceScan {
  const Run& run;
  PreparedMaskList include;
  PreparedMaskList exclude;
  OwnArchives archives;
  ScannedSource& scanned;
  // The source's own subdirectories that the include list passed over,
  // while it took none of them.
  std::vector<std::string> passedOver{};
  std::size_t passedOverCount = 0;
  bool directoryTaken = false;
};

// An include list such as "*.txt" takes no directory, so nothing below
// the source's top is backed up: almost always a misunderstanding, and
// found out only at restore time. A list that takes some is a choice.
void NoteSourceSubdirectory(SourceScan& scan, const std::string& name) {
  if (scan.directoryTaken) return;
  if (scan.include.Matches(name)) {
    scan.directoryTaken = true;
    return;
  }
  constexpr std::size_t kNamesShown = 3;
  if (++scan.passedOverCount <= kNamesShown) scan.passedOver.push_back(name);
}

void WarnOfPassedOverDirectories(const SourceScan& scan, const std::string& source) {
  if (scan.directoryTaken || scan.passedOverCount == 0) return;
  std::string names;
  for (const std::string& name : scan.passedOver) names += (names.empty() ? "" : ", ") + name;
  if (scan.passedOverCount > scan.passedOver.size()) names += ", ...";
  Warn(scan.run, "the include list takes none of the " + std::to_string(scan.passedOverCount) +
                     " directories in " + source + " (" + names +
                     "); it decides for directories too, so nothing in them is backed up");
}

// Every selected file counts by its name relative to the source, its size
// and its two times; those whose stamps could miss a change made right
// after this look are kept aside, to be read if the check needs them.
void CountFile(SourceScan& scan, const platform::FileTimeLookup& lookup, const std::string& path) {
  const std::string_view relative = std::string_view(path).substr(scan.run.settings.SrcDir.size());
  scan.scanned.Selected.Add(FileHash(relative, lookup.Size, lookup.Written, lookup.Changed));
  if (scan.scanned.Collected.Holds(lookup.Written) ||
      scan.scanned.Collected.Holds(lookup.Changed)) {
    scan.scanned.Close.push_back({std::string(relative), lookup.Written, lookup.Changed});
  }
}

std::string IdentityOf(const std::string& directory) {
  const platform::ListingOpen open = platform::OpenDirectory(directory);
  return open.Listing ? open.Listing->Identity() : "";
}

OwnArchives FindOwnArchives(const Run& run) {
  const std::string& base = run.settings.BaseDstDir;
  const std::string unstamped = ArchiveNamedAfter(base);
  const std::string directory = DirectoryOf(unstamped);
  const std::string besideDir =
      directory.empty() ? std::string(".") + platform::PathDelimiter : directory;
  return {base, IdentityOf(base), IdentityOf(besideDir), unstamped.substr(directory.size())};
}

bool SameName(const std::string& a, const std::string& b) {
  return platform::NamesIgnoreCase ? LowerCase(a) == LowerCase(b) : a == b;
}

// Our archives, the record (and its new copy while it is written), and
// the archives set aside as incomplete.
bool IsOwnFile(const SourceScan& scan, ArchivesHere here, const std::string& name) {
  if (here.Stamped &&
      (IsArchiveName(name) || name.starts_with(kRecordName) ||
       LowerCase(name).find(std::string(".rar") + kSetAsideSuffix) != std::string::npos)) {
    return true;
  }
  const std::string& beside = scan.archives.BesideName;
  const std::string aside = beside + kSetAsideSuffix;
  return here.Beside && (SameName(name, beside) || SameName(name.substr(0, aside.size()), aside));
}

bool IsOwnArchive(SourceScan& scan, ArchivesHere here, const std::string& name) {
  const bool own = IsOwnFile(scan, here, name);
  if (own && !scan.archives.Warned) {
    scan.archives.Warned = true;
    Warn(scan.run, "the destination lies inside the source; its archives are not packed again: " +
                       scan.archives.Destination);
  }
  return own;
}

// The include list decides first, for directories as well as files; the
// exclude list only sees names that the include list takes.
Decision Decide(const PreparedMaskList& include, const PreparedMaskList& exclude,
                std::string_view name) {
  if (!include.Matches(name)) return Decision::Skip;
  if (exclude.Matches(name)) return Decision::Exclude;
  return Decision::Select;
}

Decision Decide(const SourceScan& scan, std::string_view name) {
  return Decide(scan.include, scan.exclude, name);
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

// One directory being listed: where its entries go in the tree, how long
// its path is (with the final separator) in the walk's one path string.
struct Level {
  TBackupFile* node;
  std::unique_ptr<platform::DirectoryListing> listing;
  std::size_t pathLength;
  ArchivesHere here;
};

ArchivesHere ArchivesIn(const SourceScan& scan, platform::DirectoryListing& listing) {
  if (scan.archives.DestinationIdentity.empty() && scan.archives.BesideIdentity.empty()) return {};
  const std::string identity = listing.Identity();
  return {identity == scan.archives.DestinationIdentity, identity == scan.archives.BesideIdentity};
}

// A directory the walk enters, and what it holds of our archives.
Level EnteredLevel(SourceScan& scan, TBackupFile* node,
                   std::unique_ptr<platform::DirectoryListing> listing, std::size_t pathLength) {
  const ArchivesHere here = ArchivesIn(scan, *listing);
  return Level{node, std::move(listing), pathLength, here};
}

// The archiver reads a list line holding "*" or "?" as a mask, which could
// take files that were never selected.
bool HoldsWildcard(std::string_view name) {
  return name.find('*') != std::string_view::npos || name.find('?') != std::string_view::npos;
}

// The subdirectory to scan next, if it is selected and can be opened.
std::optional<Level> EnterDirectory(SourceScan& scan, Level& level, const std::string& name,
                                    std::string& path) {
  if (level.node->Parent == nullptr) NoteSourceSubdirectory(scan, name);
  if (Decide(scan, name) != Decision::Select) return std::nullopt;
  if (HoldsLineBreak(name)) {
    Warn(scan.run, "not entered, the name holds a line break: " + path);
    return std::nullopt;
  }
  TBackupFile* child = level.node->AddChild(name, true, 0);
  platform::ListingOpen open = level.listing->OpenSubdirectory(name);
  path += platform::PathDelimiter;
  if (!open.Listing) {
    Warn(scan.run, "cannot read directory " + path + ": " + open.Reason);
    return std::nullopt;
  }
  if (HoldsWildcard(name)) {
    Warn(scan.run, "not entered, the name holds a wildcard: " + path);
    return std::nullopt;
  }
  return EnteredLevel(scan, child, std::move(open.Listing), path.size());
}

// The archiver opens the path relative to the source directory, so one it
// cannot open is never listed, and one whose time cannot be read is left
// out: one odd file must not cost the whole backup. An entry whose kind
// the listing could not tell may turn out a directory here: then true.
bool SelectFile(SourceScan& scan, Level& level, const platform::DirectoryEntry& entry,
                const std::string& path) {
  const Run& run = scan.run;
  const bool tooLong = path.size() - run.settings.SrcDir.size() > platform::LongestArchivablePath;
  const platform::FileTimeLookup lookup =
      tooLong ? platform::FileTimeLookup{LookupStatus::NameTooLong, 0, ""}
              : level.listing->LastWriteTime(entry.Name);
  if (lookup.Status == LookupStatus::Directory && entry.Kind == EntryKind::Unknown) return true;
  if (lookup.Status == LookupStatus::Found && !HoldsWildcard(entry.Name)) {
    WriteScanLine(run, "C ", path, true);
    level.node->AddChild(entry.Name, false, DosDateTimeToDateTime(lookup.Packed));
    CountFile(scan, lookup, path);
    return false;
  }
  WriteScanLine(run, "S ", path, true);
  if (lookup.Status == LookupStatus::Found) {
    Warn(run, "not archived, the name holds a wildcard: " + path);
  } else if (lookup.Status == LookupStatus::NameTooLong) {
    Warn(run, "not archived, the path is too long: " + path);
  } else {
    Warn(run, "not archived, cannot read the time of " + path + ": " + lookup.Reason);
  }
  return false;
}

// True when the entry turned out a directory to enter.
bool ReportFile(SourceScan& scan, Level& level, const platform::DirectoryEntry& entry,
                const std::string& path) {
  const Decision decision = Decide(scan, entry.Name);
  const bool printable = !HoldsLineBreak(entry.Name);
  if (decision == Decision::Exclude) {
    WriteScanLine(scan.run, "E ", path, printable);
    return false;
  }
  // An archiver opening a FIFO or device would block or read forever.
  const bool archivable = printable && entry.Kind != EntryKind::Unarchivable;
  if (decision == Decision::Skip || !archivable || IsOwnArchive(scan, level.here, entry.Name)) {
    WriteScanLine(scan.run, "S ", path, printable);
    if (decision == Decision::Select && !printable) {
      Warn(scan.run, "not archived, the name holds a line break: " + path);
    }
    return false;
  }
  return SelectFile(scan, level, entry, path);
}

// The source that cannot be read, with the system's reason and, for a
// relative path, the directory it was taken from.
ESourceError UnreadableSource(const std::string& directory, const std::string& reason) {
  const std::string absolute = platform::AbsolutePath(directory);
  std::string from;
  if (absolute.size() > directory.size() && absolute.ends_with(directory)) {
    from = " (from " + absolute.substr(0, absolute.size() - directory.size() - 1) + ")";
  }
  return ESourceError("Cannot read source directory " + directory + from + ": " + reason);
}

// A listing that ended early lost the rest of its directory: for the
// source itself that is no backup at all, below it a warning.
void FinishListing(const SourceScan& scan, const Level& level, const std::string& path,
                   bool source) {
  const std::string& failure = level.listing->Failure();
  if (failure.empty()) return;
  const std::string directory = path.substr(0, level.pathLength);
  if (source) throw UnreadableSource(directory, failure);
  Warn(scan.run, "cannot read directory " + directory + ": " + failure);
}

// Depth first, with the levels on a stack of our own and one path string,
// so that no depth the file system allows can exhaust the call stack or
// take memory beyond a line per level.
void Walk(SourceScan& scan, TBackupFile& root, std::unique_ptr<platform::DirectoryListing> listing,
          std::string path) {
  std::vector<Level> levels;
  levels.push_back(EnteredLevel(scan, &root, std::move(listing), path.size()));
  platform::DirectoryEntry entry;
  while (!levels.empty()) {
    EndIfAsked();
    Level& level = levels.back();
    if (!level.listing->Next(entry)) {
      FinishListing(scan, level, path, levels.size() == 1);
      levels.pop_back();
      continue;
    }
    if (entry.Name == "." || entry.Name == "..") continue;
    if (entry.Kind == EntryKind::DirectoryLink) continue;  // never followed
    path.resize(level.pathLength);
    path.append(entry.Name);
    if (entry.Kind != EntryKind::Directory && !ReportFile(scan, level, entry, path)) {
      ++scan.scanned.FilesMet;
      continue;
    }
    std::optional<Level> inner = EnterDirectory(scan, level, entry.Name, path);
    if (inner) levels.push_back(std::move(*inner));
  }
}

// Workers read ahead what the scan selects, deciding on copies of the
// lists, which the workers may outlive.
platform::ReadAhead ReadAheadFor(const Run& run, const PreparedMaskList& include,
                                 const PreparedMaskList& exclude) {
  const RunSettings& settings = run.settings;
  return {settings.ReadAheadWorkers, settings.ReadAheadLockstep,
          [include, exclude](std::string_view name) {
            return Decide(include, exclude, name) == Decision::Select;
          },
          [] { EndIfAsked(); }};
}

}  // namespace

void TBackupFile::Scan(const Run& run, const std::string& directory, std::string_view includeMask,
                       std::string_view excludeMask, ScannedSource& scanned) {
  PreparedMaskList include(includeMask);
  PreparedMaskList exclude(excludeMask);
  platform::ListingOpen open =
      platform::OpenDirectory(directory, ReadAheadFor(run, include, exclude));
  if (!open.Listing) {
    // A source that cannot be read must not pass for an empty one.
    throw UnreadableSource(directory, open.Reason);
  }
  SourceScan scan{run, std::move(include), std::move(exclude), FindOwnArchives(run), scanned};
  Walk(scan, *this, std::move(open.Listing), directory);
  WarnOfPassedOverDirectories(scan, directory);
}

ScannedSource BuildBackupTree(const Run& run, const std::string& directory,
                              std::string_view includeMask, std::string_view excludeMask,
                              StampWindow collect) {
  ScannedSource scanned{std::make_unique<TBackupFile>("", true, nullptr, 0), {}, collect, {}, 0};
  scanned.Tree->Scan(run, directory, includeMask, excludeMask, scanned);
  return scanned;
}

}  // namespace stampbak
