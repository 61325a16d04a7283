#include "src/backup_pass.h"

namespace stampbak {

void ProcessBackup(const Run& /*run*/, std::string /*srcDir*/, std::string /*dstDir*/,
                   std::string /*baseDstDir*/) {}

}  // namespace stampbak
