#include "chronelle/platform/Date.h"

#include <cmath>
#include <cstdio>

namespace chronelle {

namespace {

// Seconds from 1970 to 0001-01-01 and to 4001-01-01, both UTC (proleptic Gregorian).
constexpr std::int64_t kDistantPastSeconds = -62135596800;
constexpr std::int64_t kDistantFutureSeconds = 64092211200;

}  // namespace

Date Date::fromSecondsSince1970(double seconds) {
  return fromMicroseconds(static_cast<std::int64_t>(std::llround(seconds * 1e6)));
}

Date Date::distantPast() { return fromMicroseconds(kDistantPastSeconds * 1'000'000); }

Date Date::distantFuture() { return fromMicroseconds(kDistantFutureSeconds * 1'000'000); }

double Date::timeIntervalSince1970() const {
  return static_cast<double>(microsecondsSince1970()) / 1e6;
}

double Date::timeIntervalSince(Date other) const {
  // Subtract in integers first so two nearby instants far from 1970 keep their precision.
  return static_cast<double>(microsecondsSince1970() - other.microsecondsSince1970()) / 1e6;
}

Date Date::addingTimeInterval(double seconds) const {
  return fromMicroseconds(microsecondsSince1970() +
                          static_cast<std::int64_t>(std::llround(seconds * 1e6)));
}

std::string Date::isoString() const {
  using namespace std::chrono;
  const auto day = floor<days>(tp_);
  const year_month_day ymd{day};
  const auto sinceMidnight = tp_ - day;
  const auto h = duration_cast<hours>(sinceMidnight);
  const auto m = duration_cast<minutes>(sinceMidnight - h);
  const auto s = duration_cast<seconds>(sinceMidnight - h - m);
  const auto us = (sinceMidnight - h - m - s).count();
  char buffer[64];
  if (us == 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(h.count()), int(m.count()),
                  int(s.count()));
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%06lldZ",
                  int(ymd.year()), unsigned(ymd.month()), unsigned(ymd.day()), int(h.count()),
                  int(m.count()), int(s.count()), static_cast<long long>(us));
  }
  return buffer;
}

}  // namespace chronelle
