#include "src/failures.h"

#include "platform/platform.h"
#include "src/uUtils.h"

#include <cstdio>

namespace stampbak {

// Not inlined, so that the return address is the code that raised it.
[[gnu::noinline]] Failure::Failure(const char* kind, const std::string& message, std::string reason)
    : std::runtime_error(message),
      kind_(kind),
      address_(reinterpret_cast<std::uintptr_t>(__builtin_return_address(0))),
      reason_(std::move(reason)) {}

std::string FailureText(const char* kind, const std::string& module, std::uintptr_t address,
                        const std::string& message) {
  char position[2 * sizeof(std::uintptr_t) + 1];
  std::snprintf(position, sizeof position, "%08llX", static_cast<unsigned long long>(address));
  std::string text = "Exception ";
  text += kind;
  text += " in module " + module + " at " + position + ".\n";
  // A path with a line break must not make the text run on over more lines.
  text += Printable(message);
  if (!message.empty() && message.back() != '.') text += '.';
  return text;
}

void EndIfAsked() {
  if (platform::EndRequested()) throw RunInterrupted(platform::EndingSignal());
}

}  // namespace stampbak
