#include "platform/system.h"

namespace platform {

System RealSystem(const ProcessStart& start) {
  return System{SystemReportOutput(start), SystemDiagnostics(), SystemClock(),
                SystemFileSystem(),        SystemEnvironment(), SystemProcessLauncher(start)};
}

}  // namespace platform
