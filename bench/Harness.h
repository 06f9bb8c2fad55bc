#pragma once
// Timing and reporting: each case is timed on its own, the median of its repetitions
// reported, and the pairs printed as one table of library ÷ baseline ratios.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace chronelle::bench {

// How long to time each side of a case.
struct TimingBudget {
  double minSeconds = 0.5;  // keep repeating until this much time was spent...
  int minIterations = 5;    // ...and at least this many repetitions ran
  int maxIterations = 2000;
  double maxSeconds = 10;  // but stop after this much time once one run was timed
};

// Runs `body` repeatedly within `budget`; returns the median time of one run in seconds.
// There is no warm-up run here: every case first runs both sides to compare their results,
// which warms caches the same way. Exceptions of `body` propagate.
double measure(const std::function<void()>& body, const TimingBudget& budget);

// One line of the table. `target` is the largest acceptable ratio (0: none); `baselineRuns`
// says how many baseline runs the library's time is compared with (four totals for the
// billing breakdown).
struct ResultRow {
  std::string operation;
  std::int64_t entries = 0;
  double librarySeconds = 0;
  double baselineSeconds = 0;
  double target = 0;
  std::string note;
  // The verdict on both sides' query plans: "✓", "✗ <what is unbounded>", or empty when
  // the case runs no period query.
  std::string plans;
  double ratio() const { return baselineSeconds > 0 ? librarySeconds / baselineSeconds : 0; }
};

// A peak resident size measurement.
struct MemoryRow {
  std::string operation;
  std::int64_t entries = 0;
  std::int64_t afterOpenKiB = 0;
  std::int64_t peakKiB = 0;
  std::int64_t limitKiB = 0;
};

// The rows in the order they were added.
class ResultTable {
 public:
  void add(ResultRow row);
  void add(MemoryRow row);
  const std::vector<ResultRow>& rows() const { return rows_; }
  // True when every row with a target and a baseline meets it, and every memory row its limit.
  bool allTargetsMet() const;
  // True when no row's plans search a range open at one end.
  bool allPlansBounded() const;
  // A Markdown table: operation, N, library, baseline, ratio, target, plans, note; then the
  // memory measurements.
  void print(std::ostream& out) const;
  // The same rows as a JSON array of objects, plus the machine description. Throws
  // std::runtime_error when the file cannot be written.
  void writeJson(const std::filesystem::path& file, const std::string& machine) const;

 private:
  std::vector<ResultRow> rows_;
  std::vector<MemoryRow> memory_;
};

// "1.23 ms"-style text of a time in seconds.
std::string formatSeconds(double seconds);
// CPU model, cores, memory and kernel, on one line.
std::string describeMachine();

}  // namespace chronelle::bench
