#pragma once

#include <string>

namespace stampbak::testing {

// The six header lines of a run's report.
inline std::string ReportHeader(const std::string& src, const std::string& dst,
                                const std::string& include = "*.*",
                                const std::string& exclude = "") {
  return "SrcDir = " + src + "\r\nDstDir = " + dst + "\r\nIncludeMask = " + include +
         "\r\nExcludeMask = " + exclude + "\r\n\r\nnow processing...\r\n";
}

}  // namespace stampbak::testing
