#include "chronelle/platform/DateInterval.h"

#include <algorithm>

namespace chronelle {

DateInterval::DateInterval(Date start, Date end) : start_(start), end_(std::max(start, end)) {}

DateInterval DateInterval::withDuration(Date start, double seconds) {
  return DateInterval(start, start.addingTimeInterval(seconds));
}

bool DateInterval::contains(Date date) const { return start_ <= date && date <= end_; }

bool DateInterval::intersects(const DateInterval& other) const {
  return start_ <= other.end_ && other.start_ <= end_;
}

std::optional<DateInterval> DateInterval::intersection(const DateInterval& other) const {
  if (!intersects(other)) return std::nullopt;
  return DateInterval(std::max(start_, other.start_), std::min(end_, other.end_));
}

}  // namespace chronelle
