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

  FakeScan() {
    fake.AddDirectory("src");
    settings.SrcDir = P("src/");
    settings.BaseDstDir = P("/dst/");
  }

  std::string Scan() {
    root = BuildBackupTree(Context(), P("src/"), "*.*", "");
    return Report();
  }
};

// Whatever keeps a selected file's time from being read (it vanished or
// turned into a directory after the listing, its directory cannot be
// searched, its path is longer than the archiver can open) leaves that
// file out with a warning; the scan goes on.
TEST(Scan, FileWhoseTimeCannotBeReadIsLeftOut) {
  const std::string longName(platform::LongestArchivablePath + 1, 'n');
  struct Case {
    std::string name;
    platform::FileTimeLookup lookup;
    std::string warning;
  };
  const Case cases[] = {
      {"gone", {LookupStatus::Missing, 0, "No such file"}, "cannot read the time of "},
      {"dir", {LookupStatus::Directory, 0, "is a directory"}, "cannot read the time of "},
      {"denied", {LookupStatus::Failed, 0, "Permission denied"}, "cannot read the time of "},
      {"long", {LookupStatus::NameTooLong, 0, ""}, "the path is too long: "},
      {longName, {LookupStatus::Found, kTime, ""}, "the path is too long: "},
  };
  for (const Case& c : cases) {
    FakeScan scan;
    scan.fake.AddEntry(P("src/") + c.name, EntryKind::File);
    scan.fake.files.files[P("src/") + c.name] = c.lookup;
    scan.fake.AddEntry(P("src/kept"), EntryKind::File, kTime);
    const std::string path = P("src/") + c.name;
    EXPECT_EQ(scan.Scan(), "S " + path + "\r\nC " + P("src/kept") + "\r\n");
    EXPECT_EQ(scan.root->Count, 1);
    const std::string reason = c.lookup.Reason.empty() ? "" : ": " + c.lookup.Reason;
    EXPECT_EQ(scan.fake.diagnostics.warnings,
              (std::vector<std::string>{"stampbak: not archived, " + c.warning + path + reason}));
  }
  FakeScan memory;
  memory.fake.AddEntry(P("src/big"), EntryKind::File);
  memory.fake.files.files[P("src/big")] = {LookupStatus::OutOfMemory, 0, ""};
  EXPECT_THROW(memory.Scan(), std::bad_alloc);
}

// A destination inside the source: the archives the change check counts
// (those directly in it, however its name is spelled, and the unstamped one
// beside it) are never packed again; other files there are.
TEST(Scan, OwnArchivesAreNeverPackedAgain) {
  FakeScan scan;
  scan.settings.BaseDstDir = P("src/./backup/");
  scan.fake.directories.aliases[P("src/./backup")] = P("src/backup");
  scan.fake.directories.aliases[P("src/.")] = "src";
  scan.fake.AddEntry(P("src/backup.rar"), EntryKind::File, kTime);
  scan.fake.AddEntry(P("src/other.rar"), EntryKind::File, kTime);
  scan.fake.AddDirectory(P("src/backup"));
  scan.fake.AddDirectory(P("src/./backup"));
  scan.fake.AddEntry(P("src/backup/2026_12_06.RAR"), EntryKind::File, kTime);
  scan.fake.AddEntry(P("src/backup/notes.txt"), EntryKind::File, kTime);
  scan.fake.AddDirectory(P("src/backup/old"));
  scan.fake.AddEntry(P("src/backup/old/2025.rar"), EntryKind::File, kTime);
  EXPECT_EQ(scan.Scan(), "S " + P("src/backup.rar") + "\r\nC " + P("src/other.rar") + "\r\nS " +
                             P("src/backup/2026_12_06.RAR") + "\r\nC " + P("src/backup/notes.txt") +
                             "\r\nC " + P("src/backup/old/2025.rar") + "\r\n");
  EXPECT_EQ(scan.fake.diagnostics.warnings,
            (std::vector<std::string>{"stampbak: the destination lies inside the source; its "
                                      "archives are not packed again: " +
                                      P("src/./backup/")}));
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
