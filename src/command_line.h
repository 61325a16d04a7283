#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "src/run_settings.h"

namespace stampbak {

// Steps from the character at a position to the next one (one byte, or two
// for a double-byte character).
using CharacterStep = std::size_t (*)(std::string_view text, std::size_t pos);

// Splits a raw command line into parameters 1 to count; the program's own
// name (token 0) is not among them.
std::vector<std::string> SplitCommandLine(std::string_view raw, CharacterStep step);

// The value without one pair of double quotes around it; "\"" alone is empty.
std::string WithoutSurroundingQuotes(const std::string& value);

// Fills the settings from the parameters by the first letter of each option.
void ParseParameters(const std::vector<std::string>& params, RunSettings& settings);

}  // namespace stampbak
