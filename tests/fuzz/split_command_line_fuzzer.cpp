// Feeds arbitrary raw command lines to the splitter and the option parsing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "src/command_line.h"

namespace {

// A code page whose bytes 0x81 to 0x9F lead a two-byte character whose
// trail byte is 0x40 or above, so never a blank or a double quote.
std::size_t DoubleByte(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const bool pair = lead >= 0x81 && lead <= 0x9F && pos + 1 < text.size() &&
                    static_cast<unsigned char>(text[pos + 1]) >= 0x40;
  return pair ? pos + 2 : pos + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const auto params = stampbak::SplitCommandLine(raw, DoubleByte);
  for (const auto& param : params) {
    if (param.empty() || param.find('"') != std::string::npos) std::abort();
  }
  stampbak::RunSettings settings;
  stampbak::ParseParameters(params, settings);
  return 0;
}
