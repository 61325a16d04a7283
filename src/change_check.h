#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "src/archive_record.h"
#include "src/uBackupFile.h"

namespace stampbak {

// The rules that decide, from the record of finished archives alone,
// whether a run archives and what it may do with the archive at its name.
// No time stamp is compared with a clock but to tell which files lie too
// close to a scan's start for their stamps to show a later change.

// The stamps close to a scan's start: see StampWindow.
StampWindow CloseToScan(platform::ChangeMoment scanBegan);

// The files of this scan close to a scan's start, by their names and
// content: the files of a finished entry's scan whose stamps cannot tell,
// when this scan's fingerprint equals that entry's.
class FilesCloseToScan {
 public:
  FilesCloseToScan(std::string sourceDirectory, StampWindow collected, std::vector<CloseFile> files)
      : source_(std::move(sourceDirectory)), collected_(collected), files_(std::move(files)) {}
  // None when the scan did not collect every file the window could hold.
  std::optional<Fingerprint> Within(StampWindow window);

 private:
  std::uint64_t ContentOf(CloseFile& file) const;

  std::string source_;
  StampWindow collected_;
  std::vector<CloseFile> files_;
};

// The archive a finished entry names, as it lies now: its size when it is
// a plain file of ours, else none.
using ArchiveSizeNow = std::function<std::optional<std::uint64_t>(const RecordEntry&)>;

// An archive is due unless a finished entry of this job has the fingerprint
// of what the job selects now, its archive still there at the recorded
// size, and the files too close to that scan's start to tell by their
// stamps still holding the content they held then. A selection without a
// file is never archived.
bool ArchiveDue(const std::vector<RecordEntry>& entries, const Job& job,
                const Fingerprint& selected, const ArchiveSizeNow& archiveSize,
                FilesCloseToScan& closeFiles);

// What a run may do with what lies at its archive's name.
enum class AtArchiveName {
  Free,           // nothing: the archiver makes it
  AddTo,          // a plain file of ours, finished by this job or without an entry
  SetAsideFirst,  // a run began it and never finished it
  AnotherJobs,    // another job's finished archive
  NotOurs,        // a link, a directory, another user's file, or unknown
};
AtArchiveName WhatLiesAtTheName(const RecordEntry* entry, const platform::NodeLookup& node,
                                const Job& job, bool ownersKept);

// Whether a plain file counts as ours: we or the administrator own it, or
// the file system keeps no owners to tell.
bool IsOurs(const platform::NodeLookup& node, bool ownersKept);

}  // namespace stampbak
