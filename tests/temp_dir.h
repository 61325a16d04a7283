#pragma once

#include <filesystem>
#include <string>

namespace stampbak::testing {

// A fresh directory below the system's temporary directory, removed with
// everything in it when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of a name inside, as a string.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Creates a file with the given content, and its parents.
void WriteFile(const std::filesystem::path& path, const std::string& content = "");
std::string ReadFile(const std::filesystem::path& path);

// The text in single quotes for the shell.
std::string Quoted(const std::string& text);

// Gives a file the last-write time that reads as the given local time,
// "YYYY-MM-DD hh:mm:ss".
void SetLocalWriteTime(const std::filesystem::path& path, const std::string& when);

}  // namespace stampbak::testing
