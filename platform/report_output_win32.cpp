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

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

ReportOutput& SystemReportOutput() {
  static Win32ReportOutput output;
  return output;
}

}  // namespace platform
