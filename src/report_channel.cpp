#include "src/report_channel.h"

#include <cstring>
#include <string>

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

// Bytes that do not leave room over in the buffer fill it up; the full
// buffer goes out in one write, emptied whether or not the write worked,
// and a failed write drops the rest of this operation's bytes.
void ReportChannel::Put(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t room = kBufferSize - used_;
    if (bytes.size() < room) {
      std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
      return;
    }
    std::memcpy(buffer_.data() + used_, bytes.data(), room);
    bytes.remove_prefix(room);
    used_ = 0;
    if (!output_.Write(buffer_.data(), kBufferSize)) return;
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
  if (flushAtLineEnd_ && used_ > 0) {
    output_.Write(buffer_.data(), used_);
    used_ = 0;
  }
}

void ReportChannel::FlushBeforeWarning() {
  if (!open_ || !sharedWithWarnings_ || used_ == 0) return;
  output_.Write(buffer_.data(), used_);
  used_ = 0;
}

void ReportChannel::Close() {
  if (open_ && used_ > 0) output_.Write(buffer_.data(), used_);
  used_ = 0;
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
