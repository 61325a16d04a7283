#include "src/archiver_run.h"

#include "src/failures.h"

namespace stampbak {
namespace {

// How many names after the first to try when the list file's name is taken.
constexpr std::uint32_t kListNameTries = 100;

// The list file as WriteList sees it; remembers whether every byte arrived.
class ListFileStream final : public ByteStream {
 public:
  explicit ListFileStream(platform::WritableFile& file) : file_(file) {}

  std::size_t Write(const void* data, std::size_t count) override {
    const std::size_t written = file_.Write(data, count);
    if (written != count) complete_ = false;
    return written;
  }
  bool Complete() const { return complete_; }

 private:
  platform::WritableFile& file_;
  bool complete_ = true;
};

struct ListFile {
  std::string Name;
  std::unique_ptr<platform::WritableFile> File;
};

// The name lies in a shared directory and is easy to guess, so the file is
// only ever created new, never opened where someone may have planted one.
ListFile CreateListFile(const Run& run) {
  platform::System& system = run.system;
  std::string name;
  for (std::uint32_t attempt = 0; attempt < kListNameTries; ++attempt) {
    name = MakeTempListName(system.environment, system.clock, attempt);
    platform::FileCreation created = system.files.CreateNewFile(name);
    if (created.Status == platform::CreateStatus::Created) return {name, std::move(created.File)};
    if (created.Status != platform::CreateStatus::NameTaken) break;
  }
  throw EFCreateError("Cannot create file " + name);
}

// A truncated list would make a backup that silently lacks files.
void WriteListFile(const Run& run, const TBackupFile& root, ListFile& list) {
  ListFileStream stream(*list.File);
  root.WriteList(stream, "");
  const bool closed = list.File->Close();
  if (!stream.Complete() || !closed) {
    run.system.files.RemoveFile(list.Name);
    throw EWriteError("Cannot write file " + list.Name);
  }
}

}  // namespace

std::vector<std::string> ArchiverArguments(const std::string& archiveName,
                                           const std::string& listName) {
  return {"a", "-s", "-m5", "-md4096", "-tl", archiveName, "@" + listName};
}

bool RunArchiver(const Run& run, const TBackupFile& root, const std::string& srcDir,
                 const std::string& dstDir) {
  if (!run.settings.UseArchiver) return true;
  ListFile list = CreateListFile(run);
  WriteListFile(run, root, list);
  // The archiver runs in the source directory, so names relative to ours
  // would land the archive inside the source tree.
  platform::FileSystem& files = run.system.files;
  const std::string archive = files.AbsolutePath(dstDir.substr(0, dstDir.size() - 1)) + ".rar";
  const platform::ProcessOutcome outcome = run.system.processes.RunHidden(
      "rar", ArchiverArguments(archive, files.AbsolutePath(list.Name)), srcDir);
  if (!outcome.Started) {
    WriteReportLine(run.report, "CreateProcess failed with the following error: ", outcome.Code);
    return false;
  }
  files.RemoveFile(list.Name);
  if (outcome.Code != 0) {
    WriteReportLine(run.report, "Archiver failed with the following exit code: ", outcome.Code);
    return false;
  }
  return true;
}

}  // namespace stampbak
