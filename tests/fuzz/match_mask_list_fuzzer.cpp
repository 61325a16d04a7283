// Feeds arbitrary names and mask lists to the matcher; the input is split at
// its first zero byte into a name and a list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "src/uUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\0');
  const std::string_view name = input.substr(0, cut);
  const std::string_view list = cut == std::string_view::npos ? "" : input.substr(cut + 1);
  stampbak::MatchMaskList(name, list);
  if (!stampbak::MatchMask(name, name)) std::abort();
  return 0;
}
