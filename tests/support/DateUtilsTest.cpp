#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "IsoDates.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/DateInterval.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/DateExtensions.h"

namespace chronelle {
namespace {

using testing::isoDate;

Date micros(std::int64_t value) { return Date::fromMicroseconds(value); }

TEST(ChronelleDateUtils, EffectiveDurationCountsWholeSecondsBetweenFlooredInstants) {
  struct Case {
    std::int64_t from, to;
    double seconds;
  };
  // The half second at the end is dropped; 0.2 s across a second boundary counts as one, within
  // one second as none; before 1970 the floor goes to the past (-1 → 0); reversed instants
  // give a negative count.
  const std::vector<Case> cases = {
      {0, 1'500'000, 1}, {900'000, 1'100'000, 1}, {100'000, 900'000, 0}, {-500'000, 500'000, 1},
      {5'000'000, 3'000'000, -2}, {1'700'000'000'999'998, 1'700'000'360'000'000, 360},
      // A second's last microsecond, where the end of a day lies, counts as the next second:
      // 23:00 to the end of the day is an hour, as 23:00 to midnight.
      {0, 1'999'999, 2},
      {-1, 3'600'000'000, 3600},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ChronelleDateUtils::effectiveDuration(micros(cases[i].from), micros(cases[i].to)),
              cases[i].seconds)
        << "case " << i;
  }
}

TEST(ChronelleDateUtils, FlooringMovesToTheStartOfTheSecond) {
  EXPECT_EQ(ChronelleDateUtils::flooredToSeconds(micros(1'999'999)), micros(1'000'000));
  EXPECT_EQ(ChronelleDateUtils::flooredToSeconds(micros(-1)), micros(-1'000'000));
  EXPECT_EQ(ChronelleDateUtils::flooredToSeconds(micros(-1'000'000)), micros(-1'000'000));
  const Date once = ChronelleDateUtils::flooredToSeconds(micros(1'234'567'891));
  EXPECT_EQ(ChronelleDateUtils::flooredToSeconds(once), once);
}

TEST(ChronelleDateUtils, RendersDurationsInEachFormat) {
  using F = DurationFormat;
  const struct {
    double seconds;
    DurationFormat format;
    const char* text;
  } cases[] = {
      {3725, F::hoursMinutesSeconds, "1:02:05"},      {3725, F::hoursMinutes, "1:02"},
      {3725, F::hoursMinutesShort, "1h 02m"},         {3725, F::hoursMinutesSecondsShort, "1h 02m 05s"},
      {-3725, F::hoursMinutesSeconds, "-1:02:05"},    {0, F::hoursMinutesSeconds, "0:00:00"},
      {59.9, F::hoursMinutesSeconds, "0:00:59"},      {-0.4, F::hoursMinutesSeconds, "0:00:00"},
      {90000, F::hoursMinutesShort, "25h 00m"},       {std::nan(""), F::hoursMinutes, "--"},
  };
  for (const auto& c : cases) EXPECT_EQ(ChronelleDateUtils::toString(c.seconds, c.format), c.text) << c.seconds;
}

TEST(DateExtensions, RoundsToMinuteStepsInAbsoluteTime) {
  struct Case {
    const char* date;
    std::int64_t minutes;
    const char* expected;
  };
  const std::vector<Case> cases = {
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
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(roundedTo(isoDate(cases[i].date), cases[i].minutes), isoDate(cases[i].expected))
        << "case " << i;
  }
}

TEST(DateExtensions, CountsCalendarDaysInTheGivenZone) {
  struct Case {
    const char* zone;
    const char* date;
    const char* other;
    std::int64_t days;
  };
  const std::vector<Case> cases = {
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
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(numberOfDaysSince(isoDate(c.date), isoDate(c.other), Calendar(c.zone)), c.days)
        << "case " << i;
  }
}

TEST(DateExtensions, StrictIntersectionExcludesTouchingIntervals) {
  const auto interval = [](const char* start, const char* end) {
    return DateInterval(isoDate(start), isoDate(end));
  };
  const DateInterval nineToTen = interval("2018-06-01T09:00:00Z", "2018-06-01T10:00:00Z");
  struct Case {
    DateInterval other;
    bool strict;
  };
  const std::vector<Case> cases = {
      {interval("2018-06-01T10:00:00Z", "2018-06-01T11:00:00Z"), false},  // starts at our end
      {interval("2018-06-01T08:00:00Z", "2018-06-01T09:00:00Z"), false},  // ends at our start
      {interval("2018-06-01T10:00:01Z", "2018-06-01T11:00:00Z"), false},  // apart
      {interval("2018-06-01T09:59:59Z", "2018-06-01T11:00:00Z"), true},   // one second shared
      {interval("2018-06-01T09:15:00Z", "2018-06-01T09:45:00Z"), true},   // inside
      {interval("2018-06-01T08:00:00Z", "2018-06-01T12:00:00Z"), true},   // around
      {nineToTen, true},
      {interval("2018-06-01T10:00:00Z", "2018-06-01T10:00:00Z"), true},   // empty at our end
      {interval("2018-06-01T09:00:00Z", "2018-06-01T09:00:00Z"), true},   // empty at our start
      {interval("2018-06-01T10:00:01Z", "2018-06-01T10:00:01Z"), false},  // empty outside
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(intersectsStrict(nineToTen, cases[i].other), cases[i].strict) << "case " << i;
    EXPECT_EQ(intersectsStrict(cases[i].other, nineToTen), cases[i].strict) << "reversed " << i;
  }
}

}  // namespace
}  // namespace chronelle
