#pragma once

#include <cstdint>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/DateInterval.h"

namespace chronelle {

// Small operations on instants and intervals that the report code and the application share.
// `Date` and `DateInterval` are platform value types, so these are free functions taking the
// value as their first argument. Stateless and thread-safe; none throws.

// `date` rounded to the nearest multiple of `minutes` minutes counted from 1970-01-01 00:00
// UTC, halves away from zero. Absolute time, not local time: with 15 minutes, 10:07:30 UTC
// becomes 10:15:00 and 10:07:29 becomes 10:00:00. Negative `minutes` round on the grid of
// their magnitude (the same formula); 0 returns `date` unchanged.
Date roundedTo(Date date, std::int64_t minutes);

// The number of calendar days from the day of `other` to the day of `date` in `calendar`:
// positive when `date` lies on a later day. Counts days, not 24-hour spans, so 00:10 today
// against 23:50 yesterday is 1, and a DST day counts as one.
std::int64_t numberOfDaysSince(Date date, Date other, const Calendar& calendar);

// Whether `interval` and `other` overlap in more than a shared bound: false when they do not
// intersect at all or when one only starts where the other ends; true when they share a
// stretch of time, and true when either has no duration and lies within the other (bounds
// included).
bool intersectsStrict(const DateInterval& interval, const DateInterval& other);

}  // namespace chronelle
