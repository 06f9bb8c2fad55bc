#pragma once

#include <cstdint>
#include <string>

#include "chronelle/data/SessionQuery3.h"

namespace chronelle {

class Session;

// Report totals: tracked seconds, money and number of time entries. A value type.
struct TotalValues {
  // Seconds.
  double duration = 0;
  // Money, summed from per-entry amounts rounded to hundredths.
  double revenue = 0;
  // Number of time entries.
  std::int64_t sessionCount = 0;

  // All three zero.
  static const TotalValues zero;

  // These totals plus the running time entry's part inside `query`'s period, when the timer
  // runs one that `query` includes and that has no confirmed duration yet; otherwise these
  // totals unchanged. The entry is the current session of the CHTimer registered in the
  // shared container, which must be registered (the process aborts naming CHTimer
  // otherwise, as for any missing service). Main thread (the timer and its entry live there).
  TotalValues byAddingUnconfirmedCurrentSession(const SessionQuery3& query) const;
  // The same with the running entry given (null: none). Runs on the entry's context queue.
  TotalValues byAddingUnconfirmedSession(const Session* session, const SessionQuery3& query) const;

  // "duration: …, revenue: …, sessionCount: …", for logs and test output.
  std::string description() const;

  TotalValues& operator+=(const TotalValues& other) {
    duration += other.duration;
    revenue += other.revenue;
    sessionCount += other.sessionCount;
    return *this;
  }
  friend TotalValues operator+(TotalValues a, const TotalValues& b) { return a += b; }
  friend bool operator==(const TotalValues&, const TotalValues&) = default;
};

inline const TotalValues TotalValues::zero{};

}  // namespace chronelle
