#pragma once

#include <string>

#include "platform/system.h"
#include "src/report_channel.h"
#include "src/run_settings.h"

namespace stampbak {

// What every step of a run works with: the settings, the operating system
// and the report.
struct Run {
  const RunSettings& settings;
  platform::System& system;
  ReportChannel& report;
};

// The backup pass, the body of a run.
void ProcessBackup(const Run& run, std::string srcDir, std::string dstDir,
                   std::string baseDstDir);

}  // namespace stampbak
