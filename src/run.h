#pragma once

#include <string>
#include <string_view>

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

// The text with every line break shown as "?", so that it stays one line.
std::string Printable(std::string_view text);

// One warning line for the operator on standard error, never in the report.
void Warn(const Run& run, std::string_view message);

}  // namespace stampbak
