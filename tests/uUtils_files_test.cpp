#include <gtest/gtest.h>

#include "platform/fake_system.h"
#include "platform/system.h"
#include "src/failures.h"
#include "src/uUtils.h"
#include "tests/temp_dir.h"
#include "tests/test_paths.h"

namespace stampbak {
namespace {

using testing::P;
using testing::TempDir;

constexpr double kOneSecond = 1.0 / 86400.0;

void ExpectDateEncodeFailure(platform::FileSystem& files, const std::string& path) {
  try {
    GetFileDateTime(files, path);
    ADD_FAILURE() << path << " gave a time";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    EXPECT_STREQ(e.Kind(), "EConvertError");
  }
}

TEST(GetFileDateTime, ReadsLocalTimeInTwoSecondSteps) {
  TempDir dir;
  platform::FileSystem& files = platform::SystemFileSystem();
  const std::string file = dir / "f";
  testing::WriteFile(file);

  testing::SetLocalWriteTime(file, 2024, 3, 5, 14, 7, 8);
  EXPECT_EQ(files.LastWriteTime(file).Packed, 0x586570E4U);
  EXPECT_NEAR(GetFileDateTime(files, file), 45356.5882870370, 1e-9);

  testing::SetLocalWriteTime(file, 2024, 3, 5, 14, 7, 9);  // same two-second step
  EXPECT_NEAR(GetFileDateTime(files, file), 45356.5882870370, 1e-9);

  testing::SetLocalWriteTime(file, 2024, 2, 29, 23, 59, 59);
  EXPECT_NEAR(GetFileDateTime(files, file), 45351.0 + 1.0 - 2 * kOneSecond, 1e-9);

  // Times the packed form cannot hold are clamped to its ends, not fatal.
  testing::SetLocalWriteTime(file, 1970, 1, 2, 0, 0, 0);
  EXPECT_DOUBLE_EQ(GetFileDateTime(files, file), 29221.0);  // 1980-01-01
  testing::SetLocalWriteTime(file, 2150, 6, 1, 0, 0, 0);
  EXPECT_NEAR(GetFileDateTime(files, file), 75972.0 - 2 * kOneSecond, 1e-9);  // 2107-12-31 23:59:58

  ExpectDateEncodeFailure(files, dir / "missing");
  ExpectDateEncodeFailure(files, dir.path().string());
}

TEST(DosDateTimeToDateTime, RejectsFieldsThatNameNoTime) {
  EXPECT_DOUBLE_EQ(DosDateTimeToDateTime((20U << 25) | (2U << 21) | (29U << 16)), 36585.0);
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
  EXPECT_EQ(failure((120U << 25) | (2U << 21) | (29U << 16)), "Invalid argument to date encode");
  EXPECT_EQ(failure((1U << 21) | (1U << 16) | (24U << 11)), "Invalid argument to time encode");
  EXPECT_EQ(failure((1U << 21) | (1U << 16) | 30U), "Invalid argument to time encode");
}

TEST(MakeDirectoryPath, CreatesMissingAncestorsOutermostFirst) {
  platform::fake::FakeFileSystem files;
  files.directories = {"D:"};
  MakeDirectoryPath(files, P("D:/Backups/Daily/"));
  EXPECT_EQ(files.queried, (std::vector<std::string>{P("D:/Backups/Daily/"), P("D:/Backups/Daily"),
                                                     P("D:/Backups"), "D:"}));
  EXPECT_EQ(files.createAttempts, (std::vector<std::string>{P("D:/Backups"), P("D:/Backups/Daily"),
                                                            P("D:/Backups/Daily/")}));
  EXPECT_TRUE(files.directories.count(P("D:/Backups/Daily")));

  files.queried.clear();
  files.createAttempts.clear();
  MakeDirectoryPath(files, P("D:/Backups/"));
  EXPECT_EQ(files.queried.size(), 1U);
  EXPECT_TRUE(files.createAttempts.empty());

  // A missing drive is never created, and nothing below it can be.
  MakeDirectoryPath(files, P("E:/x/"));
  EXPECT_FALSE(files.directories.count(P("E:/x")));
  // A file in the way: nothing is created.
  files.files[P("D:/taken")] = {};
  MakeDirectoryPath(files, P("D:/taken/"));
  EXPECT_FALSE(files.directories.count(P("D:/taken")));
}

TEST(MakeTempListName, TempDirectoryThenSeparatorThenTicks) {
  platform::fake::FakeEnvironment env;
  platform::fake::FakeClock clock;
  clock.ticks = 4294967295U;
  EXPECT_EQ(MakeTempListName(env, clock), P("/fallback/4294967295"));
  env.variables["TEMP"] = "";
  EXPECT_EQ(MakeTempListName(env, clock), P("/fallback/4294967295"));
  clock.ticks = 2147483648U;
  env.variables["TEMP"] = P("/var/tmp");
  EXPECT_EQ(MakeTempListName(env, clock), P("/var/tmp/2147483648"));
  env.variables["TEMP"] = P("/var/tmp/");
  EXPECT_EQ(MakeTempListName(env, clock), P("/var/tmp/2147483648"));
}

}  // namespace
}  // namespace stampbak
