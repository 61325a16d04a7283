#pragma once

#include <string>
#include <vector>

#include "tests/report_header.h"
#include "tests/temp_dir.h"

namespace stampbak::testing {

struct Outcome {
  int status = -1;
  std::string out;  // standard output, byte for byte
  std::string err;  // standard error
};

// Runs a shell command in the given directory, with standard output to a
// file unless `redirect` says otherwise, and standard error to another.
Outcome RunInShell(const TempDir& cwd, const std::string& command,
                   const std::string& redirect = "");

// Runs the built executable through /bin/sh in the given directory, the way
// a scheduler would: `prefix` goes before the program (variables, wrappers),
// `args` after it, both as shell text, and `redirect` replaces the
// redirection of standard output to a file when it is not empty.
Outcome RunStampbak(const TempDir& cwd, const std::string& args, const std::string& prefix = "",
                    const std::string& redirect = "");

// The lines of a text ended by CR LF, sorted: for runs whose listing order
// is not the point.
std::vector<std::string> SortedLines(const std::string& text);

// The text in single quotes for the shell.
std::string Quoted(const std::string& text);

}  // namespace stampbak::testing
