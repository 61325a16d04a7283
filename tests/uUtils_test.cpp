#include "src/uUtils.h"

#include <gtest/gtest.h>

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
