#include "src/backup_pass.h"

#include "src/uBackupFile.h"

namespace stampbak {

void ProcessBackup(const Run& run, std::string srcDir, std::string /*dstDir*/,
                   std::string /*baseDstDir*/) {
  const std::unique_ptr<TBackupFile> root =
      BuildBackupTree(run, srcDir, run.settings.IncludeMask, run.settings.ExcludeMask);
  root->UpdateNewestTime();
}

}  // namespace stampbak
