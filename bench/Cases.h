#pragma once
// The benchmark cases. Each pairs one library operation with its baseline on the same
// store file, checks that both compute the same numbers, then times both and adds a row.

#include <cstdint>
#include <filesystem>
#include <string>

#include "Harness.h"

namespace chronelle::bench {

// What one run of the cases works on.
struct CaseContext {
  std::filesystem::path storeDirectory;  // the cached store (read-only cases)
  std::filesystem::path scratchDirectory;  // copies for the write case, defaults
  std::int64_t entries = 0;
  TimingBudget budget;
  std::string only;  // run only cases whose name contains this (empty: all)
};

// Thrown when the library and the baseline disagree; the message names the case and the
// first difference.
struct Mismatch : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Totals of a month, billing and node breakdowns, the yearly daily and five-year monthly
// charts.
void runReportCases(const CaseContext& context, ResultTable& table);
// One edit of an entry's end through the write provider, on a copy of the store.
void runEditCase(const CaseContext& context, ResultTable& table);
// The day-sectioned list of a month's entries.
void runListCase(const CaseContext& context, ResultTable& table);
// Opening the store and listing the whole tree.
void runOpenCase(const CaseContext& context, ResultTable& table);

// Whether `name` is selected by `context.only`.
bool selected(const CaseContext& context, const std::string& name);

// Microseconds since 1970 at midnight UTC of the date.
std::int64_t utcMicros(int year, int month, int day);

}  // namespace chronelle::bench
