#include "chronelle/platform/ZoneOffsetSpan.h"

namespace chronelle {
namespace {

constexpr std::int64_t kMicrosPerDay = 86'400'000'000;

// Floor division: local days and seconds before 1970 round towards the past.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// Days since 1970-01-01 of the first Gregorian day (1582-10-15; the day before it is Julian)
// and of 1,000,000-01-01.
constexpr std::int64_t kFirstGregorianDay = -141'427;
constexpr std::int64_t kFirstDayOfYearMillion = 364'522'972;

}  // namespace

std::optional<DateComponents> ZoneOffsetSpan::localComponents(std::int64_t micros) const {
  const std::int64_t local = micros + std::int64_t{offsetSeconds} * 1'000'000;
  const std::int64_t days = floorDiv(local, kMicrosPerDay);
  if (days < kFirstGregorianDay || days >= kFirstDayOfYearMillion) return std::nullopt;
  const auto secondOfDay = static_cast<int>((local - days * kMicrosPerDay) / 1'000'000);
  // Civil date of a day count (Howard Hinnant's algorithm), in eras of 400 years.
  const std::int64_t z = days + 719'468;
  const std::int64_t era = floorDiv(z, 146'097);
  const std::int64_t dayOfEra = z - era * 146'097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March = 0
  const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  DateComponents c;
  c.year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  c.month = month;
  c.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  c.hour = secondOfDay / 3600;
  c.minute = secondOfDay / 60 % 60;
  c.second = secondOfDay % 60;
  c.weekday = static_cast<int>((days % 7 + 11) % 7) + 1;  // 1970-01-01 was a Thursday (5)
  return c;
}

}  // namespace chronelle
