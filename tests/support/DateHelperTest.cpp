#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "IsoDates.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/support/DateHelper.h"

namespace chronelle {
namespace {

using testing::isoDate;

constexpr int kSunday = 1;
constexpr int kMonday = 2;

struct BoundCase {
  const char* zone;
  int firstWeekday;
  const char* date;
  DateForType type;
  const char* expected;
};

TEST(DateHelper, BoundsOfPeriodsInTheCalendarsZone) {
  using T = DateForType;
  // Instants the walk below does not reach: a leap day, the UTC instant of the next local
  // day, weeks across a skipped midnight and a turn of the year, a 25-hour day's repeated hour.
  const std::vector<BoundCase> cases = {
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
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const BoundCase& c = cases[i];
    const Calendar calendar(c.zone, c.firstWeekday);
    const Date actual = DateHelper::dateFor(c.type, isoDate(c.date), calendar);
    // Ends are written as their last whole second; they lie in its last microsecond.
    const bool isEnd = c.type == T::endOfDay || c.type == T::endOfWeek || c.type == T::endOfMonth ||
                       c.type == T::endOfYear;
    const Date expected = isEnd ? Date(isoDate(c.expected).timePoint() + std::chrono::microseconds(999'999))
                                : isoDate(c.expected);
    EXPECT_EQ(actual, expected)
        << "case " << i << " (" << c.zone << " " << c.date << "): got " << actual.isoString();
  }
}

// Walks every day, week and month of a year in several zones: each period must hold its
// instants, its end plus one microsecond must be the next period's start, and the walk must end
// after the expected number of columns. The year's start anchors the walk in time.
TEST(DateHelper, PeriodsTileTheTimeLineWithoutGapsOrOverlaps) {
  struct Zone {
    const char* name;
    int firstWeekday;
    const char* yearStart;
    int days;
  };
  const std::vector<Zone> zones = {
      {"UTC", kMonday, "2018-01-01T00:00:00Z", 365},
      {"Europe/Berlin", kMonday, "2018-01-01T00:00:00+01:00", 365},
      {"America/Sao_Paulo", kSunday, "2018-01-01T00:00:00-02:00", 365},
      {"Australia/Lord_Howe", kSunday, "2018-01-01T00:00:00+11:00", 365},  // 30-minute DST
      {"Asia/Kathmandu", 7, "2018-01-01T00:00:00+05:45", 365},
      // Samoa skipped 2011-12-30 entirely: that year has 364 local days.
      {"Pacific/Apia", kMonday, "2011-01-01T00:00:00-10:00", 364},
  };
  const struct {
    DateForType start, end;
  } periods[] = {{DateForType::startOfDay, DateForType::endOfDay},
                 {DateForType::startOfWeek, DateForType::endOfWeek},
                 {DateForType::startOfMonth, DateForType::endOfMonth}};

  for (const Zone& zone : zones) {
    const Calendar calendar(zone.name, zone.firstWeekday);
    const Date yearStart = isoDate(zone.yearStart);
    const Date yearEnd = DateHelper::dateFor(DateForType::endOfYear, yearStart, calendar);
    EXPECT_EQ(DateHelper::dateFor(DateForType::startOfYear, yearEnd, calendar), yearStart)
        << zone.name;
    for (const auto& period : periods) {
      int columns = 0;
      Date cursor = DateHelper::dateFor(period.start, yearStart, calendar);
      while (cursor <= yearEnd && columns < 400) {
        const Date start = DateHelper::dateFor(period.start, cursor, calendar);
        const Date end = DateHelper::dateFor(period.end, cursor, calendar);
        ASSERT_EQ(start, cursor) << zone.name << " column " << columns;
        ASSERT_LT(start, end) << zone.name << " column " << columns;
        // Instants inside the column, including its last second, belong to it.
        for (const Date inside : {start + 1.0, start + end.timeIntervalSince(start) / 2, end}) {
          const Date probe = Date::fromSecondsSince1970(std::floor(inside.timeIntervalSince1970()));
          ASSERT_EQ(DateHelper::dateFor(period.start, probe, calendar), start)
              << zone.name << " " << probe.isoString();
          ASSERT_EQ(DateHelper::dateFor(period.end, probe, calendar), end)
              << zone.name << " " << probe.isoString();
        }
        if (period.start == DateForType::startOfDay) {
          EXPECT_TRUE(DateHelper::isSameDay(start, end, calendar)) << start.isoString();
          EXPECT_FALSE(DateHelper::isSameDay(end, end + 1.0, calendar)) << end.isoString();
          EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, start, calendar),
                    DateHelper::toString(DateFormatType::isoDate, end, calendar));
          EXPECT_NE(DateHelper::toString(DateFormatType::isoDate, end, calendar),
                    DateHelper::toString(DateFormatType::isoDate, end + 1.0, calendar));
        }
        cursor = Date(end.timePoint() + std::chrono::microseconds(1));
        ++columns;
      }
      if (period.start == DateForType::startOfDay) {
        EXPECT_EQ(columns, zone.days) << zone.name;
      }
      if (period.start == DateForType::startOfMonth) {
        EXPECT_EQ(columns, 12) << zone.name;
      }
      if (period.start == DateForType::startOfWeek) {
        EXPECT_TRUE(columns == 53 || columns == 54) << zone.name << " weeks " << columns;
      }
    }
  }
}

TEST(DateHelper, WeeksBeginOnTheCalendarsFirstWeekday) {
  // 2018-06-13 is a Wednesday; each first weekday gives a different start.
  const Date wednesday = isoDate("2018-06-13T12:00:00Z");
  const char* expected[] = {"2018-06-10", "2018-06-11", "2018-06-12", "2018-06-13",
                            "2018-06-07", "2018-06-08", "2018-06-09"};
  for (int first = 1; first <= 7; ++first) {
    const Calendar calendar("UTC", first);
    const Date start = DateHelper::dateFor(DateForType::startOfWeek, wednesday, calendar);
    EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, start, calendar), expected[first - 1])
        << "first weekday " << first;
    EXPECT_EQ(calendar.components(start).weekday, first);
  }
}

TEST(DateHelper, ComparesPeriodsInTheCalendarsZone) {
  using C = DateComparisonType;
  const Calendar berlin("Europe/Berlin", kMonday), newYork("America/New_York", kSunday), utc("UTC");
  const Date lateEvening = isoDate("2018-06-16T21:30:00Z");  // Sat 23:30 Berlin, 17:30 NY
  const Date nextMorning = isoDate("2018-06-17T05:00:00Z");  // Sun 07:00 Berlin, 01:00 NY
  const Date midnightUtc = isoDate("2018-06-30T22:30:00Z");  // July in Berlin, June in NY
  const struct {
    C type;
    Date a, b;
    const Calendar& calendar;
    bool same;
  } cases[] = {
      {C::isSameDay, lateEvening, nextMorning, berlin, false},
      {C::isSameDay, lateEvening, nextMorning, newYork, false},
      {C::isSameWeek, lateEvening, nextMorning, berlin, true},
      {C::isSameWeek, lateEvening, nextMorning, newYork, false},
      {C::isSameMonth, lateEvening, midnightUtc, berlin, false},
      {C::isSameMonth, lateEvening, midnightUtc, newYork, true},
      {C::isSameYear, lateEvening, midnightUtc, berlin, true},
      {C::isSameDay, isoDate("2018-06-16T00:00:00Z"), isoDate("2018-06-16T23:59:59Z"), utc, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(DateHelper::compare(c.type, c.a, c.b, c.calendar), c.same) << "case " << i;
  }
  EXPECT_FALSE(DateHelper::isSameDay(lateEvening, nextMorning, berlin));
}

TEST(DateHelper, FormatsTheIsoDateInTheChosenZone) {
  const Date instant = isoDate("2018-03-25T22:30:00Z");
  const Calendar berlin("Europe/Berlin");
  EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, instant, berlin), "2018-03-26");
  EXPECT_EQ(DateHelper::toString(DateFormatType::isoDateTime, instant, berlin), "2018-03-26T00:30:00+02:00");
  EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, instant, DateTimeZoneChoice::utc), "2018-03-25");
  // Without a calendar the process's zone decides.
  const char* old = std::getenv("TZ");
  const std::optional<std::string> previous = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("TZ", "Asia/Tokyo", 1);
  EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, instant), "2018-03-26");
  EXPECT_EQ(DateHelper::toString(DateFormatType::time, instant, DateTimeZoneChoice::local, "en_US_POSIX"), "07:30");
  setenv("TZ", "America/New_York", 1);
  EXPECT_EQ(DateHelper::toString(DateFormatType::isoDate, instant), "2018-03-25");
  if (previous) setenv("TZ", previous->c_str(), 1); else unsetenv("TZ");
}

}  // namespace
}  // namespace chronelle
