#pragma once

#include <string>

#include "platform/platform.h"
#include "src/run.h"
#include "src/uBackupFile.h"

namespace stampbak {

// The archive's absolute name: the archiver runs in the source directory,
// so a name relative to ours would put the archive inside the source tree.
std::string AbsoluteName(const std::string& name);

enum class ArchiverResult { Packed, NotStarted, Failed };

// Packs the tree's files into the archive with the archiver, which holds
// the destination lock as long as it runs. When it could not start,
// failed or was interrupted, the report or a warning says so.
ArchiverResult RunArchiver(const Run& run, const TBackupFile& root,
                           const platform::DirectoryLock* lock, const std::string& archive);

}  // namespace stampbak
