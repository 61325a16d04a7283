#include <gtest/gtest.h>

#include <new>

#include "src/uBackupFile.h"
#include "tests/fake_system.h"

namespace stampbak::testing {
namespace {

constexpr platform::DosDateTime kTime = 0x586570E4;  // 2024-03-05 14:07:08

// Whatever keeps a selected file's time from being read (it vanished or
// turned into a directory after the listing, its path is longer than the
// archiver can open) leaves that file out with a warning; the scan goes
// on. Exhausted memory ends it.
TEST(Scan, FileWhoseTimeCannotBeReadIsLeftOut) {
  const std::string longName(platform::LongestArchivablePath + 1, 'n');
  struct Case {
    std::string name;
    FileTimeLookup lookup;
    std::string warning;
  };
  const Case cases[] = {
      {"gone", {LookupStatus::Missing, 0, "No such file"}, "cannot read the time of "},
      {"dir", {LookupStatus::Directory, 0, "is a directory"}, "cannot read the time of "},
      {"long", {LookupStatus::NameTooLong, 0, ""}, "the path is too long: "},
      {longName, {LookupStatus::Found, kTime, ""}, "the path is too long: "},
  };
  for (const Case& c : cases) {
    FakeRun run;
    run.settings.SrcDir = "src/";
    run.files.times["src/" + c.name] = c.lookup;
    run.files.times["src/a"] = {LookupStatus::Found, kTime, ""};
    const auto root = BuildBackupTree(run.Context(), "src/", "*.*", "");
    EXPECT_EQ(run.Report(), "C src/a\r\nS src/" + c.name + "\r\n");
    EXPECT_EQ(root->Count, 1);
    const std::string reason = c.lookup.Reason.empty() ? "" : ": " + c.lookup.Reason;
    EXPECT_EQ(run.diagnostics.warnings,
              (std::vector<std::string>{"stampbak: not archived, " + c.warning + "src/" + c.name +
                                        reason}));
  }
  // The longest path the archiver can open is listed.
  FakeRun longest;
  const std::string name(platform::LongestArchivablePath, 'n');
  longest.settings.SrcDir = "src/";
  longest.files.times["src/" + name] = {LookupStatus::Found, kTime, ""};
  BuildBackupTree(longest.Context(), "src/", "*.*", "");
  EXPECT_EQ(longest.Report(), "C src/" + name + "\r\n");

  FakeRun memory;
  memory.files.outOfMemory = true;
  EXPECT_THROW(BuildBackupTree(memory.Context(), "src/", "*.*", ""), std::bad_alloc);
}

}  // namespace
}  // namespace stampbak::testing
