#include "src/uUtils.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "src/failures.h"

namespace stampbak {
namespace {

TEST(MatchMaskList, AnswersOfTheDesign) {
  struct Row {
    const char* name;
    const char* list;
    bool taken;
  };
  // Names and lists exactly as shown, blanks included; the list is lowered
  // before a run, the name here.
  const Row rows[] = {
      {"Report.TXT", "*.txt", true},
      {"readme", "*.*", true},
      {"readme", "*.*;*.txt", false},
      {"readme", "*.*;", false},
      {"readme", "*", true},
      {"notes.txt", "*.doc;*", true},
      {"data.bak", "*.tmp;;*.bak", true},
      {"data.bak", "", false},
      {"data.bak", ";", false},
      {"data.bak", "*.bak;", true},
      {"a.doc", "*.txt; *.doc", false},
      {"ABC.TXT", "ABC.TXT", false},
      {"x.txt", "*.txt;*.bad[", true},
      {"READ.ME", "read.me", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MatchMaskList(row.name, row.list), row.taken) << row.name << " against " << row.list;
  }
  const std::string longName = std::string(600, 'X') + ".TXT";
  EXPECT_TRUE(MatchMaskList(longName, "x*.txt"));
  EXPECT_FALSE(MatchMaskList(longName, "x*.doc"));
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

// Random texts of up to a given length from a few characters.
class RandomText {
 public:
  RandomText(std::string alphabet, unsigned seed) : alphabet_(std::move(alphabet)), random_(seed) {}
  std::string operator()(std::size_t maxLength) {
    std::string text(random_() % (maxLength + 1), ' ');
    for (char& c : text) c = alphabet_[random_() % alphabet_.size()];
    return text;
  }

 private:
  std::string alphabet_;
  std::mt19937 random_;
};

TEST(MatchMask, AgreesWithTheRecursiveDefinition) {
  RandomText randomText("*?.abA\xE9", 20261207);
  int taken = 0;
  for (int i = 0; i < 150000; ++i) {
    const std::string name = randomText(7);
    const std::string mask = randomText(6);
    const bool expected = Oracle(name, mask);
    ASSERT_EQ(MatchMask(name, mask), expected) << "name " << name << " mask " << mask;
    taken += expected;
  }
  EXPECT_GT(taken, 5000);  // both answers were exercised
  // A crafted name answers at once, not after trying every split.
  EXPECT_FALSE(MatchMaskList(std::string(90, 'a'), "*.txt;a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(DosDateTimeToDateTime, ValidFieldsOnly) {
  EXPECT_NEAR(DosDateTimeToDateTime(0x586570E4), 45356.5882870370, 1e-9);  // 2024-03-05 14:07:08
  EXPECT_DOUBLE_EQ(DosDateTimeToDateTime((20U << 25) | (2U << 21) | (29U << 16)), 36585.0);
  EXPECT_DOUBLE_EQ(DosDateTimeToDateTime((21U << 25) | (3U << 21) | (1U << 16)), 36951.0);
  const auto failure = [](platform::DosDateTime packed) {
    try {
      DosDateTimeToDateTime(packed);
    } catch (const EConvertError& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  EXPECT_EQ(failure(0xFFFFFFFFU), "Invalid argument to date encode");
  EXPECT_EQ(failure((1U << 25) | (2U << 21) | (29U << 16)), "Invalid argument to date encode");
  EXPECT_EQ(failure((1U << 25) | (0U << 21) | (1U << 16)), "Invalid argument to date encode");
  EXPECT_EQ(failure((1U << 25) | (1U << 21) | (0U << 16)), "Invalid argument to date encode");
  EXPECT_EQ(failure((1U << 21) | (1U << 16) | 30U), "Invalid argument to time encode");
  EXPECT_EQ(failure((1U << 21) | (1U << 16) | (24U << 11)), "Invalid argument to time encode");
}

}  // namespace
}  // namespace stampbak
