// The POSIX layer where a whole run cannot show it without races.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "platform/posix.h"
#include "tests/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using stampbak::testing::TempDir;
using stampbak::testing::WriteFile;

// A directory swapped for a link to elsewhere between its listing and its
// opening is never entered.
TEST(PosixListing, SubdirectorySwappedForALinkIsNotEntered) {
  TempDir dir;
  WriteFile(dir.path() / "src/sub/inside");
  WriteFile(dir.path() / "outside/secret");
  const ListingOpen source = OpenDirectory(dir / "src/");
  ASSERT_TRUE(source.Listing);
  EXPECT_TRUE(source.Listing->OpenSubdirectory("sub").Listing);
  fs::rename(dir.path() / "src/sub", dir.path() / "moved");
  fs::create_directory_symlink(dir.path() / "outside", dir.path() / "src/sub");
  EXPECT_FALSE(source.Listing->OpenSubdirectory("sub").Listing);
}

// A level parked while the walk is deep gets its descriptor back through
// ".." of its child, but only when that is still the same directory: a
// child moved elsewhere meanwhile must not lead the look-ups there.
TEST(PosixListing, ParkedLevelIsNotRevivedInAnotherDirectory) {
  TempDir dir;
  WriteFile(dir.path() / "src/f", "listed");
  WriteFile(dir.path() / "elsewhere/f", "planted");
  std::string chain = "src";
  for (int level = 1; level <= 130; ++level) chain += "/d";
  fs::create_directories(dir.path() / chain);
  const ListingOpen top = OpenDirectory(dir / "src/");
  ASSERT_TRUE(top.Listing);
  std::vector<std::unique_ptr<DirectoryListing>> levels;
  DirectoryListing* deepest = top.Listing.get();
  for (int level = 1; level <= 130; ++level) {
    ListingOpen inner = deepest->OpenSubdirectory("d");
    ASSERT_TRUE(inner.Listing) << level << inner.Reason;
    deepest = inner.Listing.get();
    levels.push_back(std::move(inner.Listing));
  }
  fs::rename(dir.path() / "src/d", dir.path() / "elsewhere/d");
  while (!levels.empty()) levels.pop_back();
  EXPECT_NE(top.Listing->LastWriteTime("f").Status, LookupStatus::Found);
}

// Packing an hour's seconds from one look-up of its offset gives what the
// C library gives, around a change of daylight-saving time on the hour
// (Berlin) and on the half hour (Lord Howe Island), around a leap second
// where the zone counts them (which packs as second 59), and from the
// 29th of February into March.
TEST(LocalTimeCache, AgreesWithTheCLibraryAcrossDaylightSavingChanges) {
  const std::pair<const char*, std::time_t> changes[] = {
      {"Europe/Berlin", 1711846800},        // 2024-03-31 01:00 UTC
      {"Europe/Berlin", 1729990800},        // 2024-10-27 01:00 UTC
      {"Australia/Lord_Howe", 1728142200},  // 2024-10-05 15:30 UTC
      {"right/Europe/Berlin", 1483228826},  // 2016-12-31 23:59:60 UTC
      {"Europe/Berlin", 1709251200},        // 2024-03-01 00:00 UTC, after a leap day
  };
  const std::string saved = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
  for (const auto& [zone, change] : changes) {
    setenv("TZ", zone, 1);
    tzset();
    LocalTimeCache cache;
    // By the second across the local midnight two hours before and across
    // the change, else in steps.
    const auto next = [change](std::time_t utc) {
      if (utc < change - 7195 || (utc >= change - 5 && utc < change + 5)) return utc + 1;
      return utc < change - 5 ? std::min(utc + 37, change - 5) : utc + 37;
    };
    for (std::time_t utc = change - 7205; utc < change + 7200; utc = next(utc)) {
      std::tm tm{};
      localtime_r(&utc, &tm);
      const DosDateTime expected = PackDosDateTime(
          {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
      ASSERT_EQ(cache.Pack(utc), expected) << zone << " " << utc;
    }
  }
  setenv("TZ", saved.c_str(), 1);
  tzset();
  // The ends of the time type are the ends of the packed form.
  LocalTimeCache cache;
  EXPECT_EQ(cache.Pack(std::numeric_limits<std::time_t>::max()), kLatestDosDateTime);
  EXPECT_EQ(cache.Pack(std::numeric_limits<std::time_t>::min()), kEarliestDosDateTime);
}

// A non-blocking descriptor that is full waits for its reader; nothing of
// the load is lost.
TEST(WriteFully, WaitsForASlowReaderOfANonBlockingPipe) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  std::string received;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, n);
  });
  const std::string load(200000, 'x');
  EXPECT_EQ(WriteFully(fds[1], load.data(), load.size()), load.size());
  close(fds[1]);
  reader.join();
  close(fds[0]);
  EXPECT_EQ(received, load);
}

// List names after a taken first one come from here.
TEST(RandomNumber, NumbersDiffer) { EXPECT_NE(RandomNumber(), RandomNumber()); }

}  // namespace
}  // namespace platform
