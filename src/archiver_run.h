#pragma once

#include <string>
#include <vector>

#include "src/run.h"
#include "src/uBackupFile.h"

namespace stampbak {

// The archiver's arguments after its name: add to the archive, solid, best
// method, 4096 KB dictionary, archive time of its newest file, names from
// the list file.
std::vector<std::string> ArchiverArguments(const std::string& archiveName,
                                           const std::string& listName);

// Packs the tree's files with the archiver; false when no archive was made
// (the archiver could not start or failed), which the report then says.
bool RunArchiver(const Run& run, const TBackupFile& root, const std::string& srcDir,
                 const std::string& dstDir);

}  // namespace stampbak
