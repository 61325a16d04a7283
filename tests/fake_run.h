#pragma once

#include <string>

#include "platform/fake_system.h"
#include "src/run.h"

namespace stampbak::testing {

// What a step of a run works with, over the in-memory layer: its report
// and warnings are there to read afterwards.
struct FakeRun {
  platform::fake::FakeSystem fake;
  platform::System system = fake.AsSystem();
  RunSettings settings;
  ReportChannel report{fake.output};

  stampbak::Run Context() { return {settings, system, report}; }
  // Everything the report delivered so far.
  std::string Report() {
    report.Close();
    return fake.output.Delivered();
  }
};

}  // namespace stampbak::testing
