#include <gtest/gtest.h>

#include <new>

#include "src/failures.h"
#include "src/uBackupFile.h"
#include "tests/fake_run.h"
#include "tests/test_paths.h"

namespace stampbak {
namespace {

using platform::EntryKind;
using platform::LookupStatus;
using testing::P;

constexpr platform::DosDateTime kTime = 0x586570E4;  // 2024-03-05 14:07:08

// A scan over the in-memory layer, with the report and warnings it gave.
struct FakeScan : testing::FakeRun {
  std::unique_ptr<TBackupFile> root;

  FakeScan() { fake.AddDirectory("src"); }

  std::string Scan() {
    root = BuildBackupTree(Context(), P("src/"), "*.*", "");
    return Report();
  }
};

TEST(Scan, VanishedFileIsLeftOutAndTheScanGoesOn) {
  for (LookupStatus gone : {LookupStatus::Missing, LookupStatus::NameTooLong}) {
    FakeScan scan;
    scan.fake.AddEntry(P("src/rotated.log"), EntryKind::File);
    scan.fake.files.files[P("src/rotated.log")] = {gone, 0, "No such file or directory"};
    scan.fake.AddEntry(P("src/kept"), EntryKind::File, kTime);
    EXPECT_EQ(scan.Scan(), "S " + P("src/rotated.log") + "\r\nC " + P("src/kept") + "\r\n");
    EXPECT_EQ(scan.root->Count, 1);
    EXPECT_EQ(scan.fake.diagnostics.warnings,
              (std::vector<std::string>{"stampbak: not archived, cannot read the time of " +
                                        P("src/rotated.log") + ": No such file or directory"}));
  }
}

TEST(Scan, OtherTimeFailuresEndTheScanAfterTheFilesLine) {
  FakeScan scan;
  scan.fake.AddEntry(P("src/bad"), EntryKind::File);
  scan.fake.files.files[P("src/bad")] = {LookupStatus::Failed, 0, "Input/output error"};
  scan.fake.AddEntry(P("src/later"), EntryKind::File, kTime);
  EXPECT_THROW(scan.Scan(), EConvertError);
  EXPECT_EQ(scan.Report(), "C " + P("src/bad") + "\r\n");
}

TEST(Scan, UnreadableDirectories) {
  FakeScan subdirectory;
  subdirectory.fake.AddDirectory(P("src/locked"));
  subdirectory.fake.directories.unreadable[P("src/locked")] = LookupStatus::Failed;
  subdirectory.fake.AddEntry(P("src/after"), EntryKind::File, kTime);
  EXPECT_EQ(subdirectory.Scan(), "C " + P("src/after") + "\r\n");
  ASSERT_EQ(subdirectory.root->Count, 2);
  EXPECT_EQ(subdirectory.root->Children[0]->Count, 0);
  EXPECT_EQ(subdirectory.fake.diagnostics.warnings,
            (std::vector<std::string>{"stampbak: cannot read directory " + P("src/locked/") +
                                      ": Permission denied"}));

  FakeScan source;
  source.fake.directories.unreadable["src"] = LookupStatus::Failed;
  try {
    source.Scan();
    ADD_FAILURE() << "an unreadable source passed";
  } catch (const ESourceError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot read source directory " + P("src/"));
  }

  FakeScan memory;
  memory.fake.AddDirectory(P("src/big"));
  memory.fake.directories.unreadable[P("src/big")] = LookupStatus::OutOfMemory;
  EXPECT_THROW(memory.Scan(), std::bad_alloc);
}

}  // namespace
}  // namespace stampbak
