#include "PeakMemory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "Cases.h"
#include "LibraryFixture.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"

namespace chronelle::bench {
namespace {

std::int64_t maxResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // KiB on Linux
}

}  // namespace

int runPeakMemoryChild(const std::filesystem::path& storeDirectory, const std::filesystem::path& scratchDirectory) {
  prepareLibrary(scratchDirectory);
  LibraryFixture library(storeDirectory);
  const std::int64_t afterOpen = maxResidentKiB();
  SessionQuery3 year;
  year.from = Date::fromMicroseconds(utcMicros(2025, 1, 1));
  year.to = Date::fromMicroseconds(utcMicros(2026, 1, 1));
  const ReportCalculator calculator(library.provider);
  const auto breakdown = calculator.calculateNodeBreakdown(year, TotalValueTypeOptionSet::all);
  TimeEntriesChartDataCalculator chart(library.provider);
  const auto columns = chart.calculateValuesForBarChart(year, ReportChartGranularity::daily, false, nullptr);
  if (breakdown.empty() || columns.size() != 365) return 2;
  std::printf("%lld %lld\n", static_cast<long long>(afterOpen), static_cast<long long>(maxResidentKiB()));
  return 0;
}

PeakMemory measurePeakMemory(const std::filesystem::path& storeDirectory) {
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string command = "'" + self.string() + "' --rss-child '" + storeDirectory.string() + "' --stores '" +
                              storeDirectory.parent_path().string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot start " + command);
  long long afterOpen = 0;
  long long peak = 0;
  const int read = std::fscanf(pipe, "%lld %lld", &afterOpen, &peak);
  const int status = pclose(pipe);
  if (read != 2 || status != 0) throw std::runtime_error("peak-memory child failed: " + command);
  return PeakMemory{afterOpen, peak};
}

}  // namespace chronelle::bench
