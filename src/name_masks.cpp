#include <array>
#include <string>

#include "platform/lower_case.h"
#include "src/uUtils.h"

namespace stampbak {

// One pass that, on a mismatch, backtracks only to the latest "*": an
// earlier "*" can never be needed again, because the latest one can already
// cover anything the earlier one could. This gives the answers of trying
// every split point of every "*", in time bounded by name x mask length.
bool MatchMask(std::string_view name, std::string_view mask) {
  if (name == mask) return true;
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t afterStar = std::string_view::npos;
  std::size_t starCovers = 0;  // where the latest "*"'s run ends in the name
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      afterStar = ++m;
      starCovers = n;
    } else if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (afterStar != std::string_view::npos) {
      m = afterStar;
      n = ++starCovers;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

namespace {

bool MatchLowerCasedName(std::string_view name, std::string_view list) {
  for (;;) {
    const std::size_t end = list.find(';');
    if (end == std::string_view::npos) {
      return !list.empty() && MatchMask(name, list);
    }
    if (MatchMask(name, list.substr(0, end))) return true;
    list.remove_prefix(end + 1);
  }
}

}  // namespace

bool MatchMaskList(std::string_view name, std::string_view list) {
  if (list.empty()) return false;
  if (list == "*.*") return true;
  // Entry names fit the stack; only an unusually long one costs a string.
  std::array<char, 512> buffer;
  if (name.size() <= buffer.size()) {
    name.copy(buffer.data(), name.size());
    platform::LowerCaseInPlace(buffer.data(), name.size());
    return MatchLowerCasedName(std::string_view(buffer.data(), name.size()), list);
  }
  const std::string lowered = LowerCase(std::string(name));
  return MatchLowerCasedName(lowered, list);
}

}  // namespace stampbak
