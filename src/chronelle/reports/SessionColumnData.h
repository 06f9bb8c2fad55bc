#pragma once

#include <cstdint>

#include <nlohmann/json_fwd.hpp>

#include "chronelle/platform/Date.h"
#include "chronelle/reports/SessionColumnSegments.h"

namespace chronelle {

/// One chart column: the segments of its tasks in drawing order, the start of its period and
/// the number of time entries in it. A value type; thread-safe as any value.
struct SessionColumnData {
  /// In drawing order. Copies of a column share them until one is changed.
  SessionColumnSegments segments;
  /// The start of the column's period.
  Date date;
  /// The sum of the segments' `sessionCount` (see `calculateSessionCount`).
  std::int64_t sessionCount = 0;

  SessionColumnData() = default;
  /// A column at `date` without segments.
  explicit SessionColumnData(Date date) : date(date) {}

  /// Sets `sessionCount` to the sum over `segments`.
  void calculateSessionCount();
  /// The sum of the segments' durations; 0 without segments.
  double totalDuration() const;

  /// Equal when every field is.
  friend bool operator==(const SessionColumnData&, const SessionColumnData&) = default;
};

/// Keyed encoding: "segments" (segment records), "date" (seconds since 1970 as a number),
/// "sessionCount", in that order into an ordered_json. Decoding needs all three keys with
/// values of the right kind and throws nlohmann::json::exception otherwise.
///@{
void to_json(nlohmann::json& json, const SessionColumnData& column);
void to_json(nlohmann::ordered_json& json, const SessionColumnData& column);
void from_json(const nlohmann::json& json, SessionColumnData& column);
void from_json(const nlohmann::ordered_json& json, SessionColumnData& column);
///@}

}  // namespace chronelle
