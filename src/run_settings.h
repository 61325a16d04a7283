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
  // What the parameters look like a slip in, for a warning each, in their
  // order: words passed over, text after an option's letter, values that
  // look like options. The parsing itself does not change for them.
  std::vector<std::string> Slips;
  // Workers reading directories ahead of the scan (STAMPBAK_READ_AHEAD:
  // a number, 0 for none, "plan" for one on the tests' fixed plan).
  int ReadAheadWorkers = 4;
  bool ReadAheadLockstep = false;
};

}  // namespace stampbak
