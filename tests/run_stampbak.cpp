#include "tests/run_stampbak.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

namespace stampbak::testing {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> sorted;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find("\r\n", start);
    sorted.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

Outcome RunInShell(const TempDir& cwd, const std::string& command, const std::string& redirect) {
  TempDir capture;
  const std::string out = capture / "out";
  const std::string err = capture / "err";
  // Standard error first, so that the redirection given may take it too.
  const std::string line = "cd " + Quoted(cwd.path().string()) + " && " + command + " 2> " +
                           Quoted(err) + " " + (redirect.empty() ? "> " + Quoted(out) : redirect);
  const int raw = std::system(line.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = ReadFile(out);
  outcome.err = ReadFile(err);
  return outcome;
}

Outcome RunStampbak(const TempDir& cwd, const std::string& args, const std::string& prefix,
                    const std::string& redirect) {
  return RunInShell(cwd, prefix + " " + Quoted(STAMPBAK_EXE) + " " + args, redirect);
}

}  // namespace stampbak::testing
