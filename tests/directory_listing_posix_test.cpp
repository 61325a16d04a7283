#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/directory_listing.h"
#include "tests/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A directory swapped for a link to elsewhere between its listing and its
// opening is never entered.
TEST(PosixListing, SubdirectorySwappedForALinkIsNotEntered) {
  stampbak::testing::TempDir dir;
  stampbak::testing::WriteFile(dir.path() / "src/sub/inside");
  stampbak::testing::WriteFile(dir.path() / "outside/secret");
  ListingOpen source = SystemDirectoryEnumerator().Open(dir / "src/");
  ASSERT_TRUE(source.Listing);
  DirectoryEntry entry;
  ASSERT_TRUE(source.Listing->Next(entry));
  while (entry.Name != "sub") ASSERT_TRUE(source.Listing->Next(entry));
  EXPECT_EQ(entry.Kind, EntryKind::Directory);
  EXPECT_TRUE(source.Listing->OpenSubdirectory("sub").Listing);

  fs::rename(dir.path() / "src/sub", dir.path() / "moved");
  fs::create_directory_symlink(dir.path() / "outside", dir.path() / "src/sub");
  const ListingOpen swapped = source.Listing->OpenSubdirectory("sub");
  EXPECT_FALSE(swapped.Listing);
  EXPECT_EQ(swapped.Status, LookupStatus::Failed);
}

}  // namespace
}  // namespace platform
