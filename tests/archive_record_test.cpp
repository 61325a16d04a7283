#include "src/archive_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace stampbak {
namespace {

RecordEntry Entry(EntryState state, std::string archive, Job job) {
  if (state == EntryState::InProgress) return {state, std::move(archive), std::move(job)};
  return {state,
          std::move(archive),
          std::move(job),
          123456789012ULL,
          {0xfedcba9876543210ULL, 60000},
          -5,
          {7, 1}};
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
  Fingerprint ba;
  for (const std::uint64_t hash : {a, b}) ab.Add(hash);
  for (const std::uint64_t hash : {b, a}) ba.Add(hash);
  EXPECT_EQ(ab, ba);
  for (const std::uint64_t other :
       {FileHash("a.txt", 11, 100, 200), FileHash("a.txt", 10, 101, 200),
        FileHash("a.txt", 10, 100, 201), FileHash("b.txt", 10, 100, 200)}) {
    EXPECT_NE(a, other);
  }
  EXPECT_NE(FileHash("ab", 0, 0, 0), FileHash("ba", 0, 0, 0));
}

// However the content arrives in pieces, the hash is the same; a byte
// changed, added or taken away changes it.
TEST(ContentHash, DependsOnTheBytesAloneNotHowTheyCame) {
  const std::string content = "The quick brown fox jumps over the lazy dog, 43 bytes.";
  ContentHash whole;
  whole.Add(content);
  ContentHash pieces;
  for (std::size_t at = 0; at < content.size(); at += 3) pieces.Add(content.substr(at, 3));
  EXPECT_EQ(pieces.Value(), whole.Value());
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
