#include "platform/lower_case.h"
#include "src/uUtils.h"

namespace stampbak {

std::string LowerCase(std::string text) {
  platform::LowerCaseInPlace(text.data(), text.size());
  return text;
}

}  // namespace stampbak
