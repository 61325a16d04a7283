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

// The archiver runs in the source directory, so names relative to ours
// would put the archive inside the source tree.
std::string AbsoluteName(const std::string& name) {
  std::string absolute = platform::AbsolutePath(name);
  if (absolute.empty()) {
    throw EPathError("Cannot resolve " + name + " against a working directory that is gone");
  }
  return absolute;
}

std::vector<std::string> ArchiverArguments(const std::string& archiveName,
                                           const std::string& listName) {
  return {"a", "-s", "-m5", "-md4096", "-tl", archiveName, "@" + listName};
}

std::string NoBackup(const platform::ProcessOutcome& outcome) {
  return std::string("no backup was made: the archiver ") + kArchiver + " " + outcome.Reason;
}

// Sets a half-written archive aside under a name no later run counts. One
// this run began that cannot be set aside is removed, or else dated 1980;
// one that was there before holds the earlier backups and is never removed.
void SetAside(const Run& run, const std::string& archive, bool begunNow) {
  const std::string aside = archive + ".incomplete";
  const std::string reason = platform::RenameFile(archive, aside);
  if (reason.empty()) {
    Warn(run, "the incomplete archive is kept as " + aside + ", which no later run counts");
    return;
  }
  // Only an archive known to be missing needs nothing more.
  if (platform::LastWriteTime(archive).Status == platform::LookupStatus::Missing) return;
  const std::string why = "cannot set the incomplete archive " + archive + " aside: " + reason;
  if (!begunNow) {
    Warn(run, why + "; it is not removed (it was there before): do not trust it");
    return;
  }
  const std::string removal = platform::RemoveFile(archive);
  if (removal.empty()) {
    Warn(run, why + "; it is removed");
    return;
  }
  const bool dated = platform::SetLastWriteTime(archive, platform::EarliestMoment).empty();
  Warn(run, why + "; it is not removed (" + removal + ")" +
                (dated ? ", but dated 1980, so that no later run counts it" : ": do not trust it"));
}

// A half-written archive would pass for the last backup: its time is when
// the archiver stopped. One that was there before gets back its time from
// before the run, so that the next run archives again; any other is set
// aside. A look-up that failed before the run does not pass for "missing".
void DistrustIncompleteArchive(const Run& run, const std::string& archive,
                               const platform::FileTimeLookup& before) {
  const bool existed = before.Status == platform::LookupStatus::Found;
  if (existed) {
    const std::string dating = platform::SetLastWriteTime(archive, before.Written);
    if (dating.empty()) {
      Warn(run, "the archive " + archive + " was there before this run and is left as it is, " +
                    "with its time from before; it may be incomplete");
      return;
    }
    Warn(run, "cannot set the time of the incomplete archive " + archive + " back: " + dating);
  }
  SetAside(run, archive, !existed);
}

// The archive's own time is the memory the next run compares against.
void DateArchive(const Run& run, const std::string& archive, platform::ChangeMoment moment) {
  const std::string reason = platform::SetLastWriteTime(archive, moment);
  if (!reason.empty()) {
    Warn(run,
         "cannot date the archive " + archive + ": " + reason + "; the next run archives again");
  }
}

}  // namespace

BackupOutcome RunArchiver(const Run& run, const TBackupFile& root,
                          const platform::DirectoryLock* lock, platform::ChangeMoment moment) {
  const std::string archive = AbsoluteName(ArchiveNamedAfter(run.settings.DstDir));
  const std::unique_ptr<ListFile> list = CreateListFile(run);
  WriteListFile(root, *list);
  EndIfAsked();
  const platform::FileTimeLookup before = platform::LastWriteTime(archive);
  const platform::ProcessOutcome outcome = platform::RunHidden(
      run.start, kArchiver, ArchiverArguments(archive, AbsoluteName(list->Name)),
      run.settings.SrcDir, lock);
  if (!outcome.Started) {
    list->Keep();
    WriteReportLine(run.report, "CreateProcess failed with the following error: ", outcome.Code);
    Warn(run, NoBackup(outcome) + "; the list file " + list->Name + " is kept");
    return BackupOutcome::NotMade;
  }
  if (!outcome.Interruption.empty()) {
    Warn(run, "ended by " + outcome.Interruption +
                  ", which was passed on to the archiver; no backup was made");
  } else if (outcome.Code != 0) {
    WriteReportLine(run.report, "Archiver failed with the following exit code: ", outcome.Code);
    Warn(run, NoBackup(outcome));
  } else {
    DateArchive(run, archive, moment);
    return BackupOutcome::Done;
  }
  DistrustIncompleteArchive(run, archive, before);
  return BackupOutcome::NotMade;
}

}  // namespace stampbak
