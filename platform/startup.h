#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Readies the process for an unattended run: locale, signals and standard
// descriptors. Called once, first thing.
void PrepareProcess();

// The raw command line where the platform hands over one (Windows); none
// where it hands over an argument vector.
std::optional<std::string> RawCommandLine();

// The position of the character after the one at pos: one byte, or two for
// a double-byte character of the active code page.
std::size_t NextCharacter(std::string_view text, std::size_t pos);

}  // namespace platform
