#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>

#include "IsoDates.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/support/DateHelper.h"

namespace chronelle {
namespace {

using testing::isoDate;

constexpr int kSunday = 1;
constexpr int kMonday = 2;

TEST(DateHelper, BoundsOfPeriodsInTheCalendarsZone) {
  using T = DateForType;
  // Zone, first weekday, instant, bound, expected. Instants the walk below does not reach: a
  // leap day, the UTC instant of the next local day, weeks across a skipped midnight and a
  // turn of the year, a 25-hour day's repeated hour.
  const std::tuple<const char*, int, const char*, T, const char*> cases[] = {
      {"Europe/Berlin", kMonday, "2018-06-13T22:30:00Z", T::startOfDay, "2018-06-14T00:00:00+02:00"},
      {"Europe/Berlin", kSunday, "2018-03-25T12:00:00+02:00", T::endOfWeek, "2018-03-31T23:59:59+02:00"},
      {"Europe/Berlin", kMonday, "2019-01-01T08:00:00+01:00", T::startOfWeek, "2018-12-31T00:00:00+01:00"},
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

TEST(DateHelper, WeeksBeginOnTheCalendarsFirstWeekday) {
  // 2018-06-13 is a Wednesday; each first weekday gives a different start.
  const Date wednesday = isoDate("2018-06-13T12:00:00Z");
  const char* expected[] = {"2018-06-10", "2018-06-11", "2018-06-12", "2018-06-13",
                            "2018-06-07", "2018-06-08", "2018-06-09"};
  for (int first = 1; first <= 7; ++first) {
    const Date start = DateHelper::dateFor(DateForType::startOfWeek, wednesday, Calendar("UTC", first));
    EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, start, DateTimeZoneChoice::utc), expected[first - 1]) << first;
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
      {C::isSameDay, lateEvening, nextMorning, newYork, false},
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
  const char* old = std::getenv("TZ");
  const std::optional<std::string> previous = old ? std::optional<std::string>(old) : std::nullopt;
  for (const auto& [zone, expected] : {std::pair{"Asia/Tokyo", "2018-03-26 07:30"}, {"America/New_York", "2018-03-25 18:30"}}) {
    setenv("TZ", zone, 1);
    EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, instant) + " " +
                  DateHelper::toString(DateFormatType::time, instant, DateTimeZoneChoice::local, "en_US_POSIX"),
              expected) << zone;
  }
  if (previous) setenv("TZ", previous->c_str(), 1); else unsetenv("TZ");
}

}  // namespace
}  // namespace chronelle
