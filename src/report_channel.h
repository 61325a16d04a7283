#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace stampbak {

// The buffered text stream on standard output that carries the report.
// Nothing here changes the course of the run. The first write that fails
// is said on standard error and ends the report: writing on after a lost
// piece could splice two lines into one for a file that does not exist.
class ReportChannel {
 public:
  static constexpr std::size_t kBufferSize = 128;

  explicit ReportChannel(platform::ReportOutput& output) : output_(output) {}
  ReportChannel(const ReportChannel&) = delete;
  ReportChannel& operator=(const ReportChannel&) = delete;

  void Write(std::string_view text);
  void WriteNumber(std::int64_t number);
  void EndLine();
  // Where warnings share the report's file or pipe, delivers what is
  // buffered, so that a warning never lands inside a report line.
  void FlushBeforeWarning();
  // Delivers what is still buffered; done once, at the end of the process.
  void Close();

 private:
  bool EnsureOpen();
  void Put(std::string_view bytes);
  // Writes out the first `size` bytes of the buffer and empties it.
  void Deliver(std::size_t size);

  platform::ReportOutput& output_;
  bool open_ = false;
  bool flushAtLineEnd_ = false;
  bool sharedWithWarnings_ = false;
  bool failed_ = false;
  std::array<char, kBufferSize> buffer_{};
  std::size_t used_ = 0;
};

// One report line: a label, then its value, then the line end.
void WriteReportLine(ReportChannel& report, std::string_view label, std::string_view value = {});
void WriteReportLine(ReportChannel& report, std::string_view label, std::int64_t number);

}  // namespace stampbak
