#pragma once

#include <string>

#include "src/run.h"

namespace stampbak {

// The backup pass, the body of a run.
void ProcessBackup(const Run& run, std::string srcDir, std::string dstDir,
                   std::string baseDstDir);

}  // namespace stampbak
