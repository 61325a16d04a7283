#include "tests/run_stampbak.h"

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace stampbak::testing {
namespace {

namespace fs = std::filesystem;

const std::string kWindowsBuild = WINDOWS_BUILD_DIR;

// The Windows form of a Unix path, as Wine maps the root to drive Z:.
std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

std::string Wine() {
  return "WINEPREFIX=" + Quoted(kWindowsBuild + "/wineprefix") + " WINEDEBUG=-all wine";
}

// Wine takes TEMP from its registry: one directory, with a blank in its
// name, for the whole suite.
std::string WineTemp() { return kWindowsBuild + "/wine tmp"; }

bool WineReady() {
  static const bool ready = [] {
    if (kWindowsBuild.empty() || !fs::exists(kWindowsBuild + "/stampbak.exe")) return false;
    fs::create_directories(WineTemp());
    const std::string setup = Wine() + " reg add 'HKCU\\Environment' /v TEMP /t REG_SZ /d " +
                              Quoted(WindowsPath(WineTemp())) + " /f > /dev/null 2>&1";
    // Two test processes starting Wine's server at once may fail the
    // first call, now and then: asked again, it answers.
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (std::system(setup.c_str()) == 0) return true;
    }
    return false;
  }();
  return ready;
}

}  // namespace

std::string ReportHeader(const std::string& src, const std::string& dst, const std::string& include,
                         const std::string& exclude) {
  return "SrcDir = " + src + "\r\nDstDir = " + dst + "\r\nIncludeMask = " + include +
         "\r\nExcludeMask = " + exclude + "\r\n\r\nnow processing...\r\n";
}

std::string Report(const std::string& src, const std::string& dst, const std::string& scan,
                   const std::string& include, const std::string& exclude) {
  return ReportHeader(src, dst, include, exclude) + scan + "All OK\r\n";
}

std::string FrozenClock(const std::string& when) {
  return "TZ=UTC NO_FAKE_STAT=1 ASAN_OPTIONS=verify_asan_link_order=0 faketime -f '" + when + "'";
}

void WaitForFile(const std::filesystem::path& file) {
  for (int i = 0; i < 250 && ReadFile(file).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t from = 0, end; from < text.size(); from = end + 1) {
    end = std::min(text.find('\n', from), text.size() - 1);
    lines.push_back(text.substr(from, end + 1 - from));
  }
  std::sort(lines.begin(), lines.end());
  std::string sorted;
  for (const std::string& line : lines) sorted += line;
  return sorted;
}

void NativeRun::SetUp() {
  if (Windows() && !WineReady()) {
    if (std::getenv("STAMPBAK_REQUIRE_WINDOWS") != nullptr) FAIL() << "no Windows build";
    GTEST_SKIP() << "no Windows build";
  }
  fs::create_directory(dir.path() / "tmp");
}

std::string NativeRun::P(std::string path) const {
  if (Windows()) std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string NativeRun::Program() const {
  if (Windows()) return Wine() + " " + Quoted(kWindowsBuild + "/stampbak.exe");
  return Quoted(STAMPBAK_EXE);
}

Outcome NativeRun::Run(const std::string& args, const std::string& environment,
                       const std::string& redirect, const std::string& before) {
  const std::string archiver =
      Windows() ? "WINEPATH=" + Quoted(WindowsPath(kWindowsBuild + "/stand-in"))
                : "PATH=" + Quoted(STAND_IN_DIR) + ":\"$PATH\" TEMP=" + Quoted(dir / "tmp");
  const std::string out = capture / "out";
  const std::string err = capture / "err";
  // The caller's variables come after ours, so that they win; standard
  // error is redirected first, so that the redirection given may take it.
  const std::string line = "cd " + Quoted(dir.path().string()) + " && " + before + " " + archiver +
                           " STAND_IN_RAR_RECORD=" + Quoted(dir / "record") + " " + environment +
                           " " + Program() + " " + args + " 2> " + Quoted(err) + " " +
                           (redirect.empty() ? "> " + Quoted(out) : redirect);
  fs::remove(out);
  fs::remove(err);
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
}

std::string NativeRun::Recorded(const std::string& what) const {
  return ReadFile(dir.path() / "record" / what);
}

}  // namespace stampbak::testing
