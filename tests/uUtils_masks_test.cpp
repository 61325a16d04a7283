#include <gtest/gtest.h>

#include <random>
#include <string>

#include "src/uUtils.h"
#include "tests/mask_examples.h"

namespace stampbak {
namespace {

TEST(MatchMaskList, AnswersOfTheDesign) {
  for (const testing::MaskExample& row : testing::kMaskExamples) {
    EXPECT_EQ(MatchMaskList(row.name, row.list), row.taken) << row.name << " against " << row.list;
  }
}

TEST(MatchMask, EmptyValuesAndWildcardsInTheName) {
  EXPECT_TRUE(MatchMask("", ""));
  EXPECT_TRUE(MatchMask("", "*"));
  EXPECT_TRUE(MatchMask("", "***"));
  EXPECT_FALSE(MatchMask("", "?"));
  EXPECT_FALSE(MatchMask("", "a"));
  EXPECT_FALSE(MatchMask("a", ""));
  EXPECT_TRUE(MatchMask("a*?", "a*?"));
  EXPECT_TRUE(MatchMask("ABC", "ABC"));
  EXPECT_FALSE(MatchMask("abc", "ABC"));
  EXPECT_FALSE(MatchMask("abcd", "a?c"));
}

// The matcher as first defined: every "*" tries every split point in turn.
bool Oracle(const std::string& name, const std::string& mask) {
  if (name == mask) return true;
  if (name.empty()) return mask.find_first_not_of('*') == std::string::npos;
  for (std::size_t p = 0; p < name.size(); ++p) {
    if (p >= mask.size()) return false;
    if (mask[p] == '*') {
      for (std::size_t q = p; q <= name.size(); ++q) {
        if (Oracle(name.substr(q), mask.substr(p + 1))) return true;
      }
      return false;
    }
    if (mask[p] != '?' && mask[p] != name[p]) return false;
  }
  return Oracle("", mask.substr(name.size()));
}

TEST(MatchMask, AgreesWithTheRecursiveDefinition) {
  const std::string alphabet = "*?.abA\xE9";
  std::mt19937 random(20261207);
  const auto randomText = [&](std::size_t maxLength) {
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    return text;
  };
  int taken = 0;
  for (int i = 0; i < 150000; ++i) {
    const std::string name = randomText(7);
    const std::string mask = randomText(6);
    const bool expected = Oracle(name, mask);
    ASSERT_EQ(MatchMask(name, mask), expected) << "name " << name << " mask " << mask;
    taken += expected;
  }
  EXPECT_GT(taken, 5000);  // both answers were exercised
}

TEST(MatchMask, CraftedNameAnswersAtOnce) {
  const std::string name(90, 'a');
  EXPECT_FALSE(MatchMask(name, "a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_FALSE(MatchMaskList(name, "*.txt;a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchMask(name + "b", "a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(MatchMaskList, LowersTheNameNotTheItems) {
  EXPECT_TRUE(MatchMaskList("READ.ME", "read.me"));
  EXPECT_FALSE(MatchMaskList("read.me", "READ.ME"));
  const std::string longName = std::string(600, 'X') + ".TXT";
  EXPECT_TRUE(MatchMaskList(longName, "x*.txt"));
  EXPECT_FALSE(MatchMaskList(longName, "x*.doc"));
}

}  // namespace
}  // namespace stampbak
