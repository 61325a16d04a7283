#pragma once

#include <string>

#include "src/run.h"
#include "src/uUtils.h"

namespace stampbak {

// The backup pass, the body of a run: scan, change check, archiver. False
// when an archive was due but not made.
bool ProcessBackup(const Run& run);

// The time of the newest archive in the destination, or beside it where an
// unstamped run puts it; 0 when there is none.
DateTime GetLastBackupTime(const Run& run, const std::string& baseDstDir);

}  // namespace stampbak
