// chronelle_bench: times the library's heavy operations beside hand-written SQLite on the
// same generated stores and prints the ratios.
//
//   chronelle_bench [--quick] [--json FILE] [--sizes N,N,...] [--seed S] [--stores DIR]
//                   [--only TEXT] [--no-memory]
//
// --quick runs the 100,000-entry store only with a shorter timing budget. Stores are kept
// under DIR (default build/bench-stores) by size and seed. Exit code 1 when the library and
// a baseline disagree or a case fails; the table is printed either way.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Cases.h"
#include "Harness.h"
#include "QueryPlans.h"
#include "LibraryFixture.h"
#include "PeakMemory.h"
#include "StoreGenerator.h"

namespace {

using namespace chronelle::bench;

struct Options {
  bool quick = false;
  bool memory = true;
  std::string json;
  std::vector<std::int64_t> sizes{10'000, 100'000, 1'000'000};
  std::uint64_t seed = 1;
  std::filesystem::path stores = "build/bench-stores";
  std::string only;
  std::string rssChild;
};

[[noreturn]] void usage(const char* message) {
  std::fprintf(stderr,
               "%s\nusage: chronelle_bench [--quick] [--json FILE] [--sizes N,N,...] [--seed S] [--stores DIR] "
               "[--only TEXT] [--no-memory]\n",
               message);
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options options;
  bool sizesGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage(("missing value of " + arg).c_str());
      return argv[++i];
    };
    if (arg == "--quick") {
      options.quick = true;
    } else if (arg == "--no-memory") {
      options.memory = false;
    } else if (arg == "--json") {
      options.json = value();
    } else if (arg == "--sizes") {
      options.sizes.clear();
      std::stringstream list(value());
      for (std::string item; std::getline(list, item, ',');) options.sizes.push_back(std::stoll(item));
      sizesGiven = true;
    } else if (arg == "--seed") {
      options.seed = std::stoull(value());
    } else if (arg == "--stores") {
      options.stores = value();
    } else if (arg == "--only") {
      options.only = value();
    } else if (arg == "--rss-child") {
      options.rssChild = value();
    } else {
      usage(("unknown argument " + arg).c_str());
    }
  }
  if (options.quick && !sizesGiven) options.sizes = {100'000};
  return options;
}

// Runs one group of cases; a failure is reported and the run goes on with the next group.
template <class F>
bool attempt(const char* what, std::int64_t entries, F run) {
  try {
    run();
    return true;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "FAILED %s at N=%lld: %s\n", what, static_cast<long long>(entries), error.what());
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  if (!options.rssChild.empty()) {
    return runPeakMemoryChild(options.rssChild, options.stores / "scratch-memory");
  }

  librarySql();  // observes every store connection opened from here on
  const std::filesystem::path scratch = options.stores / "scratch";
  prepareLibrary(scratch);
  ResultTable table;
  bool ok = true;
  for (const std::int64_t entries : options.sizes) {
    CaseContext context;
    context.storeDirectory = ensureStore(options.stores, StoreKey{entries, options.seed});
    context.scratchDirectory = scratch;
    context.entries = entries;
    context.only = options.only;
    context.budget = options.quick ? TimingBudget{0.2, 3, 500, 5} : TimingBudget{0.5, 5, 2000, 10};
    std::fprintf(stderr, "running N=%lld\n", static_cast<long long>(entries));
    ok &= attempt("report cases", entries, [&] { runReportCases(context, table); });
    ok &= attempt("list case", entries, [&] { runListCase(context, table); });
    ok &= attempt("edit case", entries, [&] { runEditCase(context, table); });
    ok &= attempt("open case", entries, [&] { runOpenCase(context, table); });
  }
  // The memory target is about the largest store; measured on the largest size run.
  if (options.memory && !options.sizes.empty() && selected(CaseContext{{}, {}, 0, {}, options.only}, "memory")) {
    std::int64_t largest = 0;
    for (const auto size : options.sizes) largest = std::max(largest, size);
    ok &= attempt("peak memory", largest, [&] {
      const PeakMemory memory = measurePeakMemory(ensureStore(options.stores, StoreKey{largest, options.seed}));
      table.add(MemoryRow{"year node report + daily chart", largest, memory.afterOpenKiB, memory.peakKiB, 64 * 1024});
    });
  }

  const std::string machine = describeMachine();
  std::cout << "Machine: " << machine << "\n\n";
  table.print(std::cout);
  if (!table.allPlansBounded()) {
    std::fprintf(stderr, "FAILED: a period query searches a range open at one end (plans above)\n");
    ok = false;
  }
  if (!options.json.empty()) table.writeJson(options.json, machine);
  return ok ? 0 : 1;
}
