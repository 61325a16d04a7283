#pragma once

#include <string>
#include <vector>

#include "src/archive_record.h"
#include "src/record_store.h"
#include "src/run.h"
#include "src/uBackupFile.h"

namespace stampbak {

// The archive a run names, in the destination or beside it, and how the
// record names it.
struct ArchivePlace {
  std::string Path;      // absolute
  std::string InRecord;  // its name relative to the destination
};
ArchivePlace ThisRunsArchive(const Run& run);
// Where an entry's archive lies, for looking at it.
std::string PathOf(const Run& run, const RecordEntry& entry);

// What the finished entry will hold besides the archive's name and size.
struct FinishedEntry {
  Job OfJob;
  Fingerprint Selected;
  platform::ChangeMoment ScanBegan;
  Fingerprint CloseToScan;
};

// Makes the run's archive under the record: the entry in progress on the
// disk before the archiver starts, marked finished only once the archive
// is a plain file of ours and on the disk. NotMade, with the reason said,
// when no backup was made.
BackupOutcome MakeArchive(const Run& run, const TBackupFile& root,
                          const platform::DirectoryLock* lock, RecordStore& store,
                          std::vector<RecordEntry>& entries, const FinishedEntry& finished);

}  // namespace stampbak
