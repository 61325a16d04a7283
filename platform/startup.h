#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What the process was started with, for the parts of the layer that must
// know it.
struct ProcessStart {
  // False when descriptor 1 was closed; it then holds /dev/null and must
  // not be taken for a report sink.
  bool StandardOutputGiven = true;
  // The descriptor limits our caller set, for the archiver; negative where
  // the platform has none.
  long long CallerDescriptorLimit = -1;
  long long CallerDescriptorHardLimit = -1;
};

// Readies the process for an unattended run: locale, signals, standard
// descriptors and limits. Called once, first thing.
ProcessStart PrepareProcess();

// The raw command line where the platform hands over one (Windows); none
// where it hands over an argument vector.
std::optional<std::string> RawCommandLine();

// The position of the character after the one at pos: one byte, or two for
// a double-byte character of the active code page.
std::size_t NextCharacter(std::string_view text, std::size_t pos);

}  // namespace platform
