#include "src/archiver_run.h"

#include "src/failures.h"

namespace stampbak {
namespace {

// How many names to try in all when the list file's name is taken.
constexpr std::uint32_t kListNameTries = 100;

// The list file as WriteList sees it, written in large loads; remembers
// whether every byte arrived.
class ListFileStream final : public ByteStream {
 public:
  explicit ListFileStream(platform::WritableFile& file) : file_(file) {}

  std::size_t Write(const void* data, std::size_t count) override {
    if (buffer_.size() + count > kLoad) Flush();
    buffer_.append(static_cast<const char*>(data), count);
    return count;
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

// The list file from its creation on. It is removed when it goes, however
// the run goes on from here, unless the archiver could not be started: the
// operator may then want to see what it would have packed.
class ListFile {
 public:
  ListFile(platform::FileSystem& files, std::string name,
           std::unique_ptr<platform::WritableFile> file)
      : Name(std::move(name)), File(std::move(file)), files_(files) {}
  ~ListFile() {
    File.reset();
    if (!kept_) files_.RemoveFile(Name);
  }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  void Keep() { kept_ = true; }

  const std::string Name;
  std::unique_ptr<platform::WritableFile> File;

 private:
  platform::FileSystem& files_;
  bool kept_ = false;
};

std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.rfind(platform::PathDelimiter) + 1);
}

// Another user who can rename in the temporary directory could put a list
// of his own in place of ours before the archiver reads it.
void RefuseSharedTempDirectory(const Run& run, const std::string& name) {
  const std::string directory = DirectoryOf(name);
  const std::string risk = run.system.files.SharedDirectoryRisk(directory);
  if (risk.empty()) return;
  Warn(run, "the temporary directory " + directory + " is not safe for the list file: " + risk);
  throw EFCreateError("Cannot create file " + name);
}

// The name lies in a shared directory, so the file is only ever created
// new, never opened where someone may have planted one. The first name is
// the tick count; names taken after it are tried at random numbers, which
// nobody can plant ahead of us.
std::unique_ptr<ListFile> CreateListFile(const Run& run) {
  platform::System& system = run.system;
  std::string name = MakeTempListName(system.environment, system.clock);
  RefuseSharedTempDirectory(run, name);
  for (std::uint32_t attempt = 1; attempt <= kListNameTries; ++attempt) {
    platform::FileCreation created = system.files.CreateNewFile(name);
    if (created.Status == platform::CreateStatus::Created) {
      return std::make_unique<ListFile>(system.files, name, std::move(created.File));
    }
    if (created.Status != platform::CreateStatus::NameTaken || attempt == kListNameTries) break;
    name = MakeTempListName(system.environment, system.clock, attempt);
  }
  throw EFCreateError("Cannot create file " + name);
}

// A truncated list would make a backup that silently lacks files.
void WriteListFile(const TBackupFile& root, ListFile& list) {
  ListFileStream stream(*list.File);
  root.WriteList(stream, "");
  if (!stream.Finish() || !list.File->Close()) {
    throw EWriteError("Cannot write file " + list.Name);
  }
}

// The archiver runs in the source directory, so names relative to ours
// would put the archive inside the source tree.
std::string AbsoluteName(const Run& run, const std::string& name) {
  std::string absolute = run.system.files.AbsolutePath(name);
  if (absolute.empty()) {
    throw EPathError("Cannot resolve " + name + " against a working directory that is gone");
  }
  return absolute;
}

std::vector<std::string> ArchiverArguments(const std::string& archiveName,
                                           const std::string& listName) {
  return {"a", "-s", "-m5", "-md4096", "-tl", archiveName, "@" + listName};
}

}  // namespace

BackupOutcome RunArchiver(const Run& run, const TBackupFile& root,
                          const platform::DirectoryLock* lock) {
  const std::string& dstDir = run.settings.DstDir;
  const std::string archive = AbsoluteName(run, dstDir.substr(0, dstDir.size() - 1)) + ".rar";
  const std::unique_ptr<ListFile> list = CreateListFile(run);
  WriteListFile(root, *list);
  const platform::ProcessOutcome outcome = run.system.processes.RunHidden(
      "rar", ArchiverArguments(archive, AbsoluteName(run, list->Name)), run.settings.SrcDir, lock);
  if (!outcome.Started) {
    list->Keep();
    WriteReportLine(run.report, "CreateProcess failed with the following error: ", outcome.Code);
    return BackupOutcome::NotMade;
  }
  if (!outcome.Interruption.empty()) {
    Warn(run, "ended by " + outcome.Interruption +
                  ", which was passed on to the archiver; no backup was made");
    return BackupOutcome::NotMade;
  }
  if (outcome.Code != 0) {
    WriteReportLine(run.report, "Archiver failed with the following exit code: ", outcome.Code);
    return BackupOutcome::NotMade;
  }
  return BackupOutcome::Done;
}

}  // namespace stampbak
