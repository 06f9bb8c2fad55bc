// Instants, intervals and their base64 neighbour, then calendars over them.
#include "chronelle/platform/Calendar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <tuple>

#include "chronelle/platform/Base64.h"
#include "chronelle/platform/DateInterval.h"
#include "teststack/ScopedTimeZone.h"

namespace chronelle {
namespace {

Date utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return *Calendar("UTC").date({y, mo, d, h, mi, s, std::nullopt});
}

TEST(Date, ArithmeticAndIsoText) {
  EXPECT_EQ(Date::fromSecondsSince1970(0.0000014).microsecondsSince1970(), 1);
  EXPECT_EQ(Date::fromSecondsSince1970(-0.0000016).microsecondsSince1970(), -2);
  const Date d = Date::fromSecondsSince1970(1'780'651'800);
  EXPECT_EQ(d.microsecondsSince1970(), 1'780'651'800'000'000);
  EXPECT_EQ(d.isoString(), "2026-06-05T09:30:00Z");
  EXPECT_EQ((d + 0.25).isoString(), "2026-06-05T09:30:00.250000Z");
  EXPECT_EQ((d - 86400.5).isoString(), "2026-06-04T09:29:59.500000Z");
  EXPECT_DOUBLE_EQ((d + 90).timeIntervalSince(d), 90);
  EXPECT_EQ(Date::distantPast().isoString(), "0001-01-01T00:00:00Z");
  EXPECT_EQ(Date::distantFuture().isoString(), "4001-01-01T00:00:00Z");
  EXPECT_EQ(Date::fromSecondsSince1970(-0.5).isoString(), "1969-12-31T23:59:59.500000Z");
}

TEST(DateInterval, ClosedIntervalRules) {
  const Date t = Date::fromSecondsSince1970(1000);
  const DateInterval a(t, t + 60), touching(t + 60, t + 120), inside(t + 10, t + 20);
  EXPECT_EQ(DateInterval(t + 5, t).duration(), 0);  // never negative
  EXPECT_TRUE(a.contains(t) && a.contains(t + 60));
  EXPECT_FALSE(a.contains(t + 60.000001));
  EXPECT_TRUE(a.intersects(touching));
  EXPECT_EQ(a.intersection(touching), DateInterval(t + 60, t + 60));
  EXPECT_EQ(a.intersection(inside), inside);
  EXPECT_EQ(a.intersection(DateInterval(t + 61, t + 70)), std::nullopt);
  EXPECT_EQ(DateInterval::withDuration(t, 30).end(), t + 30);
}

TEST(Base64, RoundTripsAndRejectsMalformedText) {
  for (std::size_t n = 0; n < 7; ++n) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(250 + i * 3));
    EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << "length " << n;
  }
  EXPECT_EQ(base64Encode(std::vector<std::uint8_t>{'M', 'a'}), "TWE=");
  EXPECT_EQ(base64Decode("zA=="), std::vector<std::uint8_t>{0xCC}) << "the last lower-case letter";
  for (const char* bad : {"TWE", "TW=E", "T$E=", "====", "TQ==TQ=="})
    EXPECT_EQ(base64Decode(bad), std::nullopt) << bad;
}

TEST(Calendar, DayLengthsAcrossDaylightSavingTransitions) {
  struct Case {
    const char* zone;
    int y, mo, d;
    Date expectedStart;
    double expectedHours;
  };
  const Case cases[] = {
      {"Europe/Berlin", 2026, 3, 29, utc(2026, 3, 28, 23), 23},   // spring forward
      {"Europe/Berlin", 2026, 10, 25, utc(2026, 10, 24, 22), 25},  // fall back
      // Brazil moved its clocks at midnight: 2018-11-04 00:00 never happened, the day
      // starts at 01:00 local (-02), 03:00 UTC.
      {"America/Sao_Paulo", 2018, 11, 4, utc(2018, 11, 4, 3), 23},
      {"UTC", 2024, 2, 29, utc(2024, 2, 29), 24},
  };
  for (const auto& c : cases) {
    Calendar cal(c.zone);
    const Date noon = *cal.date({c.y, c.mo, c.d, 12, 0, 0, std::nullopt});
    const Date start = cal.startOfDay(noon);
    EXPECT_EQ(start, c.expectedStart) << c.zone << " " << start.isoString();
    const Date next = cal.startOfDay(cal.adding(CalendarUnit::day, 1, noon));
    EXPECT_DOUBLE_EQ(next.timeIntervalSince(start) / 3600, c.expectedHours) << c.zone;
    EXPECT_TRUE(cal.isSameDay(start, noon) && !cal.isSameDay(start.addingTimeInterval(-1), noon) &&
                cal.isSameDay(next.addingTimeInterval(-1), noon)) << c.zone;
  }
}

TEST(Calendar, AddingKeepsTheWallClockForDaysAndResolvesGapsForward) {
  using U = CalendarUnit;
  // Zone, local start, what is added, the result. Days keep the wall-clock time, hours are
  // absolute time; a local time in a gap resolves to the first instant after it, a repeated
  // one to its first occurrence; months clamp to their last day.
  const std::tuple<const char*, std::array<int, 5>, U, int, Date> cases[] = {
      {"Europe/Berlin", {2026, 3, 28, 9, 30}, U::day, 1, utc(2026, 3, 29, 7, 30)},  // 23 h later
      {"Europe/Berlin", {2026, 3, 29, 1, 30}, U::hour, 1, utc(2026, 3, 29, 1, 30)},  // 03:30
      {"Europe/Berlin", {2026, 3, 29, 2, 30}, U::day, 0, utc(2026, 3, 29, 1)},  // 03:00
      {"Europe/Berlin", {2026, 10, 25, 2, 30}, U::day, 0, utc(2026, 10, 25, 0, 30)},
      {"America/Sao_Paulo", {2018, 11, 3, 0, 0}, U::day, 1, utc(2018, 11, 4, 3)},  // no midnight
      {"UTC", {2026, 1, 31, 8, 0}, U::month, 1, utc(2026, 2, 28, 8)},
      {"UTC", {2026, 1, 3, 0, 0}, U::weekOfYear, -1, utc(2025, 12, 27)},
  };
  for (const auto& [zone, l, unit, value, expected] : cases) {
    const Calendar calendar(zone);
    const Date local = *calendar.date({l[0], l[1], l[2], l[3], l[4], 0, std::nullopt});
    EXPECT_EQ(calendar.adding(unit, value, local), expected) << zone << " " << value;
  }
  const Calendar berlin("Europe/Berlin");  // before and after the repeated hour
  EXPECT_EQ(std::pair(berlin.secondsFromGMT(utc(2026, 10, 25, 0, 30)),
                      berlin.secondsFromGMT(utc(2026, 10, 25, 1, 30))), std::pair(7200, 3600));
  // Microseconds survive ICU's millisecond arithmetic.
  EXPECT_EQ(Calendar("UTC").adding(U::month, 1, utc(2026, 1, 31, 8) + 0.000123),
            utc(2026, 2, 28, 8) + 0.000123);
}

TEST(Calendar, ComponentsRoundTripAndFormatting) {
  Calendar tokyo("Asia/Tokyo", 2, "de_DE");
  const Date instant = utc(2026, 12, 31, 20, 15, 7);  // 05:15:07 on 1 January in Tokyo
  const DateComponents c = tokyo.components(instant);
  EXPECT_EQ(c, (DateComponents{2027, 1, 1, 5, 15, 7, 6}));  // a Friday
  EXPECT_EQ(tokyo.date(c), instant);
  EXPECT_EQ(tokyo.format(instant, "yyyy-MM-dd HH:mm:ss"), "2027-01-01 05:15:07");
  EXPECT_EQ(tokyo.format(instant, "EEEE"), "Freitag");
  // Out-of-range fields roll over.
  EXPECT_EQ(Calendar("UTC").date({2026, 1, 32, 25, 0, 0, std::nullopt}), utc(2026, 2, 2, 1));
  EXPECT_EQ(std::pair(Calendar("UTC", 0, "en_US").firstWeekday(), Calendar("UTC", 0, "fr_FR").firstWeekday()), std::pair(1, 2));
}

// Local fields come from the offset of the stretch between two transitions that was last
// asked about; the instants around each transition, asked out of order, must each get their
// own side's offset, and every field must be what ICU's formatter (its own calendar) writes.
TEST(Calendar, LocalFieldsAtZoneTransitionsMatchIcu) {
  struct Case {
    const char* zone;
    Date transition;
    int before, after;  // seconds from UTC on either side
  };
  const Case cases[] = {
      {"Europe/Berlin", utc(2026, 3, 29, 1), 3600, 7200},
      {"Europe/Dublin", utc(2026, 10, 25, 1), 3600, 0},
      {"Australia/Lord_Howe", utc(2025, 4, 5, 15), 39600, 37800},  // half an hour back
      {"America/St_Johns", utc(2025, 3, 9, 5, 30), -12600, -9000},
      {"Pacific/Apia", utc(2011, 12, 30, 10), -36000, 50400},  // 30 December 2011 never happened
      {"UTC", utc(2026, 1, 1), 0, 0},
  };
  const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const auto icuFields = [&](const Calendar& calendar, Date instant) {
    int f[6] = {};
    char weekday[8] = {};
    const std::string text = calendar.format(instant, "u MM dd HH mm ss EEE");
    std::sscanf(text.c_str(), "%d %d %d %d %d %d %3s", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], weekday);
    const int day = static_cast<int>(std::find_if(std::begin(weekdays), std::end(weekdays),
                                                  [&](const char* w) { return std::string(w) == weekday; }) -
                                     std::begin(weekdays)) + 1;
    return DateComponents{f[0], f[1], f[2], f[3], f[4], f[5], day};
  };
  for (const Case& c : cases) {
    const Calendar calendar(c.zone);
    const double steps[] = {0, -1, 3600, -0.000001, 0.000001, -86400 * 400.0, 0, 86400 * 400.0};
    for (double step : steps) {
      const Date instant = c.transition + step;
      EXPECT_EQ(calendar.secondsFromGMT(instant), step < 0 ? c.before : c.after) << c.zone << " " << instant.isoString();
      EXPECT_EQ(calendar.components(instant), icuFields(calendar, instant)) << c.zone << " " << instant.isoString();
    }
  }
  // A local mean time (+00:19:32), days before 1970, and the Julian days before 15 October 1582
  // (ICU's 4 October 1582 was the day before it).
  const Calendar amsterdam("Europe/Amsterdam");
  for (const Date instant : {utc(1900, 6, 1), utc(1969, 12, 31, 23, 59, 59), utc(1582, 10, 15), utc(1582, 10, 4, 23),
                             utc(1000, 2, 28, 12), Date::fromSecondsSince1970(1'234'567'890.999999)}) {
    EXPECT_EQ(amsterdam.components(instant), icuFields(amsterdam, instant)) << instant.isoString();
  }
}

TEST(Calendar, RejectsUnknownZonesAndFollowsTheProcessZone) {
  EXPECT_THROW(Calendar("Mars/Olympus_Mons"), std::invalid_argument);
  EXPECT_THROW(Calendar("UTC", 8), std::invalid_argument);
  EXPECT_EQ(Calendar("Europe/Berlin").withTimeZone("UTC"), Calendar("UTC"));
  EXPECT_NE(Calendar("UTC").withFirstWeekday(2), Calendar("UTC"));

  const Calendar current = [] {
    const testing::ScopedTimeZone newYork("America/New_York");
    return Calendar::current();
  }();
  EXPECT_EQ(current.timeZoneIdentifier(), "America/New_York");
  EXPECT_EQ(current.secondsFromGMT(utc(2026, 1, 15)), -5 * 3600);
}

}  // namespace
}  // namespace chronelle
