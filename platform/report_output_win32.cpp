#include "platform/report_output.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

class Win32ReportOutput final : public ReportOutput {
 public:
  OutputKind Open() override {
    handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return OutputKind::None;
    switch (GetFileType(handle_)) {
      case FILE_TYPE_CHAR: return OutputKind::CharDevice;
      case FILE_TYPE_DISK: return OutputKind::File;
      case FILE_TYPE_PIPE: return OutputKind::Pipe;
      default: return OutputKind::None;
    }
  }

  bool Write(const char* data, std::size_t size) override {
    return WriteFully(handle_, data, size) == size;
  }

  // Only disk files tell who they are: the same volume and file index.
  bool SharedWithDiagnostics() override {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    BY_HANDLE_FILE_INFORMATION out{};
    BY_HANDLE_FILE_INFORMATION err{};
    return IsUsable(error) && GetFileType(handle_) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(handle_, &out) && GetFileInformationByHandle(error, &err) &&
           out.dwVolumeSerialNumber == err.dwVolumeSerialNumber &&
           out.nFileIndexHigh == err.nFileIndexHigh && out.nFileIndexLow == err.nFileIndexLow;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

ReportOutput& SystemReportOutput(const ProcessStart& /*start*/) {
  static Win32ReportOutput output;
  return output;
}

}  // namespace platform
