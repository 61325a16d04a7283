#include "src/command_line.h"

#include <gtest/gtest.h>

namespace stampbak {
namespace {

using Params = std::vector<std::string>;

std::size_t SingleByte(std::string_view, std::size_t pos) { return pos + 1; }

// A code page whose bytes 0x81 to 0x9F lead a two-byte character.
std::size_t DoubleByte(std::string_view text, std::size_t pos) {
  const auto c = static_cast<unsigned char>(text[pos]);
  return (c >= 0x81 && c <= 0x9F && pos + 1 < text.size()) ? pos + 2 : pos + 1;
}

TEST(SplitCommandLine, QuotesBlanksAndEmptyPairs) {
  const std::pair<std::string_view, Params> cases[] = {
      {"prog", {}},
      {" \t prog x", {"x"}},
      {"\"C:\\Program Files\\stampbak.exe\" -s x", {"-s", "x"}},
      {"prog \t-s  \"C:\\My Data\"  -d D:\\dst", {"-s", "C:\\My Data", "-d", "D:\\dst"}},
      {"prog a\"x y\"z", {"ax yz"}},                         // pieces of one token are joined
      {"prog -e \"\" -s C:\\src", {"-e", "-s", "C:\\src"}},  // an empty pair gives nothing
      {"prog \"\"\"\" x", {"x"}},
      {"prog \"a b", {"a b"}},  // an unclosed quote runs to the end
      {"prog x \"", {"x"}},     // the empty token at the end ends the count
      {"prog\x01x\x1Fy \xE9t\xE9", {"x", "y", "\xE9t\xE9"}},
      {std::string_view("prog a\0b", 9), {"a"}},
  };
  for (const auto& [raw, params] : cases) EXPECT_EQ(SplitCommandLine(raw, SingleByte), params);
  // The trail byte 0x22 is part of the character, not a double quote.
  EXPECT_EQ(SplitCommandLine("prog \x81\x22x y", DoubleByte), (Params{"\x81\x22x", "y"}));
}

TEST(WithoutSurroundingQuotes, OnePairAroundTheWholeValue) {
  EXPECT_EQ(WithoutSurroundingQuotes("\"C:\\My Data\""), "C:\\My Data");
  EXPECT_EQ(WithoutSurroundingQuotes("\"half"), "\"half");
  EXPECT_EQ(WithoutSurroundingQuotes("\""), "");
}

RunSettings Parse(const Params& params) {
  RunSettings settings;
  ParseParameters(params, settings);
  return settings;
}

TEST(ParseParameters, FirstLetterSelectsTheOptionAndTakesTheNextWord) {
  RunSettings s = Parse({"S", "a", "D", "b", "/SOURCE", "c", "/Include", "*.TXT", "MX", "ax"});
  EXPECT_EQ(s.SrcDir, "c");
  EXPECT_EQ(s.DstDir, "b");
  EXPECT_EQ(s.IncludeMask, "*.TXT");  // values are taken as delivered
  EXPECT_TRUE(s.UseTimeStamp && s.UseDateStamp && !s.UseArchiver);
  s = Parse({"\"-s\"", "x", "\"d\"", "y", "-x", "-", "/", "\"", "\"-r\""});
  EXPECT_EQ(s.SrcDir + s.DstDir + s.ExcludeMask + s.IncludeMask, "xy*.*");
  EXPECT_TRUE(s.UseArchiver);
  EXPECT_EQ(Parse({"-s", "-d"}).SrcDir, "-d");
  // A second hyphen leaves a word that selects nothing, and so does its value.
  EXPECT_EQ(Parse({"--s", "C:\\src", "-d", "x"}).SrcDir, "");
  // A value option in the last place empties its setting.
  EXPECT_EQ(Parse({"-d", "D:\\dst", "-d"}).DstDir, "");
}

// Slips are noted in order, and the parsing stays as it was.
TEST(ParseParameters, SlipsAreNotedWithoutChangingTheParsing) {
  const RunSettings s =
      Parse({"-e*.tmp", "-a", "-r", "", "-d=x", "y", "--source", "src", "--dest", "-m", "-r2"});
  EXPECT_EQ(s.ExcludeMask + "|" + s.DstDir + "|" + s.SrcDir, "-a|y|--dest");
  EXPECT_TRUE(s.UseArchiver && s.UseTimeStamp && !s.UseDateStamp);
  EXPECT_EQ(s.Slips, (std::vector<std::string>{
                         "the option -e*.tmp counts by its letter e alone; its value is the next "
                         "parameter",
                         "the value of -e*.tmp is -a, which looks like an option; it is taken as "
                         "the value",
                         "passed over, an empty parameter",
                         "the option -d=x counts by its letter d alone; its value is the next "
                         "parameter",
                         "passed over, its first letter names no option: --source",
                         "the value of src is --dest, which looks like an option; it is taken as "
                         "the value",
                     }));
  EXPECT_EQ(Parse({"-size", "a", "-Dest", "b", "-include_9", "c", "/archive"}).Slips,
            std::vector<std::string>{});
}

}  // namespace
}  // namespace stampbak
