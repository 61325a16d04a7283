#pragma once

#include <cstddef>

#include "platform/startup.h"

namespace platform {

// What the process's standard output turned out to be when the report
// channel first looked at it.
enum class OutputKind {
  None,        // no usable standard output: the report is dropped
  CharDevice,  // a terminal or other character device: flushed at line ends
  File,        // a regular file
  Pipe,        // a pipe or socket
};

// The process's standard output, as the report channel sees it.
class ReportOutput {
 public:
  virtual ~ReportOutput() = default;
  // Looks at standard output; may be asked again after it answered None.
  virtual OutputKind Open() = 0;
  // Writes all bytes; false when they could not all be written.
  virtual bool Write(const char* data, std::size_t size) = 0;
  // Whether warnings land in the same file or pipe as the report, as far
  // as the platform can tell.
  virtual bool SharedWithDiagnostics() = 0;
};

ReportOutput& SystemReportOutput(const ProcessStart& start);

}  // namespace platform
