#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace stampbak {

// A local point in time: days since 1899-12-30, the fraction the time of day.
using DateTime = double;

// True when the mask covers the whole name: "*" any run of characters, "?"
// exactly one, every other byte itself (case counts).
bool MatchMask(std::string_view name, std::string_view mask);

// True when an item of the ";"-separated list takes the lower-cased name;
// the whole list "*.*" takes every name, an empty list none.
bool MatchMaskList(std::string_view name, std::string_view list);

// A mask list split once, for matching many names: the same answers as
// MatchMaskList with that list, without taking the list apart each time.
class PreparedMaskList {
 public:
  explicit PreparedMaskList(std::string_view list);
  bool Matches(std::string_view name) const;

 private:
  struct Mask {
    std::string Text;
    bool SuffixOnly = false;  // "*" and a literal: the name's end decides
  };
  bool MatchesLowered(std::string_view name) const;

  bool all_ = false;
  std::vector<Mask> masks_;
  std::array<char, 256> lower_{};  // the platform's lowering, byte by byte
  bool perByte_ = false;
};

// The text with every capital of the active code page lowered.
std::string LowerCase(std::string text);

// Creates the directory and every missing ancestor; the system's reason
// for the first that could not be created, else empty.
std::string MakeDirectoryPath(const std::string& path);

// The directory part of a path, with its final separator; empty for a
// bare name.
std::string DirectoryOf(const std::string& path);

// Where a run without a stamp puts its archive: beside the destination
// directory (given with its final separator), named after it.
std::string UnstampedArchiveName(const std::string& baseDstDir);

// A day in moments, the most a clock may be ahead before a time stamp
// counts as a slip.
constexpr platform::ChangeMoment kOneDay = 86'400 * platform::kMomentsPerSecond;

// The packed time as "YYYY-MM-DD HH:MM:SS", for the operator.
std::string ShowPackedTime(platform::DosDateTime packed);

// The packed time as a DateTime; EConvertError when its fields are invalid.
DateTime DosDateTimeToDateTime(platform::DosDateTime packed);

// The temporary directory, one separator and the tick count; for a later
// attempt, after names found taken, a random number instead, or empty when
// the system's random source fails.
std::string MakeTempListName(std::uint32_t attempt = 0);

}  // namespace stampbak
