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

Params Split(std::string_view raw) { return SplitCommandLine(raw, SingleByte); }

TEST(SplitCommandLine, QuotesBlanksAndEmptyPairs) {
  EXPECT_EQ(Split(""), Params{});
  EXPECT_EQ(Split("prog"), Params{});
  EXPECT_EQ(Split("\"C:\\Program Files\\stampbak.exe\" -s x"), (Params{"-s", "x"}));
  EXPECT_EQ(Split("prog \t-s  \"C:\\My Data\"  -d D:\\dst"),
            (Params{"-s", "C:\\My Data", "-d", "D:\\dst"}));
  // Quoted and unquoted pieces of one token are joined.
  EXPECT_EQ(Split("prog a\"x y\"z"), (Params{"ax yz"}));
  // A pair of quotes standing alone gives no parameter at all.
  EXPECT_EQ(Split("prog -e \"\" -s C:\\src"), (Params{"-e", "-s", "C:\\src"}));
  EXPECT_EQ(Split("prog \"\"\"\" x"), (Params{"x"}));
  // An unclosed quote runs to the end, blanks included.
  EXPECT_EQ(Split("prog \"a b"), (Params{"a b"}));
  // A quote opening at the very end gives the empty token that ends the count.
  EXPECT_EQ(Split("prog x \""), (Params{"x"}));
  // Control characters separate tokens; bytes above 127 belong to them.
  EXPECT_EQ(Split("prog\x01x\x1Fy \xE9t\xE9"), (Params{"x", "y", "\xE9t\xE9"}));
  EXPECT_EQ(Split(std::string_view("prog a\0b", 9)), (Params{"a"}));
}

TEST(SplitCommandLine, StepsOverDoubleByteCharacters) {
  // The trail byte 0x22 is part of the character, not a double quote.
  EXPECT_EQ(SplitCommandLine("prog \x81\x22x y", DoubleByte), (Params{"\x81\x22x", "y"}));
  EXPECT_EQ(SplitCommandLine("prog \"\x81\x22\" y", DoubleByte), (Params{"\x81\x22", "y"}));
}

RunSettings Parse(const Params& params) {
  RunSettings settings;
  ParseParameters(params, settings);
  return settings;
}

TEST(ParseParameters, FirstLetterSelectsTheOption) {
  RunSettings s = Parse({"-s", "C:\\src", "-d", "D:\\dst", "-r"});
  EXPECT_EQ(s.SrcDir, "C:\\src");
  EXPECT_EQ(s.DstDir, "D:\\dst");
  EXPECT_TRUE(s.UseArchiver);
  EXPECT_FALSE(s.UseDateStamp);

  s = Parse({"S", "a", "D", "b", "/SOURCE", "c", "/Include", "*.TXT", "MX", "ax"});
  EXPECT_EQ(s.SrcDir, "c");
  EXPECT_EQ(s.DstDir, "b");
  EXPECT_EQ(s.IncludeMask, "*.TXT");  // values are taken as delivered
  EXPECT_TRUE(s.UseTimeStamp);
  EXPECT_TRUE(s.UseDateStamp);

  s = Parse({"\"-s\"", "x", "\"d\"", "y", "-x", "-", "/", "\"", "\"-e\""});
  EXPECT_EQ(s.SrcDir, "x");
  EXPECT_EQ(s.DstDir, "y");
  EXPECT_EQ(s.ExcludeMask, "");
  EXPECT_EQ(s.IncludeMask, "*.*");
}

TEST(ParseParameters, ValuesAreTakenWhateverTheyLookLike) {
  EXPECT_EQ(Parse({"-s", "-d"}).SrcDir, "-d");
  EXPECT_EQ(Parse({"-s", "-d"}).DstDir, "");
  // A second hyphen leaves a word that selects nothing, and so does its value.
  const RunSettings doubled = Parse({"--s", "C:\\src", "-d", "x"});
  EXPECT_EQ(doubled.SrcDir, "");
  EXPECT_EQ(doubled.DstDir, "x");
  // A value option in the last place empties its setting.
  EXPECT_EQ(Parse({"-d", "D:\\dst", "-d"}).DstDir, "");
  EXPECT_EQ(Parse({"-s", "C:\\a", "-s", "C:\\b"}).SrcDir, "C:\\b");
  // The empty pair skipped by the splitting lets -e take -s.
  const RunSettings shifted = Parse(Split("p -e \"\" -s C:\\src -d D:\\dst"));
  EXPECT_EQ(shifted.ExcludeMask, "-s");
  EXPECT_EQ(shifted.SrcDir, "");
  EXPECT_EQ(shifted.DstDir, "D:\\dst");
}

}  // namespace
}  // namespace stampbak
