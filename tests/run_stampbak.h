#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/temp_dir.h"

// Runs the built executables as a scheduler would: real arguments through
// /bin/sh, standard output and error to files, the status checked.
namespace stampbak::testing {

struct Outcome {
  int status = -1;
  std::string out;  // standard output, byte for byte
  std::string err;  // standard error
};

// The six header lines of a run's report.
std::string ReportHeader(const std::string& src, const std::string& dst,
                         const std::string& include = "*.*", const std::string& exclude = "");

// The report of a whole run: the header, the scan lines, "All OK".
std::string Report(const std::string& src, const std::string& dst, const std::string& scan,
                   const std::string& include = "*.*", const std::string& exclude = "");

// A clock frozen at `when` ("2026-12-06 01:30:54", or "+10h" ahead of the
// real one) for the program, in UTC; the file system's times stay real.
std::string FrozenClock(const std::string& when);

// Waits until the file holds something, five seconds at most.
void WaitForFile(const std::filesystem::path& file);

// The lines of a text, sorted: the scan meets files in the file system's
// order, which is not the point.
std::string SortedLines(const std::string& text);

// A run of the native executable or of stampbak.exe under Wine, in a fresh
// directory, with the stand-in archiver on the program search path
// recording its calls. The native run's list file goes to "tmp" there;
// Wine's to one directory for all runs, which its registry names.
class NativeRun : public ::testing::Test {
 protected:
  void SetUp() override;
  virtual bool Windows() const { return false; }
  // A path written with "/" as this platform shows it.
  std::string P(std::string path) const;
  // Runs the program in `dir` through /bin/sh, standard error to a file,
  // then standard output to another unless `redirect` says otherwise.
  // `environment` is shell text just before the program (variables,
  // wrappers), `before` shell statements ahead of the whole command.
  Outcome Run(const std::string& args, const std::string& environment = "",
              const std::string& redirect = "", const std::string& before = "");
  // The command that starts the program, without its arguments.
  std::string Program() const;
  std::string Recorded(const std::string& what) const;
  int ArchiverRuns() const { return static_cast<int>(Recorded("calls").size() / 2); }

  TempDir dir;
  TempDir capture;  // of standard output and error
};

// The same cases for both executables.
class StampbakRun : public NativeRun, public ::testing::WithParamInterface<bool> {
 protected:
  bool Windows() const override { return GetParam(); }
};

}  // namespace stampbak::testing
