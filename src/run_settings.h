#pragma once

#include <string>

namespace stampbak {

// The values one run works with, filled from the parameters and normalised
// before the header; read-only from then on.
struct RunSettings {
  std::string SrcDir;
  std::string DstDir;
  std::string BaseDstDir;
  std::string IncludeMask = "*.*";
  std::string ExcludeMask;
  bool UseDateStamp = false;
  bool UseTimeStamp = false;
  bool UseArchiver = false;
};

}  // namespace stampbak
