#include "src/report_channel.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace stampbak {

bool ReportChannel::EnsureOpen() {
  if (open_) return true;
  const platform::OutputKind kind = output_.Open();
  if (kind == platform::OutputKind::None) return false;
  flushAtLineEnd_ = kind == platform::OutputKind::CharDevice;
  sharedWithWarnings_ = output_.SharedWithDiagnostics();
  used_ = 0;
  open_ = true;
  return true;
}

void ReportChannel::Deliver(std::size_t size) {
  used_ = 0;
  if (failed_ || size == 0) return;
  const std::string reason = output_.Write(buffer_.data(), size);
  if (reason.empty()) return;
  failed_ = true;
  platform::WriteWarning("stampbak: cannot write the report to standard output: " + reason +
                         "; the rest of it is dropped");
}

// Bytes that do not leave room over in the buffer fill it up; the full
// buffer goes out in one write.
void ReportChannel::Put(std::string_view bytes) {
  while (!bytes.empty() && !failed_) {
    const std::size_t room = kBufferSize - used_;
    if (bytes.size() < room) {
      std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
      return;
    }
    std::memcpy(buffer_.data() + used_, bytes.data(), room);
    bytes.remove_prefix(room);
    Deliver(kBufferSize);
  }
}

void ReportChannel::Write(std::string_view text) {
  if (text.empty() || !EnsureOpen()) return;
  Put(text);
}

void ReportChannel::WriteNumber(std::int64_t number) { Write(std::to_string(number)); }

void ReportChannel::EndLine() {
  if (!EnsureOpen()) return;
  Put("\r\n");
  if (flushAtLineEnd_) Deliver(used_);
}

void ReportChannel::FlushBeforeWarning() {
  if (open_ && sharedWithWarnings_) Deliver(used_);
}

void ReportChannel::Close() {
  if (open_) Deliver(used_);
}

void WriteReportLine(ReportChannel& report, std::string_view label, std::string_view value) {
  report.Write(label);
  report.Write(value);
  report.EndLine();
}

void WriteReportLine(ReportChannel& report, std::string_view label, std::int64_t number) {
  report.Write(label);
  report.WriteNumber(number);
  report.EndLine();
}

}  // namespace stampbak
