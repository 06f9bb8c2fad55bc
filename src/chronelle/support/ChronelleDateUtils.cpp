#include "chronelle/support/ChronelleDateUtils.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace chronelle {

double ChronelleDateUtils::effectiveDuration(Date from, Date to) {
  const auto wholeSecond = [](Date date) {
    return std::chrono::floor<std::chrono::seconds>(date.timePoint() + Date::Micros(1));
  };
  const auto start = wholeSecond(from);
  const auto end = wholeSecond(to);
  return static_cast<double>((end - start).count());
}

Date ChronelleDateUtils::flooredToSeconds(Date date) {
  return Date(std::chrono::time_point_cast<Date::Micros>(
      std::chrono::floor<std::chrono::seconds>(date.timePoint())));
}

std::string ChronelleDateUtils::toString(double seconds, DurationFormat format) {
  // Beyond 2^62 s the integer would overflow; no meaningful duration is that long.
  if (!std::isfinite(seconds) || std::fabs(seconds) >= 4.6e18) return "--";
  const auto total = static_cast<std::int64_t>(std::trunc(std::fabs(seconds)));
  const char* sign = (total > 0 && seconds < 0) ? "-" : "";
  const long long hours = total / 3600;
  const int minutes = static_cast<int>((total / 60) % 60);
  const int secs = static_cast<int>(total % 60);
  char buffer[64] = {};
  switch (format) {
    case DurationFormat::hoursMinutesSeconds:
      std::snprintf(buffer, sizeof buffer, "%s%lld:%02d:%02d", sign, hours, minutes, secs);
      break;
    case DurationFormat::hoursMinutes:
      std::snprintf(buffer, sizeof buffer, "%s%lld:%02d", sign, hours, minutes);
      break;
    case DurationFormat::hoursMinutesShort:
      std::snprintf(buffer, sizeof buffer, "%s%lldh %02dm", sign, hours, minutes);
      break;
    case DurationFormat::hoursMinutesSecondsShort:
      std::snprintf(buffer, sizeof buffer, "%s%lldh %02dm %02ds", sign, hours, minutes, secs);
      break;
  }
  return buffer;
}

}  // namespace chronelle
