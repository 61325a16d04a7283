#pragma once

#include <string>

#include "src/run.h"
#include "src/uBackupFile.h"
#include "src/uUtils.h"

namespace stampbak {

// The backup pass, the body of a run: scan, change check, archiver. The
// tree it scans is left in `tree`, to live as long as the process.
BackupOutcome ProcessBackup(const Run& run, std::unique_ptr<TBackupFile>& tree);

}  // namespace stampbak
