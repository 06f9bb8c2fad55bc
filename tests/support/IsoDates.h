#pragma once

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "chronelle/platform/Date.h"

namespace chronelle::testing {

// The instant of an ISO 8601 text with an explicit offset, e.g. "2018-11-04T01:00:00-02:00" or
// "2018-03-25T10:07:30.5Z", computed with the civil-date arithmetic of <chrono> rather than
// the calendar under test, so that expected values do not rest on the code being tested.
inline Date isoDate(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, consumed = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%n", &year, &month, &day, &hour, &minute, &second,
                  &consumed) != 6) {
    throw std::invalid_argument("not an ISO date: " + text);
  }
  std::size_t at = static_cast<std::size_t>(consumed);
  long long micros = 0;
  if (at < text.size() && text[at] == '.') {
    for (long long scale = 100000; ++at < text.size() && text[at] >= '0' && text[at] <= '9'; scale /= 10) {
      micros += (text[at] - '0') * scale;
    }
  }
  int offsetHours = 0, offsetMinutes = 0;
  const std::string offset = text.substr(at);
  if (offset != "Z" && (offset.size() != 6 || std::sscanf(offset.c_str() + 1, "%d:%d", &offsetHours, &offsetMinutes) != 2)) {
    throw std::invalid_argument("no offset in: " + text);
  }
  using namespace std::chrono;
  const sys_days civilDay{year_month_day{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))}};
  const auto offsetSeconds = seconds((offsetHours * 3600 + offsetMinutes * 60) * (offset[0] == '-' ? -1 : 1));
  return Date(Date::TimePoint(duration_cast<microseconds>(civilDay.time_since_epoch()) + hours(hour) +
                              minutes(minute) + seconds(second) + microseconds(micros) - offsetSeconds));
}

}  // namespace chronelle::testing
