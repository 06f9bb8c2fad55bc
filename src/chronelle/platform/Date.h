#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <string>

namespace chronelle {

/// An instant in absolute time, with microsecond resolution. Durations are double seconds.
/// A value type; thread-safe as any value.
///
/// Microseconds (rather than a double) are what the store writes, so equality of two
/// instants at a bound is exact and survives a round trip through SQLite.
class Date {
 public:
  /// The resolution of an instant.
  using Micros = std::chrono::microseconds;
  /// An instant as a std::chrono time point in UTC.
  using TimePoint = std::chrono::sys_time<Micros>;

  /// The reference instant 1970-01-01 00:00:00 UTC.
  ///@{
  constexpr Date() = default;
  constexpr explicit Date(TimePoint tp) : tp_(tp) {}
  ///@}

  /// The instant `micros` microseconds after 1970 UTC (the stored form).
  static constexpr Date fromMicroseconds(std::int64_t micros) { return Date(TimePoint(Micros(micros))); }
  /// Seconds since 1970 UTC; fractions below a microsecond are rounded to the nearest one.
  static Date fromSecondsSince1970(double seconds);
  /// Far bounds that every stored instant lies between (years 0001 and 4001).
  ///@{
  static Date distantPast();
  static Date distantFuture();
  ///@}

  /// The instant as a std::chrono time point.
  constexpr TimePoint timePoint() const { return tp_; }
  /// Microseconds since 1970 UTC, as the store writes them.
  constexpr std::int64_t microsecondsSince1970() const { return tp_.time_since_epoch().count(); }
  /// Seconds since 1970 UTC.
  double timeIntervalSince1970() const;
  /// Seconds from `other` to this instant; negative when this one is earlier.
  double timeIntervalSince(Date other) const;
  /// This instant moved by `seconds` (negative: earlier), to the nearest microsecond.
  Date addingTimeInterval(double seconds) const;

  /// ISO 8601 in UTC with microseconds when present, e.g. "2026-12-05T09:30:00Z"; for logs
  /// and descriptions.
  std::string isoString() const;

  /// Ordered field by field, in declaration order.
  friend constexpr auto operator<=>(Date, Date) = default;
  /// Equal when every field is.
  friend constexpr bool operator==(Date, Date) = default;
  /// `d` moved later by `seconds`.
  friend Date operator+(Date d, double seconds) { return d.addingTimeInterval(seconds); }
  /// `d` moved earlier by `seconds`.
  friend Date operator-(Date d, double seconds) { return d.addingTimeInterval(-seconds); }

 private:
  TimePoint tp_{};
};

}  // namespace chronelle
