// The change check's rules, case by case, over real files where the check
// reads content.
#include "src/change_check.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/temp_dir.h"

namespace stampbak {
namespace {

using platform::NodeKind;
using platform::Ownership;
using testing::TempDir;

constexpr platform::ChangeMoment kSecond = platform::kMomentsPerSecond;
constexpr platform::ChangeMoment kScan = 1'700'000'000 * kSecond;

const Job kJob{"/home/docs/", "*.*", ""};
const Fingerprint kNow{0x1234, 2};

RecordEntry Finished(std::string archive, Fingerprint selected, std::uint64_t size, Job job = kJob,
                     Fingerprint close = {}, platform::ChangeMoment scan = kScan) {
  return {EntryState::Finished, std::move(archive), std::move(job), size, selected, scan, close};
}

// A source with one file whose stamps lie a second before the scan's start.
class CloseFiles : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteFile(dir.path() / "near.txt", "near"); }
  // The files as a scan collecting `window` would have kept them.
  FilesCloseToScan Scanned(StampWindow window) {
    std::vector<CloseFile> kept;
    if (window.Holds(kScan - kSecond))
      kept.push_back({"near.txt", kScan - kSecond, kScan - kSecond});
    return FilesCloseToScan(dir.path().string() + platform::PathDelimiter, window, kept);
  }
  Fingerprint NearContent(const std::string& content) const {
    ContentHash hash;
    hash.Add(content);
    Fingerprint close;
    close.Add(NamedContentHash("near.txt", hash.Value()));
    return close;
  }

  TempDir dir;
};

TEST_F(CloseFiles, ArchiveDueUnlessAFinishedEntryOfTheJobHoldsTheSelectionAsItIs) {
  const std::map<std::string, std::uint64_t> onDisk = {{"a.rar", 100}, {"b.rar", 7}};
  const auto size = [&onDisk](const RecordEntry& e) -> std::optional<std::uint64_t> {
    const auto found = onDisk.find(e.Archive);
    if (found == onDisk.end()) return std::nullopt;
    return found->second;
  };
  const struct {
    const char* name;
    std::vector<RecordEntry> entries;
    Fingerprint selected;
    bool due;
  } rows[] = {
      {"nothing selected, whatever was", {Finished("a.rar", kNow, 100)}, {}, false},
      {"the job's archive holds it", {Finished("a.rar", kNow, 100)}, kNow, false},
      {"one of several holds it",
       {Finished("b.rar", {1, 1}, 7), Finished("a.rar", kNow, 100)},
       kNow,
       false},
      {"a file more, or other times", {Finished("a.rar", kNow, 100)}, {0x1234, 3}, true},
      {"the same sum of other files", {Finished("a.rar", kNow, 100)}, {0x1235, 2}, true},
      {"its archive another size", {Finished("a.rar", kNow, 99)}, kNow, true},
      {"a file close to its scan, unchanged",
       {Finished("a.rar", kNow, 100, kJob, NearContent("near"))},
       kNow,
       false},
      {"a file close to a scan this one did not see whole",
       {Finished("a.rar", kNow, 100, kJob, NearContent("near"), kScan + 10 * kSecond)},
       kNow,
       true},
      {"a file close to its scan, changed within its stamp",
       {Finished("a.rar", kNow, 100, kJob, NearContent("neat"))},
       kNow,
       true},
  };
  for (const auto& row : rows) {
    FilesCloseToScan close = Scanned(CloseToScan(kScan));
    EXPECT_EQ(ArchiveDue(row.entries, kJob, row.selected, size, close), row.due) << row.name;
  }
}

// An entry's files close to its scan are known only where this scan kept
// every file that window could hold; else the safe side.
TEST(WhatLiesAtTheName, DecidesWhatTheRunMayDoThere) {
  const platform::NodeLookup missing{NodeKind::Missing};
  const platform::NodeLookup ours{NodeKind::PlainFile, 10, Ownership::Ours};
  const platform::NodeLookup groupWritable{NodeKind::PlainFile, 10, Ownership::OthersMayWrite};
  const platform::NodeLookup anothers{NodeKind::PlainFile, 10, Ownership::AnotherUsers};
  const platform::NodeLookup link{NodeKind::Link};
  const platform::NodeLookup directory{NodeKind::Other};
  const platform::NodeLookup unknown{NodeKind::Failed, 0, Ownership::Ours, "EIO"};
  const RecordEntry mine = Finished("a.rar", kNow, 10);
  const RecordEntry other = Finished("a.rar", kNow, 10, {"/home/", "*.*", ""});
  const struct {
    const char* name;
    const RecordEntry* entry;
    platform::NodeLookup node;
    bool ownersKept;
    AtArchiveName what;
  } rows[] = {
      {"made before the record", nullptr, ours, true, AtArchiveName::AddTo},
      {"group access leaves it ours", nullptr, groupWritable, true, AtArchiveName::AddTo},
      {"another job's", &other, ours, true, AtArchiveName::AnotherJobs},
      {"another user's", nullptr, anothers, true, AtArchiveName::NotOurs},
      {"another user's, where no owners are kept", nullptr, anothers, false, AtArchiveName::AddTo},
      {"a link", &mine, link, true, AtArchiveName::NotOurs},
      {"a directory", nullptr, directory, true, AtArchiveName::NotOurs},
      {"cannot be looked at", &mine, unknown, true, AtArchiveName::NotOurs},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(WhatLiesAtTheName(row.entry, row.node, kJob, row.ownersKept), row.what) << row.name;
  }
}

}  // namespace
}  // namespace stampbak
