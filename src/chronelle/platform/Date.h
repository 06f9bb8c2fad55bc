#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <string>

namespace chronelle {

// An instant in absolute time, with microsecond resolution. Durations are double seconds.
// A value type; thread-safe as any value.
//
// Microseconds (rather than a double) are what the store writes, so equality of two
// instants at a bound is exact and survives a round trip through SQLite.
class Date {
 public:
  using Micros = std::chrono::microseconds;
  using TimePoint = std::chrono::sys_time<Micros>;

  // The reference instant 1970-01-01 00:00:00 UTC.
  constexpr Date() = default;
  constexpr explicit Date(TimePoint tp) : tp_(tp) {}

  static constexpr Date fromMicroseconds(std::int64_t micros) { return Date(TimePoint(Micros(micros))); }
  // Seconds since 1970 UTC; fractions below a microsecond are rounded to the nearest one.
  static Date fromSecondsSince1970(double seconds);
  // Far bounds that every stored instant lies between (years 0001 and 4001).
  static Date distantPast();
  static Date distantFuture();

  constexpr TimePoint timePoint() const { return tp_; }
  constexpr std::int64_t microsecondsSince1970() const { return tp_.time_since_epoch().count(); }
  double timeIntervalSince1970() const;
  // Seconds from `other` to this instant; negative when this one is earlier.
  double timeIntervalSince(Date other) const;
  Date addingTimeInterval(double seconds) const;

  // ISO 8601 in UTC with microseconds when present, e.g. "2026-12-05T09:30:00Z"; for logs
  // and descriptions.
  std::string isoString() const;

  friend constexpr auto operator<=>(Date, Date) = default;
  friend constexpr bool operator==(Date, Date) = default;
  friend Date operator+(Date d, double seconds) { return d.addingTimeInterval(seconds); }
  friend Date operator-(Date d, double seconds) { return d.addingTimeInterval(-seconds); }

 private:
  TimePoint tp_{};
};

}  // namespace chronelle
