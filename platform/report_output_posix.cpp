#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix_io.h"
#include "platform/report_output.h"

namespace platform {
namespace {

class PosixReportOutput final : public ReportOutput {
 public:
  explicit PosixReportOutput(bool given) : given_(given) {}

  OutputKind Open() override {
    struct stat st {};
    if (!given_ || fstat(STDOUT_FILENO, &st) != 0) {
      return OutputKind::None;
    }
    if (S_ISCHR(st.st_mode)) return OutputKind::CharDevice;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return OutputKind::Pipe;
    return OutputKind::File;
  }

  bool Write(const char* data, std::size_t size) override {
    return WriteFully(STDOUT_FILENO, data, size) == size;
  }

  bool SharedWithDiagnostics() override {
    struct stat out {};
    struct stat err {};
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
  }

 private:
  bool given_;
};

}  // namespace

ReportOutput& SystemReportOutput(const ProcessStart& start) {
  static PosixReportOutput output(start.StandardOutputGiven);
  return output;
}

}  // namespace platform
