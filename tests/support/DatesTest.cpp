// Durations between instants, rounding, day counts and the bounds of days, weeks, months and
// years in a calendar's zone.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/DateInterval.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/DateExtensions.h"
#include "chronelle/support/DateHelper.h"
#include "teststack/ScopedTimeZone.h"

namespace chronelle {
namespace {

// The instant of an ISO 8601 text with an explicit offset, e.g. "2018-11-04T01:00:00-02:00" or
// "2018-03-25T10:07:30.5Z", computed with the civil-date arithmetic of <chrono> rather than
// the calendar under test, so that expected values do not rest on the code being tested.
Date isoDate(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, offsetHours = 0, offsetMinutes = 0;
  double second = 0;
  char offset[8] = "";
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%lf%7s", &year, &month, &day, &hour, &minute,
                  &second, offset) != 7 ||
      (std::string(offset) != "Z" &&
       std::sscanf(offset + 1, "%2d:%2d", &offsetHours, &offsetMinutes) != 2)) {
    throw std::invalid_argument("not an ISO date with an offset: " + text);
  }
  using namespace std::chrono;
  const auto local = sys_days{std::chrono::year(year) / month / day}.time_since_epoch() +
                     hours(hour) + minutes(minute) + microseconds(std::llround(second * 1e6));
  const auto offsetSeconds = seconds(offsetHours * 3600 + offsetMinutes * 60);
  return Date(Date::TimePoint(offset[0] == '-' ? local + offsetSeconds : local - offsetSeconds));
}

Date micros(std::int64_t value) { return Date::fromMicroseconds(value); }

TEST(ChronelleDateUtils, EffectiveDurationCountsWholeSecondsBetweenFlooredInstants) {
  // {from, to} in microseconds and the whole seconds between them. The half second at the end
  // is dropped; 0.2 s across a second boundary counts as one, within one second as none;
  // before 1970 the floor goes to the past (-1 → 0); reversed instants give a negative count;
  // a second's last microsecond, where the end of a day lies, counts as the next second.
  const std::tuple<std::int64_t, std::int64_t, double> cases[] = {
      {0, 1'500'000, 1}, {900'000, 1'100'000, 1}, {100'000, 900'000, 0}, {-500'000, 500'000, 1},
      {5'000'000, 3'000'000, -2}, {1'700'000'000'999'998, 1'700'000'360'000'000, 360}, {0, 1'999'999, 2},
      {-1, 3'600'000'000, 3600}};
  for (const auto& [from, to, seconds] : cases) {
    EXPECT_EQ(ChronelleDateUtils::effectiveDuration(micros(from), micros(to)), seconds) << from << " to " << to;
  }
  for (const auto& [from, floored] : {std::pair{1'999'999, 1'000'000}, {-1, -1'000'000}, {-1'000'000, -1'000'000}}) {
    EXPECT_EQ(ChronelleDateUtils::flooredToSeconds(micros(from)), micros(floored)) << from;
  }
}

TEST(ChronelleDateUtils, RendersDurationsInEachFormat) {
  using F = DurationFormat;
  const std::tuple<double, DurationFormat, const char*> cases[] = {
      {3725, F::hoursMinutesSeconds, "1:02:05"},      {3725, F::hoursMinutes, "1:02"},
      {3725, F::hoursMinutesShort, "1h 02m"},         {3725, F::hoursMinutesSecondsShort, "1h 02m 05s"},
      {-3725, F::hoursMinutesSeconds, "-1:02:05"},    {-1.5, F::hoursMinutesSeconds, "-0:00:01"},
      {59.9, F::hoursMinutesSeconds, "0:00:59"},      {-0.4, F::hoursMinutesSeconds, "0:00:00"},
      {90000, F::hoursMinutesShort, "25h 00m"},       {std::nan(""), F::hoursMinutes, "--"},
  };
  for (const auto& [seconds, format, text] : cases) EXPECT_EQ(ChronelleDateUtils::toString(seconds, format), text) << seconds;
}

TEST(DateExtensions, RoundsToMinuteStepsInAbsoluteTime) {
  const std::tuple<const char*, std::int64_t, const char*> cases[] = {
      {"2018-03-25T10:07:30Z", 15, "2018-03-25T10:15:00Z"}, {"2018-03-25T10:07:29Z", 15, "2018-03-25T10:00:00Z"},
      {"2018-03-25T10:07:29.999999Z", 15, "2018-03-25T10:00:00Z"}, {"2018-03-25T10:00:00Z", 15, "2018-03-25T10:00:00Z"},
      // A zone offset does not move the grid: 10:07:30+05:30 is 04:37:30 UTC.
      {"2018-03-25T10:07:30+05:30", 60, "2018-03-25T05:00:00Z"},
      // Before 1970 halves still go away from zero, toward the past.
      {"1969-12-31T23:52:30Z", 15, "1969-12-31T23:45:00Z"}, {"1969-12-31T23:52:31Z", 15, "1970-01-01T00:00:00Z"},
      // m × round(t ÷ m) with m negative gives the grid of |m|, halves still away from zero.
      {"2018-03-25T10:07:30Z", -15, "2018-03-25T10:15:00Z"}, {"2018-03-25T10:07:29Z", -15, "2018-03-25T10:00:00Z"},
      {"1969-12-31T23:52:30Z", -15, "1969-12-31T23:45:00Z"},
      {"2018-03-25T10:07:30Z", std::numeric_limits<std::int64_t>::min(), "1970-01-01T00:00:00Z"},
  };
  for (const auto& [date, minutes, expected] : cases) {
    EXPECT_EQ(roundedTo(isoDate(date), minutes), isoDate(expected)) << date << " by " << minutes;
  }
}

TEST(DateExtensions, CountsCalendarDaysInTheGivenZone) {
  const std::tuple<const char*, const char*, const char*, std::int64_t> cases[] = {
      {"Europe/Berlin", "2018-06-02T00:10:00+02:00", "2018-06-01T23:50:00+02:00", 1},
      {"Europe/Berlin", "2018-06-01T23:50:00+02:00", "2018-06-02T00:10:00+02:00", -1},
      {"Europe/Berlin", "2018-06-01T23:50:00+02:00", "2018-06-01T00:00:00+02:00", 0},
      // The same two instants are one day apart in Berlin and none in New York.
      {"Europe/Berlin", "2018-06-01T22:10:00Z", "2018-06-01T21:50:00Z", 1},
      {"America/New_York", "2018-06-01T22:10:00Z", "2018-06-01T21:50:00Z", 0},
      // Short and long days count as one.
      {"Europe/Berlin", "2018-03-26T00:30:00+02:00", "2018-03-25T00:30:00+01:00", 1},
      {"America/Sao_Paulo", "2018-11-05T00:00:00-02:00", "2018-11-03T23:59:59-03:00", 2},
      {"Europe/Berlin", "2019-01-01T00:00:00+01:00", "2018-01-01T00:00:00+01:00", 365},
  };
  for (const auto& [zone, date, other, days] : cases) {
    EXPECT_EQ(numberOfDaysSince(isoDate(date), isoDate(other), Calendar(zone)), days) << zone << " " << date << " " << other;
  }
}

TEST(DateExtensions, StrictIntersectionExcludesTouchingIntervals) {
  const auto interval = [](const char* start, const char* end) { return DateInterval(isoDate(start), isoDate(end)); };
  const DateInterval nineToTen = interval("2018-06-01T09:00:00Z", "2018-06-01T10:00:00Z");
  const std::pair<DateInterval, bool> cases[] = {
      {interval("2018-06-01T10:00:00Z", "2018-06-01T11:00:00Z"), false},  // starts at our end
      {interval("2018-06-01T08:00:00Z", "2018-06-01T09:00:00Z"), false},  // ends at our start
      {interval("2018-06-01T09:59:59Z", "2018-06-01T11:00:00Z"), true},   // one second shared
      {interval("2018-06-01T09:15:00Z", "2018-06-01T09:45:00Z"), true},   // inside
      {interval("2018-06-01T08:00:00Z", "2018-06-01T12:00:00Z"), true},   // around
      {nineToTen, true},
      {interval("2018-06-01T10:00:00Z", "2018-06-01T10:00:00Z"), true},   // empty at our end
      {interval("2018-06-01T09:00:00Z", "2018-06-01T09:00:00Z"), true},   // empty at our start
      {interval("2018-06-01T10:00:01Z", "2018-06-01T10:00:01Z"), false},  // empty outside
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(intersectsStrict(nineToTen, cases[i].first), cases[i].second) << "case " << i;
    EXPECT_EQ(intersectsStrict(cases[i].first, nineToTen), cases[i].second) << "reversed " << i;
  }
}

constexpr int kSunday = 1;
constexpr int kMonday = 2;

TEST(DateHelper, BoundsOfPeriodsInTheCalendarsZone) {
  using T = DateForType;
  // Zone, first weekday, instant, bound, expected. Cases the walk below does not reach: a leap
  // day, the bounds of a year from inside it, weeks across a skipped midnight, a 25-hour day's
  // repeated hour.
  const std::tuple<const char*, int, const char*, T, const char*> cases[] = {
      {"Europe/Berlin", kSunday, "2018-03-25T12:00:00+02:00", T::endOfWeek, "2018-03-31T23:59:59+02:00"},
      {"Europe/Berlin", kMonday, "2020-02-10T12:00:00+01:00", T::endOfMonth, "2020-02-29T23:59:59+01:00"},
      {"Europe/Berlin", kMonday, "2018-12-31T23:59:59+01:00", T::endOfYear, "2018-12-31T23:59:59+01:00"},
      {"America/Sao_Paulo", kSunday, "2018-11-07T12:00:00-02:00", T::startOfWeek, "2018-11-04T01:00:00-02:00"},
      {"America/Sao_Paulo", kMonday, "2018-11-04T12:00:00-02:00", T::startOfWeek, "2018-10-29T00:00:00-03:00"},
      {"America/Sao_Paulo", kMonday, "2018-10-29T00:00:00-03:00", T::endOfWeek, "2018-11-04T23:59:59-02:00"},
      {"America/Sao_Paulo", kSunday, "2018-02-17T23:30:00-03:00", T::startOfDay, "2018-02-17T00:00:00-02:00"},
      {"America/Sao_Paulo", kSunday, "2018-02-17T23:30:00-02:00", T::endOfDay, "2018-02-17T23:59:59-03:00"},
      {"America/Sao_Paulo", kSunday, "2018-07-01T12:00:00-03:00", T::endOfYear, "2018-12-31T23:59:59-02:00"},
  };
  for (const auto& [zone, firstWeekday, date, type, expected] : cases) {
    const Date actual = DateHelper::dateFor(type, isoDate(date), Calendar(zone, firstWeekday));
    // Ends are written as their last whole second; they lie in its last microsecond.
    const bool isEnd = type == T::endOfDay || type == T::endOfWeek || type == T::endOfMonth || type == T::endOfYear;
    EXPECT_EQ(actual, Date(isoDate(expected).timePoint() + std::chrono::microseconds(isEnd ? 999'999 : 0)))
        << zone << " " << date << ": got " << actual.isoString();
  }
}

// Walks every day, week and month of a year in several zones: each period must hold its
// instants, its end plus one microsecond must be the next period's start, and the walk must end
// after the expected number of columns. The year's start anchors the walk in time.
TEST(DateHelper, PeriodsTileTheTimeLineWithoutGapsOrOverlaps) {
  // Zone, first weekday, start of the year walked, its number of days.
  const std::tuple<const char*, int, const char*, int> zones[] = {
      {"UTC", kMonday, "2018-01-01T00:00:00Z", 365},
      {"Europe/Berlin", kMonday, "2018-01-01T00:00:00+01:00", 365},
      {"America/Sao_Paulo", kSunday, "2018-01-01T00:00:00-02:00", 365},
      {"Australia/Lord_Howe", kSunday, "2018-01-01T00:00:00+11:00", 365},  // 30-minute DST
      {"Asia/Kathmandu", 7, "2018-01-01T00:00:00+05:45", 365},
      // Samoa skipped 2011-12-30 entirely: that year has 364 local days.
      {"Pacific/Apia", kMonday, "2011-01-01T00:00:00-10:00", 364},
  };
  using T = DateForType;
  for (const auto& [zone, firstWeekday, yearStartText, days] : zones) {
    const Calendar calendar(zone, firstWeekday);
    const Date yearStart = isoDate(yearStartText);
    const Date yearEnd = DateHelper::dateFor(T::endOfYear, yearStart, calendar);
    EXPECT_EQ(DateHelper::dateFor(T::startOfYear, yearEnd, calendar), yearStart) << zone;
    for (const auto& [first, last] : {std::pair{T::startOfDay, T::endOfDay}, {T::startOfWeek, T::endOfWeek},
                                      {T::startOfMonth, T::endOfMonth}}) {
      int columns = 0;
      Date cursor = DateHelper::dateFor(first, yearStart, calendar);
      while (cursor <= yearEnd && columns < 400) {
        const Date start = DateHelper::dateFor(first, cursor, calendar), end = DateHelper::dateFor(last, cursor, calendar);
        ASSERT_TRUE(start == cursor && start < end) << zone << " column " << columns << " " << start.isoString();
        // Instants inside the column, including its last second, belong to it.
        for (const Date inside : {start + 1.0, start + end.timeIntervalSince(start) / 2, end}) {
          const Date probe = Date::fromSecondsSince1970(std::floor(inside.timeIntervalSince1970()));
          ASSERT_TRUE(DateHelper::dateFor(first, probe, calendar) == start && DateHelper::dateFor(last, probe, calendar) == end)
              << zone << " " << probe.isoString();
        }
        // Weeks begin on the calendar's first weekday (Kathmandu's is Saturday).
        EXPECT_TRUE(first != T::startOfWeek || calendar.components(start).weekday == firstWeekday);
        if (first == T::startOfDay) {
          EXPECT_TRUE(DateHelper::isSameDay(start, end, calendar) && !DateHelper::isSameDay(end, end + 1.0, calendar))
              << start.isoString();
          const auto iso = [&](Date date) { return DateHelper::toString(DateFormatType::isoDate, date, calendar); };
          EXPECT_TRUE(iso(start) == iso(end) && iso(end) != iso(end + 1.0)) << start.isoString();
        }
        cursor = Date(end.timePoint() + std::chrono::microseconds(1));
        ++columns;
      }
      EXPECT_EQ(columns, first == T::startOfDay ? days : first == T::startOfMonth ? 12 : columns == 54 ? 54 : 53) << zone;
    }
  }
}

TEST(DateHelper, ComparesPeriodsInTheCalendarsZone) {
  using C = DateComparisonType;
  const Calendar berlin("Europe/Berlin", kMonday), newYork("America/New_York", kSunday), utc("UTC");
  const Date lateEvening = isoDate("2018-06-16T21:30:00Z");  // Sat 23:30 Berlin, 17:30 NY
  const Date nextMorning = isoDate("2018-06-17T05:00:00Z");  // Sun 07:00 Berlin, 01:00 NY
  const Date midnightUtc = isoDate("2018-06-30T22:30:00Z");  // July in Berlin, June in NY
  const std::tuple<C, Date, Date, const Calendar&, bool> cases[] = {
      {C::isSameDay, lateEvening, nextMorning, berlin, false},
      {C::isSameWeek, lateEvening, nextMorning, berlin, true},
      {C::isSameWeek, lateEvening, nextMorning, newYork, false},
      {C::isSameMonth, lateEvening, midnightUtc, berlin, false},
      {C::isSameMonth, lateEvening, midnightUtc, newYork, true},
      {C::isSameYear, lateEvening, midnightUtc, berlin, true},
      {C::isSameDay, isoDate("2018-06-16T00:00:00Z"), isoDate("2018-06-16T23:59:59Z"), utc, true},
  };
  for (const auto& [type, a, b, calendar, same] : cases) {
    EXPECT_EQ(DateHelper::compare(type, a, b, calendar), same) << a.isoString() << " " << b.isoString() << " " << int(type);
  }
}

TEST(DateHelper, FormatsTheIsoDateInTheChosenZone) {
  const Date instant = isoDate("2018-03-25T22:30:00Z");
  EXPECT_EQ(DateHelper::toString(DateFormatType::isoDateTime, instant, Calendar("Europe/Berlin")), "2018-03-26T00:30:00+02:00");
  EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, instant, DateTimeZoneChoice::utc), "2018-03-25");
  // Without a calendar the process's zone decides.
  for (const auto& [zone, expected] : {std::pair{"Asia/Tokyo", "2018-03-26 07:30"},
                                       {"America/New_York", "2018-03-25 18:30"}}) {
    const testing::ScopedTimeZone scoped(zone);
    EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, instant) + " " +
                  DateHelper::toString(DateFormatType::time, instant, DateTimeZoneChoice::local,
                                       "en_US_POSIX"),
              expected) << zone;
  }
}

}  // namespace
}  // namespace chronelle
