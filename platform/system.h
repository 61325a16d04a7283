#pragma once

#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/report_output.h"
#include "platform/startup.h"

namespace platform {

// Everything a run asks of the operating system, in one place, so that a
// test can hand the program a double instead.
struct System {
  ReportOutput& output;
  Diagnostics& diagnostics;
  Clock& clock;
  FileSystem& files;
  Environment& environment;
  ProcessLauncher& processes;
};

System RealSystem(const ProcessStart& start);

}  // namespace platform
