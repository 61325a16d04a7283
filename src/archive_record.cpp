#include "src/archive_record.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace stampbak {

const char kRecordName[] = "stampbak.record";
const char kSetAsideSuffix[] = ".incomplete";

namespace {

constexpr char kVersionLine[] = "stampbak record 1";
constexpr char kInProgress[] = "in-progress";
constexpr char kFinished[] = "finished";

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// Takes in the whole eight-byte words of `bytes`, leaving the rest there.
std::uint64_t MixWords(std::uint64_t state, std::string_view& bytes) {
  for (; bytes.size() >= 8; bytes.remove_prefix(8)) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data(), 8);
    state = Mix(state ^ word);
  }
  return state;
}

// The last word, fewer than eight bytes, zero-padded.
std::uint64_t LastWord(std::string_view bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes.data(), bytes.size());
  return word;
}

// Eight bytes at a time: every selected file's name goes through it.
std::uint64_t NameHash(std::string_view name) {
  const std::uint64_t h = MixWords(Mix(0x9e3779b97f4a7c15ULL ^ name.size()), name);
  return Mix(h ^ LastWord(name));
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Text fields may hold any byte but the ones that separate fields and lines.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    unsigned value = 0;
    if (i + 3 > text.size()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
    if (error != std::errc() || end != text.data() + i + 3) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

template <typename T>
bool Number(std::string_view text, T& value, int base = 10) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "SUM:FILES", both in hex.
std::string FormatFingerprint(const Fingerprint& fingerprint) {
  return Hex(fingerprint.Sum) + ":" + Hex(fingerprint.Files);
}

bool ParseFingerprint(std::string_view text, Fingerprint& fingerprint) {
  const std::size_t colon = text.find(':');
  return colon != std::string_view::npos && Number(text.substr(0, colon), fingerprint.Sum, 16) &&
         Number(text.substr(colon + 1), fingerprint.Files, 16);
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

// STATE JOB-ID ARCHIVE SIZE FINGERPRINT SCAN-BEGAN CLOSE-TO-SCAN SOURCE INCLUDE EXCLUDE
constexpr std::size_t kFields = 10;

std::optional<RecordEntry> ParseEntry(std::string_view line) {
  const std::vector<std::string_view> f = Fields(line);
  if (f.size() != kFields) return std::nullopt;
  RecordEntry entry;
  if (f[0] == kFinished) {
    entry.State = EntryState::Finished;
    if (!Number(f[3], entry.Size) || !ParseFingerprint(f[4], entry.Selected) ||
        !Number(f[5], entry.ScanBegan) || !ParseFingerprint(f[6], entry.CloseToScan)) {
      return std::nullopt;
    }
  } else if (f[0] != kInProgress) {
    return std::nullopt;
  }
  const auto archive = Unescaped(f[2]);
  const auto source = Unescaped(f[7]);
  const auto include = Unescaped(f[8]);
  const auto exclude = Unescaped(f[9]);
  if (!archive || archive->empty() || !source || !include || !exclude) return std::nullopt;
  entry.Archive = *archive;
  entry.OfJob = {*source, *include, *exclude};
  if (f[1] != entry.OfJob.Id()) return std::nullopt;
  return entry;
}

std::string FormatEntry(const RecordEntry& entry) {
  const bool finished = entry.State == EntryState::Finished;
  std::string line = finished ? kFinished : kInProgress;
  for (const std::string& field :
       {entry.OfJob.Id(), Escaped(entry.Archive), finished ? std::to_string(entry.Size) : "-",
        finished ? FormatFingerprint(entry.Selected) : "-",
        finished ? std::to_string(entry.ScanBegan) : "-",
        finished ? FormatFingerprint(entry.CloseToScan) : "-", Escaped(entry.OfJob.Source),
        Escaped(entry.OfJob.Include), Escaped(entry.OfJob.Exclude)}) {
    line += '\t';
    line += field;
  }
  return line + "\n";
}

}  // namespace

std::uint64_t FileHash(std::string_view relativeName, std::uint64_t size,
                       platform::ChangeMoment written, platform::ChangeMoment changed) {
  std::uint64_t h = Mix(NameHash(relativeName) ^ size);
  h = Mix(h ^ static_cast<std::uint64_t>(written));
  return Mix(h ^ static_cast<std::uint64_t>(changed));
}

// Eight bytes at a time, for the few files read whole.
void ContentHash::Add(std::string_view piece) {
  length_ += piece.size();
  if (!tail_.empty()) {
    const std::size_t take = std::min(piece.size(), 8 - tail_.size());
    tail_.append(piece.substr(0, take));
    piece.remove_prefix(take);
    if (tail_.size() < 8) return;
    std::string_view word = tail_;
    state_ = MixWords(state_, word);
    tail_.clear();
  }
  state_ = MixWords(state_, piece);
  tail_.assign(piece);
}

std::uint64_t ContentHash::Value() const { return Mix(Mix(state_ ^ LastWord(tail_)) ^ length_); }

std::uint64_t NamedContentHash(std::string_view relativeName, std::uint64_t content) {
  return Mix(NameHash(relativeName) ^ Mix(content));
}

std::string Job::Id() const {
  return Hex(Mix(NameHash(Source) ^ Mix(NameHash(Include) ^ Mix(NameHash(Exclude)))));
}

std::string FormatRecord(const std::vector<RecordEntry>& entries) {
  std::string text = std::string(kVersionLine) + "\n";
  for (const RecordEntry& entry : entries) text += FormatEntry(entry);
  return text;
}

std::optional<std::vector<RecordEntry>> ParseRecord(std::string_view text) {
  std::vector<RecordEntry> entries;
  bool first = true;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;  // cut short
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (first) {
      if (line != kVersionLine) return std::nullopt;
      first = false;
      continue;
    }
    std::optional<RecordEntry> entry = ParseEntry(line);
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
  }
  if (first) return std::nullopt;
  return entries;
}

}  // namespace stampbak
