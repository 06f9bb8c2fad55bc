#pragma once
// Peak resident size of a yearly report by node with a daily chart, measured in a child
// process so that nothing the benchmarks did before counts.

#include <cstdint>
#include <filesystem>

namespace chronelle::bench {

// Resident sizes in KiB as the kernel reports them (getrusage ru_maxrss of the child).
struct PeakMemory {
  std::int64_t afterOpenKiB = 0;   // the stack opened, before the report
  std::int64_t peakKiB = 0;        // after the node breakdown and the chart of a year
};

// Runs this executable again with `--rss-child <storeDirectory>` and reads its answer.
// Throws std::runtime_error when the child fails.
PeakMemory measurePeakMemory(const std::filesystem::path& storeDirectory);

// The child's side: opens the store, runs the report and the chart of 2025, prints
// "<afterOpenKiB> <peakKiB>" to stdout. Returns the process exit code.
int runPeakMemoryChild(const std::filesystem::path& storeDirectory, const std::filesystem::path& scratchDirectory);

}  // namespace chronelle::bench
