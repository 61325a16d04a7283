#pragma once

#include <cstddef>

namespace platform {

// Lowers every capital of the active single-byte code page in place. Names
// and mask lists both go through this one mapping, so they always agree.
void LowerCaseInPlace(char* data, std::size_t size);

// Whether lowering byte by byte gives what lowering the whole text gives;
// not so where the code page has two-byte characters.
bool LowerCaseIsPerByte();

}  // namespace platform
