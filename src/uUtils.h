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

// The archive named after a directory (given with its final separator):
// beside it, the directory's path with ".rar" for the separator. The
// unstamped destination names the archive beside it, the stamped one the
// archive inside the base destination.
std::string ArchiveNamedAfter(const std::string& directory);

// Whether a file is one of the archives that runs make and count: any
// name ending in ".rar", in any case.
bool IsArchiveName(std::string_view name);

// The items of a ";"-separated mask list as they stand; an empty last
// item (after a final ";", or of an empty list) is none.
std::vector<std::string_view> MaskListItems(std::string_view list);

// The text with every line break shown as "?", so that it stays one line.
std::string Printable(std::string_view text);

// The packed time as a DateTime; EConvertError when its fields are invalid.
DateTime DosDateTimeToDateTime(platform::DosDateTime packed);

// The temporary directory, one separator and the tick count; for a later
// attempt, after names found taken, a random number instead, or empty when
// the system's random source fails.
std::string MakeTempListName(std::uint32_t attempt = 0);

}  // namespace stampbak
