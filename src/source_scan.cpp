#include <new>
#include <string>

#include "src/failures.h"
#include "src/uBackupFile.h"

namespace stampbak {
namespace {

using platform::EntryKind;
using platform::LookupStatus;

enum class Decision { Skip, Exclude, Select };

// The include list decides first, for directories as well as files; the
// exclude list only sees names that the include list takes.
Decision Decide(std::string_view name, std::string_view includeMask, std::string_view excludeMask) {
  if (!MatchMaskList(name, includeMask)) return Decision::Skip;
  if (MatchMaskList(name, excludeMask)) return Decision::Exclude;
  return Decision::Select;
}

// A line break in a name would add a line to the list file that the
// archiver reads as a name of its own; such names are never listed.
bool HoldsLineBreak(std::string_view name) {
  return name.find_first_of("\r\n") != std::string_view::npos;
}

std::string Printable(std::string path) {
  for (char& c : path) {
    if (c == '\r' || c == '\n') c = '?';
  }
  return path;
}

void WriteScanLine(const Run& run, std::string_view tag, const std::string& path, bool printable) {
  WriteReportLine(run.report, tag, printable ? path : Printable(path));
}

void PassOverUnreadable(const Run& run, const TBackupFile& node, const std::string& directory,
                        const platform::ListingOpen& open) {
  if (open.Status == LookupStatus::OutOfMemory) throw std::bad_alloc();
  // A source that cannot be read must not pass for an empty one.
  if (node.Parent == nullptr) throw ESourceError("Cannot read source directory " + directory);
  Warn(run, "cannot read directory " + Printable(directory) + ": " + open.Reason);
}

// A file whose time cannot be looked up any more (it vanished after it was
// listed, or its path is too long) is left out with a warning; any other
// failure to read a selected file's time ends the run after its line.
void SelectFile(const Run& run, TBackupFile& node, platform::DirectoryListing& listing,
                const std::string& name, const std::string& path) {
  const platform::FileTimeLookup lookup = listing.LastWriteTime(name);
  if (lookup.Status == LookupStatus::Missing || lookup.Status == LookupStatus::NameTooLong) {
    WriteScanLine(run, "S ", path, true);
    Warn(run, "not archived, cannot read the time of " + path + ": " + lookup.Reason);
    return;
  }
  WriteScanLine(run, "C ", path, true);
  node.AddChild(name, false, FileDateTimeOf(lookup));
}

void ReportFile(const Run& run, TBackupFile& node, platform::DirectoryListing& listing,
                const platform::DirectoryEntry& entry, const std::string& path, Decision decision) {
  const bool printable = !HoldsLineBreak(entry.Name);
  if (decision == Decision::Exclude) {
    WriteScanLine(run, "E ", path, printable);
    return;
  }
  // An archiver opening a FIFO or device would block or read forever.
  const bool archivable = printable && entry.Kind != EntryKind::Unarchivable;
  if (decision == Decision::Skip || !archivable) {
    WriteScanLine(run, "S ", path, printable);
    if (decision == Decision::Select && !printable) {
      Warn(run, "not archived, the name holds a line break: " + Printable(path));
    }
    return;
  }
  SelectFile(run, node, listing, entry.Name, path);
}

}  // namespace

void TBackupFile::Scan(const Run& run, const std::string& directory, std::string_view includeMask,
                       std::string_view excludeMask) {
  const platform::ListingOpen open = run.system.directories.Open(directory);
  if (!open.Listing) {
    PassOverUnreadable(run, *this, directory, open);
    return;
  }
  platform::DirectoryEntry entry;
  std::string path;
  while (open.Listing->Next(entry)) {
    if (entry.Name == "." || entry.Name == "..") continue;
    if (entry.Kind == EntryKind::DirectoryLink) continue;  // never followed
    path.assign(directory).append(entry.Name);
    const Decision decision = Decide(entry.Name, includeMask, excludeMask);
    if (entry.Kind != EntryKind::Directory) {
      ReportFile(run, *this, *open.Listing, entry, path, decision);
    } else if (decision != Decision::Select) {
      continue;
    } else if (HoldsLineBreak(entry.Name)) {
      Warn(run, "not entered, the name holds a line break: " + Printable(path));
    } else {
      AddChild(entry.Name, true, 0)
          ->Scan(run, path + platform::PathDelimiter, includeMask, excludeMask);
    }
  }
}

std::unique_ptr<TBackupFile> BuildBackupTree(const Run& run, const std::string& directory,
                                             std::string_view includeMask,
                                             std::string_view excludeMask) {
  auto root = std::make_unique<TBackupFile>("", true, nullptr, 0);
  root->Scan(run, directory, includeMask, excludeMask);
  return root;
}

}  // namespace stampbak
