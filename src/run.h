#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "src/report_channel.h"
#include "src/run_settings.h"

namespace stampbak {

// What every step of a run works with: the settings, the operating system
// and the report.
struct Run {
  const RunSettings& settings;
  const platform::ProcessStart& start;
  ReportChannel& report;
};

// What the backup pass came to: it did its job (an archive was made, none
// was due, or none was asked for), or an archive was due but not made.
enum class BackupOutcome { Done, NotMade };

// One warning line for the operator on standard error, never in the report.
void Warn(const Run& run, std::string_view message);

}  // namespace stampbak
