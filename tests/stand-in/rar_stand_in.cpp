// A stand-in for the command-line archiver on Windows, doing what stampbak
// relies on:  rar a -s -m5 -md4096 -tl ARCHIVE @LIST
// It reads the CR LF list (paths relative to the working directory), adds
// each file's name and bytes to ARCHIVE, and gives ARCHIVE the last-write
// time of its newest member. Controlled by the environment:
//   STAND_IN_RAR_RECORD  a directory to record the call in
//   STAND_IN_RAR_EXIT    an exit code to fail with, after recording
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& content,
              std::ios::openmode mode = std::ios::trunc) {
  std::ofstream(path, std::ios::binary | mode) << content;
}

std::vector<std::string> ListedNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t end; (end = list.find("\r\n", start)) != std::string::npos; start = end + 2) {
    names.push_back(list.substr(start, end - start));
  }
  return names;
}

void Record(const std::string& dir, int argc, char** argv, const std::string& list) {
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string args;
  for (int i = 1; i < argc; ++i) args += std::string(argv[i]) + "\n";
  WriteAll(dir + "/args", args);
  WriteAll(dir + "/command", GetCommandLineA());
  char cwd[MAX_PATH];
  WriteAll(dir + "/cwd", std::string(cwd, GetCurrentDirectoryA(MAX_PATH, cwd)));
  WriteAll(dir + "/list", list);
  WriteAll(dir + "/calls", "x\n", std::ios::app);
}

void SetNewestTime(const std::string& archive, const std::vector<std::string>& names) {
  FILETIME newest{};
  for (const std::string& name : names) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data) &&
        CompareFileTime(&data.ftLastWriteTime, &newest) > 0) {
      newest = data.ftLastWriteTime;
    }
  }
  const HANDLE file = CreateFileA(archive.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  SetFileTime(file, nullptr, nullptr, &newest);
  CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8 || argv[7][0] != '@') return 9;
  const std::string archive = argv[6];
  const std::string list = ReadAll(argv[7] + 1);
  if (const char* record = std::getenv("STAND_IN_RAR_RECORD")) {
    Record(record, argc, argv, list);
  }
  if (const char* exit = std::getenv("STAND_IN_RAR_EXIT")) return std::atoi(exit);
  const std::vector<std::string> names = ListedNames(list);
  std::string packed;
  for (const std::string& name : names) packed += name + "\n" + ReadAll(name) + "\n";
  WriteAll(archive, packed, std::ios::app);
  SetNewestTime(archive, names);
  return 0;
}
