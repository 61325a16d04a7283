#pragma once

#include "platform/platform.h"
#include "src/run.h"
#include "src/uBackupFile.h"

namespace stampbak {

// Packs the tree's files with the archiver, which holds the destination
// lock as long as it runs, and dates the archive at `moment` once it
// succeeded; NotMade when the archiver could not start, failed or was
// interrupted, which the report or a warning then says.
BackupOutcome RunArchiver(const Run& run, const TBackupFile& root,
                          const platform::DirectoryLock* lock, platform::ChangeMoment moment);

}  // namespace stampbak
