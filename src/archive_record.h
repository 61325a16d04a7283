#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace stampbak {

// What a job selected, as one value the scan's order does not change: the
// sum of a hash of each file's relative name, size and two times.
struct Fingerprint {
  std::uint64_t Sum = 0;
  std::uint64_t Files = 0;
  void Add(std::uint64_t hash) {
    Sum += hash;
    ++Files;
  }
  bool operator==(const Fingerprint&) const = default;
};

// One selected file as the fingerprint sees it.
std::uint64_t FileHash(std::string_view relativeName, std::uint64_t size,
                       platform::ChangeMoment written, platform::ChangeMoment changed);
// A file's content, piece by piece.
class ContentHash {
 public:
  void Add(std::string_view piece);
  std::uint64_t Value() const;

 private:
  std::uint64_t state_ = 0x6a09e667f3bcc908ULL;
  std::uint64_t length_ = 0;
  std::string tail_;  // fewer than eight bytes not yet taken in
};
// A file's relative name with its content hash, for an order-free sum.
std::uint64_t NamedContentHash(std::string_view relativeName, std::uint64_t content);

// A job: which tree, and which of its names, a run archives.
struct Job {
  std::string Source;  // resolved, every link in it followed
  std::string Include;
  std::string Exclude;
  // A short name of the job, the same for the same three texts.
  std::string Id() const;
  bool operator==(const Job&) const = default;
};

enum class EntryState { InProgress, Finished };

// One archive a run of a job began or finished.
struct RecordEntry {
  EntryState State = EntryState::InProgress;
  // The archive's name in the destination; the unstamped one beside it
  // starts with ".." and the separator.
  std::string Archive;
  Job OfJob;
  // The rest only when Finished.
  std::uint64_t Size = 0;
  Fingerprint Selected;
  platform::ChangeMoment ScanBegan = 0;
  // The files whose times lay too close to the scan's start to tell a
  // later change by: how many, and their names and content as one value.
  Fingerprint CloseToScan;
};

// The record's file name in the destination.
extern const char kRecordName[];
// What an archive that never finished is renamed with, then ".2", ".3"...
extern const char kSetAsideSuffix[];

// The record as text: a version line, then one line an entry.
std::string FormatRecord(const std::vector<RecordEntry>& entries);
// The entries of a record's text; none when it is not one we can read.
std::optional<std::vector<RecordEntry>> ParseRecord(std::string_view text);

}  // namespace stampbak
