#include "src/archiver_run.h"

#include <new>

#include "src/failures.h"

namespace stampbak {
namespace {

constexpr char kArchiver[] = "rar";

// How many names to try in all when the list file's name is taken.
constexpr std::uint32_t kListNameTries = 100;

// The list file as WriteList sees it, written in large loads; remembers
// whether every byte arrived.
class ListFileStream {
 public:
  explicit ListFileStream(platform::WritableFile& file) : file_(file) {}

  void Write(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kLoad) Flush();
    buffer_.append(bytes);
  }
  // Writes out the rest; false when any byte did not arrive.
  bool Finish() {
    Flush();
    return complete_;
  }

 private:
  static constexpr std::size_t kLoad = 65536;

  void Flush() {
    if (file_.Write(buffer_.data(), buffer_.size()) != buffer_.size()) complete_ = false;
    buffer_.clear();
  }

  platform::WritableFile& file_;
  std::string buffer_;
  bool complete_ = true;
};

// A list left behind in the temporary directory would tell anyone who can
// read it which files we back up, and pile up night after night.
void Remove(const Run& run, const std::string& name) noexcept {
  try {
    const std::string reason = platform::RemoveFile(name);
    if (!reason.empty()) Warn(run, "cannot remove the list file " + name + ": " + reason);
  } catch (const std::bad_alloc&) {
    // Memory ran out while saying so; the run's end will say that instead.
  }
}

// The list file from its creation on. It is removed when it goes, however
// the run goes on from here, unless the archiver could not be started: the
// operator may then want to see what it would have packed.
class ListFile {
 public:
  ListFile(const Run& run, std::string name, std::unique_ptr<platform::WritableFile> file)
      : Name(std::move(name)), File(std::move(file)), run_(run) {}
  ~ListFile() {
    File.reset();
    if (!kept_) Remove(run_, Name);
  }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  void Keep() { kept_ = true; }

  const std::string Name;
  std::unique_ptr<platform::WritableFile> File;

 private:
  const Run& run_;
  bool kept_ = false;
};

// Another user who can rename in the temporary directory could put a list
// of his own in place of ours before the archiver reads it.
void RefuseSharedTempDirectory(const Run& run, const std::string& name) {
  const std::string directory = DirectoryOf(name);
  const std::string risk = platform::SharedDirectoryRisk(directory);
  if (risk.empty()) return;
  Warn(run, "the temporary directory " + directory + " is not safe for the list file: " + risk);
  throw EFCreateError("Cannot create file " + name, risk);
}

// The name lies in a shared directory, so the file is only ever created
// new, never opened where someone may have planted one. The first name is
// the tick count; names taken after it are tried at random numbers, which
// nobody can plant ahead of us.
std::unique_ptr<ListFile> CreateListFile(const Run& run) {
  std::string name = MakeTempListName();
  RefuseSharedTempDirectory(run, name);
  for (std::uint32_t attempt = 1;; ++attempt) {
    platform::FileCreation created = platform::CreateNewFile(name);
    if (created.Status == platform::CreateStatus::Created) {
      try {
        return std::make_unique<ListFile>(run, name, std::move(created.File));
      } catch (const std::bad_alloc&) {
        Remove(run, name);
        throw;
      }
    }
    if (created.Status != platform::CreateStatus::NameTaken) {
      throw EFCreateError("Cannot create file " + name, created.Reason);
    }
    if (attempt == kListNameTries) {
      throw EFCreateError("Cannot create file " + name, "every name tried was taken");
    }
    EndIfAsked();
    const std::string next = MakeTempListName(attempt);
    if (next.empty()) {
      throw EFCreateError("Cannot create file " + name,
                          "the name was taken and the system gave no random number for another");
    }
    name = next;
  }
}

// A truncated list would make a backup that silently lacks files.
void WriteListFile(const TBackupFile& root, ListFile& list) {
  ListFileStream stream(*list.File);
  root.WriteList([&stream](std::string_view bytes) { stream.Write(bytes); }, "");
  if (!stream.Finish() || !list.File->Close()) {
    throw EWriteError("Cannot write file " + list.Name, list.File->Failure());
  }
}

}  // namespace

std::string AbsoluteName(const std::string& name) {
  std::string absolute = platform::AbsolutePath(name);
  if (absolute.empty()) {
    throw EPathError("Cannot resolve " + name + " against a working directory that is gone");
  }
  return absolute;
}

namespace {

std::vector<std::string> ArchiverArguments(const std::string& archiveName,
                                           const std::string& listName) {
  return {"a", "-s", "-m5", "-md4096", "-tl", archiveName, "@" + listName};
}

std::string NoBackup(const platform::ProcessOutcome& outcome) {
  return std::string("no backup was made: the archiver ") + kArchiver + " " + outcome.Reason;
}

}  // namespace

ArchiverResult RunArchiver(const Run& run, const TBackupFile& root,
                           const platform::DirectoryLock* lock, const std::string& archive) {
  const std::unique_ptr<ListFile> list = CreateListFile(run);
  WriteListFile(root, *list);
  EndIfAsked();
  const platform::ProcessOutcome outcome = platform::RunHidden(
      run.start, kArchiver, ArchiverArguments(archive, AbsoluteName(list->Name)),
      run.settings.SrcDir, lock);
  if (!outcome.Started) {
    list->Keep();
    WriteReportLine(run.report, "CreateProcess failed with the following error: ", outcome.Code);
    Warn(run, NoBackup(outcome) + "; the list file " + list->Name + " is kept");
    return ArchiverResult::NotStarted;
  }
  if (!outcome.Interruption.empty()) {
    Warn(run, "ended by " + outcome.Interruption +
                  ", which was passed on to the archiver; no backup was made");
    return ArchiverResult::Failed;
  }
  if (outcome.Code != 0) {
    WriteReportLine(run.report, "Archiver failed with the following exit code: ", outcome.Code);
    Warn(run, NoBackup(outcome));
    return ArchiverResult::Failed;
  }
  return ArchiverResult::Packed;
}

}  // namespace stampbak
