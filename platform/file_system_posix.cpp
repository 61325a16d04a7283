#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/file_system.h"
#include "platform/file_time_posix.h"

namespace platform {

const char PathDelimiter = '/';

namespace {

LookupStatus StatusOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return LookupStatus::Missing;
    case ENAMETOOLONG:
      return LookupStatus::NameTooLong;
    case ENOMEM:
      return LookupStatus::OutOfMemory;
    default:
      return LookupStatus::Failed;
  }
}

DosDateTime PackLocal(const timespec& utc) {
  std::tm tm{};
  if (localtime_r(&utc.tv_sec, &tm) == nullptr) {
    return utc.tv_sec < 0 ? kEarliestDosDateTime : kLatestDosDateTime;
  }
  return PackDosDateTime(LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                                   tm.tm_hour, tm.tm_min, tm.tm_sec});
}

}  // namespace

FileTimeLookup FileTimeAt(int directoryFd, const char* name) {
  struct stat st {};
  if (fstatat(directoryFd, name, &st, 0) != 0) {
    const int error = errno;
    return {StatusOf(error), 0, std::strerror(error)};
  }
  if (S_ISDIR(st.st_mode)) return {LookupStatus::Directory, 0, "is a directory"};
  return {LookupStatus::Found, PackLocal(st.st_mtim), ""};
}

namespace {

class PosixFileSystem final : public FileSystem {
 public:
  bool IsDirectory(const std::string& path) override {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  void CreateDirectory(const std::string& path) override {
    mkdir(path.c_str(), 0777);
  }

  FileTimeLookup LastWriteTime(const std::string& path) override {
    return FileTimeAt(AT_FDCWD, path.c_str());
  }
};

}  // namespace

FileSystem& SystemFileSystem() {
  static PosixFileSystem files;
  return files;
}

}  // namespace platform
