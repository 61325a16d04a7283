#include "src/archive_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace stampbak {
namespace {

RecordEntry Entry(EntryState state, std::string archive, Job job) {
  RecordEntry entry;
  entry.State = state;
  entry.Archive = std::move(archive);
  entry.OfJob = std::move(job);
  if (state == EntryState::Finished) {
    entry.Size = 123456789012ULL;
    entry.Selected = {0xfedcba9876543210ULL, 60000};
    entry.ScanBegan = -5;
    entry.CloseToScan = {7, 1};
  }
  return entry;
}

bool Same(const RecordEntry& a, const RecordEntry& b) {
  return a.State == b.State && a.Archive == b.Archive && a.OfJob == b.OfJob && a.Size == b.Size &&
         a.Selected == b.Selected && a.ScanBegan == b.ScanBegan && a.CloseToScan == b.CloseToScan;
}

// Any byte a path or a mask list may hold comes back as it was.
TEST(Record, ReadsBackWhatItWrote) {
  const std::vector<RecordEntry> entries = {
      Entry(EntryState::Finished, "2026_12_08.rar", {"/data/my docs/", "*.txt;*.doc", ""}),
      Entry(EntryState::InProgress, "../dst.rar", {"/a\tb/%41/\r\n/", "100%;*", "\t"}),
      Entry(EntryState::Finished, "x.rar", {"C:\\Data\\", "*.*", "temp"}),
  };
  const std::string text = FormatRecord(entries);
  EXPECT_TRUE(text.starts_with("stampbak record 1\nfinished\t"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
  const auto read = ParseRecord(text);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_TRUE(Same((*read)[i], entries[i])) << i;
  EXPECT_EQ(ParseRecord("stampbak record 1\r\n")->size(), 0U);
}

// What is not a whole record of this version is no record: the run then
// archives, the safe side.
TEST(Record, RefusesWhatItCannotReadWhole) {
  const std::string whole =
      FormatRecord({Entry(EntryState::Finished, "a.rar", {"/src/", "*.*", ""})});
  std::string otherJob = whole;
  otherJob.replace(otherJob.find("/src/"), 5, "/srd/");
  const char* refused[] = {"", "stampbak record 2\n", "stampbak record 1"};
  for (const char* text : refused) EXPECT_FALSE(ParseRecord(text)) << text;
  const std::pair<const char*, std::string> damaged[] = {
      {"cut short", whole.substr(0, whole.size() - 1)},
      {"a line lost its end", whole.substr(0, whole.size() - 10) + "\n"},
      {"a job that does not match its name", otherJob},
      {"an unknown state", "stampbak record 1\ndone" + whole.substr(whole.find('\t', 20))},
      {"a bad escape", "stampbak record 1\nin-progress\t" + Job{"a", "b", "c"}.Id() +
                           "\t%4\t-\t-\t-\t-\ta\tb\tc\n"},
      {"a size that is no number",
       [&] {
         std::string text = whole;
         text.replace(text.find("\t123456789012\t"), 14, "\t12x\t");
         return text;
       }()},
  };
  for (const auto& [what, text] : damaged) EXPECT_FALSE(ParseRecord(text)) << what;
}

// The fingerprint must not depend on the order the scan met the files in,
// and must tell each thing it holds.
TEST(Fingerprint, TellsEveryPartAndNotTheOrder) {
  const std::uint64_t a = FileHash("a.txt", 10, 100, 200);
  const std::uint64_t b = FileHash("sub/b.txt", 20, 100, 200);
  Fingerprint ab;
  ab.Add(a);
  ab.Add(b);
  Fingerprint ba;
  ba.Add(b);
  ba.Add(a);
  EXPECT_EQ(ab, ba);
  EXPECT_NE(a, FileHash("a.txt", 11, 100, 200));
  EXPECT_NE(a, FileHash("a.txt", 10, 101, 200));
  EXPECT_NE(a, FileHash("a.txt", 10, 100, 201));
  EXPECT_NE(a, FileHash("b.txt", 10, 100, 200));
  EXPECT_NE(FileHash("ab", 0, 0, 0), FileHash("ba", 0, 0, 0));
}

// However the content arrives in pieces, the hash is the same; a byte
// changed, added or taken away changes it.
TEST(ContentHash, DependsOnTheBytesAloneNotHowTheyCame) {
  const std::string content = "The quick brown fox jumps over the lazy dog, 43 bytes.";
  ContentHash whole;
  whole.Add(content);
  for (std::size_t cut = 0; cut <= content.size(); ++cut) {
    for (std::size_t second = cut; second <= content.size(); second += 5) {
      ContentHash pieces;
      pieces.Add(content.substr(0, cut));
      pieces.Add(content.substr(cut, second - cut));
      pieces.Add(content.substr(second));
      EXPECT_EQ(pieces.Value(), whole.Value()) << cut << " " << second;
    }
  }
  const auto hashOf = [](const std::string& text) {
    ContentHash hash;
    hash.Add(text);
    return hash.Value();
  };
  EXPECT_NE(hashOf(content), hashOf(content + '\0'));
  EXPECT_NE(hashOf("12345678"), hashOf("12345679"));
  EXPECT_NE(hashOf("1234567"), hashOf(std::string("1234567\0", 8)));
  EXPECT_NE(hashOf(""), hashOf(std::string(1, '\0')));
}

}  // namespace
}  // namespace stampbak
