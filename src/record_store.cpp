#include "src/record_store.h"

namespace stampbak {
namespace {

// A record that large is none of ours: some ten years of nightly archives
// fit in a megabyte.
constexpr std::size_t kLargestRecord = 64u << 20;
constexpr std::uint32_t kNameTries = 20;

std::string Untrusted(const std::string& path, const std::string& why) {
  return "the record " + path + " " + why + "; it is not trusted, and this run archives";
}

}  // namespace

RecordStore::RecordStore(const Run& run)
    : run_(run), path_(run.settings.BaseDstDir + kRecordName) {}

std::vector<RecordEntry> RecordStore::Load() {
  using platform::NodeKind;
  const platform::PlainFileRead read = platform::ReadPlainFile(path_, kLargestRecord);
  switch (read.Node.Kind) {
    case NodeKind::Missing: return {};
    case NodeKind::Link: Warn(run_, Untrusted(path_, "is a link")); return {};
    case NodeKind::Other: Warn(run_, Untrusted(path_, "is not a plain file")); return {};
    case NodeKind::Failed:
      Warn(run_,
           "cannot read the record " + path_ + ": " + read.Node.Reason + "; this run archives");
      return {};
    case NodeKind::PlainFile: break;
  }
  if (read.Node.Owner != platform::Ownership::Ours && OwnersKept()) {
    Warn(run_, Untrusted(path_, read.Node.Owner == platform::Ownership::AnotherUsers
                                    ? "belongs to another user"
                                    : "can be changed by others"));
    return {};
  }
  std::optional<std::vector<RecordEntry>> entries = ParseRecord(read.Content);
  if (!entries) {
    Warn(run_, Untrusted(path_, "is not one this version of stampbak reads"));
    return {};
  }
  onDisk_ = read.Content;
  return std::move(*entries);
}

std::string RecordStore::NewCopyName(std::uint32_t attempt) const {
  const std::optional<std::uint32_t> number =
      attempt == 0 ? platform::TickCount() : platform::RandomNumber();
  return number ? path_ + "." + std::to_string(*number) : "";
}

// Created new, never through a link planted at its name, and flushed
// before it takes the record's name.
std::string RecordStore::WriteNewCopy(const std::string& text, std::string& copy) {
  for (std::uint32_t attempt = 0; attempt < kNameTries; ++attempt) {
    copy = NewCopyName(attempt);
    if (copy.empty()) return "the system gave no random number for a name";
    platform::FileCreation created = platform::CreateNewFile(copy);
    if (created.Status == platform::CreateStatus::NameTaken) continue;
    if (created.Status == platform::CreateStatus::Failed) {
      copy.clear();
      return created.Reason;
    }
    platform::WritableFile& file = *created.File;
    if (file.Write(text.data(), text.size()) != text.size() || !file.Flush() || !file.Close()) {
      return file.Failure();
    }
    return "";
  }
  copy.clear();
  return "every name tried was taken";
}

std::string RecordStore::Save(const std::vector<RecordEntry>& entries) {
  const std::string text = FormatRecord(entries);
  // No record is made for nothing: it would be a change in the tree
  // around a destination inside another job's source.
  if (onDisk_ ? *onDisk_ == text : entries.empty()) return "";
  std::string copy;
  std::string failure = WriteNewCopy(text, copy);
  if (failure.empty()) failure = platform::RenameFile(copy, path_);
  if (failure.empty()) failure = platform::FlushDirectory(run_.settings.BaseDstDir);
  if (!failure.empty()) {
    if (!copy.empty()) platform::RemoveFile(copy);
    return failure;
  }
  onDisk_ = text;
  return "";
}

void RecordStore::WarnIfOthersMayWrite(const std::string& archive,
                                       const platform::NodeLookup& node) {
  if (warnedOthersMayWrite_ || node.Owner != platform::Ownership::OthersMayWrite) return;
  if (!OwnersKept()) return;  // said already, for the whole destination
  warnedOthersMayWrite_ = true;
  Warn(run_, "the archive " + archive +
                 " can be changed by others (its mode or access list lets them write); what it "
                 "holds is at their mercy");
}

bool RecordStore::OwnersKept() {
  if (ownersKept_) return *ownersKept_;
  ownersKept_ = true;
  std::string probe;
  if (WriteNewCopy("", probe).empty()) {
    ownersKept_ = platform::LookAt(probe).Owner == platform::Ownership::Ours;
  }
  if (!probe.empty()) platform::RemoveFile(probe);
  if (!*ownersKept_) {
    Warn(run_, "the destination " + run_.settings.BaseDstDir +
                   " keeps no owners or modes (a private file made there reads back as open to "
                   "others); its record and archives are trusted all the same, though anyone "
                   "who can write there could forge them");
  }
  return *ownersKept_;
}

}  // namespace stampbak
