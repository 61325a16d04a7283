#include "platform/system.h"

namespace platform {

System RealSystem() {
  return System{SystemReportOutput(),    SystemDiagnostics(),         SystemClock(),
                SystemFileSystem(),      SystemDirectoryEnumerator(), SystemEnvironment(),
                SystemProcessLauncher(), SystemDirectoryLocker()};
}

}  // namespace platform
