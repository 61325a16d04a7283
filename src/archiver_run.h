#pragma once

#include "platform/destination_lock.h"
#include "src/run.h"
#include "src/uBackupFile.h"

namespace stampbak {

// Packs the tree's files with the archiver, which holds the destination
// lock as long as it runs; false when no archive was made (the archiver
// could not start, failed or was interrupted), which the report or a
// warning then says.
bool RunArchiver(const Run& run, const TBackupFile& root, const platform::DirectoryLock* lock);

}  // namespace stampbak
