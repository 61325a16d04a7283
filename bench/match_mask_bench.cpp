// Names per second for MatchMaskList next to glibc fnmatch doing the same
// job, and the cost of crafted names against many-star masks.
#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "src/uUtils.h"

namespace {

const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = [] {
    const char* stems[] = {"Report", "notes",  "IMG_",   "budget", "setup",   "readme",
                           "data",   "backup", "Thesis", "photo",  "invoice", "~draft"};
    const char* extensions[] = {".txt", ".doc", ".xls", ".JPG", ".pdf",  ".log", ".cpp",
                                ".h",   ".zip", ".tmp", ".csv", ".docx", ""};
    std::mt19937 random(7);
    std::vector<std::string> all;
    for (int i = 0; i < 10000; ++i) {
      std::string name = stems[random() % std::size(stems)];
      name += std::to_string(random() % 10000);
      name += extensions[random() % std::size(extensions)];
      all.push_back(name);
    }
    return all;
  }();
  return names;
}

const std::map<std::string, std::string> kLists = {
    {"all", "*.*"},
    {"three", "*.txt;*.doc;*.xls"},
    {"ten", "*.txt;*.doc;*.xls;report????.pdf;*backup*.zip;img_????*.jpg;*.c?p;~*;*.t?p;data*.csv"},
};

bool FnmatchList(const std::string& name, const std::string& list) {
  if (list.empty()) return false;
  if (list == "*.*") return true;
  std::string lowered = name;
  platform::LowerCaseInPlace(lowered.data(), lowered.size());
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(';', start);
    const std::string item = list.substr(start, end - start);
    if (!item.empty() && fnmatch(item.c_str(), lowered.c_str(), 0) == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

void MatchMaskListNames(benchmark::State& state, const std::string& list) {
  for (auto _ : state) {
    for (const std::string& name : Names()) {
      benchmark::DoNotOptimize(stampbak::MatchMaskList(name, list));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Names().size()));
}

// The scan's way: the list prepared once per run.
void PreparedNames(benchmark::State& state, const std::string& list) {
  const stampbak::PreparedMaskList prepared(list);
  for (auto _ : state) {
    for (const std::string& name : Names()) benchmark::DoNotOptimize(prepared.Matches(name));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Names().size()));
}

void FnmatchNames(benchmark::State& state, const std::string& list) {
  for (auto _ : state) {
    for (const std::string& name : Names()) {
      benchmark::DoNotOptimize(FnmatchList(name, list));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Names().size()));
}

void CraftedName(benchmark::State& state) {
  const std::string name(static_cast<std::size_t>(state.range(0)), 'a');
  std::string mask = "a";
  for (int i = 0; i < state.range(1); ++i) mask += "*a";
  mask += "b";
  for (auto _ : state) benchmark::DoNotOptimize(stampbak::MatchMask(name, mask));
}

// Keeps names per second of every run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> itemsPerSecond;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) itemsPerSecond[run.benchmark_name()] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (const auto& [label, list] : kLists) {
    benchmark::RegisterBenchmark(("MatchMaskList/" + label).c_str(), MatchMaskListNames, list);
    benchmark::RegisterBenchmark(("fnmatch/" + label).c_str(), FnmatchNames, list);
    benchmark::RegisterBenchmark(("Prepared/" + label).c_str(), PreparedNames, list);
  }
  benchmark::RegisterBenchmark("CraftedName", CraftedName)
      ->ArgsProduct({{50, 100, 200}, {10, 20, 40}})
      ->ArgNames({"name", "stars"});
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [label, list] : kLists) {
    const double ours = reporter.itemsPerSecond["MatchMaskList/" + label];
    const double theirs = reporter.itemsPerSecond["fnmatch/" + label];
    const double prepared = reporter.itemsPerSecond["Prepared/" + label];
    if (ours > 0 && theirs > 0) {
      std::printf(
          "list %-5s MatchMaskList %.1fM names/s, fnmatch %.1fM names/s: %.2fx as fast;"
          " prepared %.1fM names/s: %.2fx\n",
          label.c_str(), ours / 1e6, theirs / 1e6, ours / theirs, prepared / 1e6,
          prepared / theirs);
    }
  }
  return 0;
}
