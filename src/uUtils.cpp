#include "src/uUtils.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "src/failures.h"

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

// One implementation for both: a list prepared for this one name.
bool MatchMaskList(std::string_view name, std::string_view list) {
  return PreparedMaskList(list).Matches(name);
}

PreparedMaskList::PreparedMaskList(std::string_view list)
    : all_(list == "*.*"), perByte_(platform::LowerCaseIsPerByte()) {
  for (std::size_t c = 0; c < lower_.size(); ++c) {
    lower_[c] = static_cast<char>(c);
    platform::LowerCaseInPlace(&lower_[c], 1);
  }
  for (const std::string_view item : MaskListItems(list)) {
    const bool suffix = item.size() > 1 && item.front() == '*' &&
                        item.find_first_of("*?", 1) == std::string_view::npos;
    masks_.push_back({std::string(item), suffix});
  }
}

// An empty item never takes a name, and an empty last one never counts.
std::vector<std::string_view> MaskListItems(std::string_view list) {
  std::vector<std::string_view> items;
  while (!list.empty()) {
    const std::size_t end = list.find(';');
    const std::string_view item = list.substr(0, end);
    if (!item.empty() || end != std::string_view::npos) items.push_back(item);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return items;
}

bool PreparedMaskList::MatchesLowered(std::string_view name) const {
  return std::ranges::any_of(masks_, [name](const Mask& mask) {
    return mask.SuffixOnly ? name.ends_with(std::string_view(mask.Text).substr(1))
                           : MatchMask(name, mask.Text);
  });
}

bool PreparedMaskList::Matches(std::string_view name) const {
  if (all_) return true;
  if (masks_.empty()) return false;
  std::array<char, 512> buffer;
  if (!perByte_ || name.size() > buffer.size()) return MatchesLowered(LowerCase(std::string(name)));
  for (std::size_t i = 0; i < name.size(); ++i) {
    buffer[i] = lower_[static_cast<unsigned char>(name[i])];
  }
  return MatchesLowered(std::string_view(buffer.data(), name.size()));
}

std::string LowerCase(std::string text) {
  platform::LowerCaseInPlace(text.data(), text.size());
  return text;
}

namespace {

// A drive such as D: is never created; neither is the empty name before a
// leading separator.
bool IsCreatableFirstComponent(const std::string& name) {
  const bool drive = name.size() == 2 && name[1] == ':';
  return !name.empty() && !drive;
}

}  // namespace

std::string MakeDirectoryPath(const std::string& path) {
  if (platform::IsDirectory(path)) return "";
  const std::size_t last = path.rfind(platform::PathDelimiter);
  if (last == std::string::npos) {
    // A relative destination's first component is created like any level.
    return IsCreatableFirstComponent(path) ? platform::MakeDirectory(path) : "";
  }
  const std::string above = MakeDirectoryPath(path.substr(0, last));
  const std::string here = platform::MakeDirectory(path);
  return above.empty() ? here : above;
}

std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.rfind(platform::PathDelimiter) + 1);
}

namespace {

constexpr char kArchiveExtension[] = ".rar";

}  // namespace

std::string ArchiveNamedAfter(const std::string& directory) {
  return directory.substr(0, directory.size() - 1) + kArchiveExtension;
}

bool IsArchiveName(std::string_view name) {
  static const PreparedMaskList archives(std::string("*") + kArchiveExtension);
  return archives.Matches(name);
}

std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    if (c == '\r' || c == '\n') c = '?';
  }
  return shown;
}

namespace {

constexpr std::int64_t kDaysFrom18991230To1970 = 25569;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

DateTime DosDateTimeToDateTime(platform::DosDateTime packed) {
  const platform::LocalTime t = platform::UnpackDosDateTime(packed);
  if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > DaysInMonth(t.Year, t.Month)) {
    throw EConvertError("Invalid argument to date encode");
  }
  if (t.Hour > 23 || t.Minute > 59 || t.Second > 59) {
    throw EConvertError("Invalid argument to time encode");
  }
  const double millis = t.Hour * 3600000.0 + t.Minute * 60000.0 + t.Second * 1000.0;
  return static_cast<double>(
             (platform::DaysFromCivil(t.Year, t.Month, t.Day) + kDaysFrom18991230To1970)) +
         millis / 86400000.0;
}

std::string MakeTempListName(std::uint32_t attempt) {
  std::string name = platform::EnvironmentVariable("TEMP");
  if (name.empty()) name = platform::FallbackTempDirectory();
  if (name.empty() || name.back() != platform::PathDelimiter) name += platform::PathDelimiter;
  // Names after a taken first one must not be guessable, or planting links
  // at the coming numbers would stop every backup.
  const std::optional<std::uint32_t> number =
      attempt == 0 ? platform::TickCount() : platform::RandomNumber();
  return number ? name + std::to_string(*number) : "";
}

}  // namespace stampbak
