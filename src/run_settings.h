#pragma once

#include <string>
#include <vector>

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
  // Parameters whose first letter names no option, as given.
  std::vector<std::string> PassedOver;
};

}  // namespace stampbak
