// A stand-in for the command-line archiver, for the Linux and the Windows
// end-to-end tests alike, doing what stampbak relies on:
//   rar a -s -m5 -md4096 -tl ARCHIVE @LIST
// It reads the CR LF list (paths relative to the working directory), adds
// each file's name and bytes to ARCHIVE, and gives ARCHIVE the last-write
// time of its newest member. It talks on standard output and error like
// the real one. Controlled by the environment:
//   STAND_IN_RAR_RECORD  a directory to record the call in
//   STAND_IN_RAR_SLEEP   seconds to wait before packing
//   STAND_IN_RAR_EXIT    an exit code to fail with, after recording and
//                        writing half an archive; -N for the signal N
//   STAND_IN_RAR_FIFO    a FIFO to wait on, after writing half an archive,
//                        until something is written to it
//   STAND_IN_RAR_NO_ARCHIVE  succeed without making the archive
// Like the real one, it ends with 10 when the list names no file.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& content,
              std::ios::openmode mode = std::ios::trunc) {
  std::ofstream(path, std::ios::binary | mode) << content;
}

#ifdef _WIN32
void RecordPlatform(const fs::path& /*dir*/, const char* /*list*/) {}
#else
// What the process was handed: descriptors, ignored signals, priority,
// and the list file's mode.
void RecordPlatform(const fs::path& dir, const char* list) {
  struct stat st {};
  if (stat(list, &st) == 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
    WriteAll(dir / "listmode", mode);
  }
  std::vector<std::string> fds;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = fs::read_symlink(entry.path(), error).string();
    // The listing's own descriptor is ours, not handed over.
    if (!target.starts_with("/proc/"))
      fds.push_back(entry.path().filename().string() + " -> " + target + "\n");
  }
  std::sort(fds.begin(), fds.end());
  std::string all;
  for (const std::string& fd : fds) all += fd;
  WriteAll(dir / "fds", all);
  const std::string status = ReadAll("/proc/self/status");
  const std::size_t sigIgn = status.find("SigIgn:");
  WriteAll(dir / "sigign", status.substr(sigIgn, status.find('\n', sigIgn) - sigIgn));
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  WriteAll(dir / "nofile", std::to_string(files.rlim_cur));
  WriteAll(dir / "policy", std::to_string(sched_getscheduler(0)));
  WriteAll(dir / "nice", std::to_string(getpriority(PRIO_PROCESS, 0)));
  WriteAll(dir / "pid", std::to_string(getpid()));
  WriteAll(dir / "ppid", std::to_string(getppid()));
}
#endif

void Record(const fs::path& dir, int argc, char** argv, const std::string& list) {
  const char* listName = argv[7] + 1;
  fs::create_directories(dir);
  std::string args;
  for (int i = 1; i < argc; ++i) args += std::string(argv[i]) + "\n";
  WriteAll(dir / "args", args);
  WriteAll(dir / "cwd", fs::current_path().string());
  WriteAll(dir / "list", list);
  WriteAll(dir / "calls", "x\n", std::ios::app);
  RecordPlatform(dir, listName);
}

std::vector<std::string> ListedNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t end; (end = list.find("\r\n", start)) != std::string::npos; start = end + 2) {
    names.push_back(list.substr(start, end - start));
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8 || argv[7][0] != '@') return 9;
  std::printf("stand-in rar: packing %s\n", argv[6]);
  const std::string list = ReadAll(argv[7] + 1);
  if (const char* record = std::getenv("STAND_IN_RAR_RECORD")) Record(record, argc, argv, list);
  if (const char* sleep = std::getenv("STAND_IN_RAR_SLEEP")) {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(sleep)));
  }
  if (ListedNames(list).empty()) return 10;
  if (std::getenv("STAND_IN_RAR_NO_ARCHIVE") != nullptr) return 0;
  if (const char* fifo = std::getenv("STAND_IN_RAR_FIFO")) {
    WriteAll(argv[6], "half", std::ios::app);
    ReadAll(fifo);
  }
  if (const char* exit = std::getenv("STAND_IN_RAR_EXIT")) {
    WriteAll(argv[6], "half", std::ios::app);
    // A negative code: killed by that signal instead.
    if (std::atoi(exit) < 0) std::raise(-std::atoi(exit));
    return std::atoi(exit);
  }
  const fs::path archive = argv[6];
  std::string packed;
  fs::file_time_type newest = fs::file_time_type::min();
  for (const std::string& name : ListedNames(list)) {
    packed += name + "\n" + ReadAll(name) + "\n";
    newest = std::max(newest, fs::last_write_time(name));
  }
  // The real one ends with 9 when it cannot create the archive.
  if (!(std::ofstream(archive, std::ios::binary | std::ios::app) << packed)) return 9;
  if (newest != fs::file_time_type::min()) fs::last_write_time(archive, newest);
  std::fprintf(stderr, "stand-in rar: done\n");
  return 0;
}
