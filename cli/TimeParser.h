#pragma once

#include <string>
#include <string_view>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Date.h"

namespace chronelle::cli {

// Reads the times and durations typed on the command line, in one calendar (the zone of
// `--tz`) and relative to one "now" (the clock, or `--now`). Accepted times:
//   2026-12-05T09:30, 2026-12-05 09:30, 2026-12-05 09:30:15 (local wall-clock time),
//   the same followed by Z or ±hh:mm (that offset), 2026-12-05 (start of that day),
//   09:30 or 09:30:15 (that time today), and "now".
// Local times that fall into a DST gap move forward past it, as the calendar resolves them.
// A value type; thread-safe as any value.
class TimeParser {
 public:
  TimeParser(Calendar calendar, Date now) : calendar_(std::move(calendar)), now_(now) {}

  // The instant of `text`. Throws CliError (usage) naming the text when it is not a time or
  // a field is out of range (month 13, 31 February, 24:00).
  Date parseTime(std::string_view text) const;
  // Seconds of a duration in any form the library's parser accepts ("1h30m", "90", "1:30").
  // Throws CliError (usage) when it is none, or negative.
  static double parseDuration(std::string_view text);
  // A money amount or rate ("80", "80.5", "80,5"). Throws CliError (usage) when it is not a
  // finite, non-negative number.
  static double parseAmount(std::string_view text);

  const Calendar& calendar() const { return calendar_; }
  Date now() const { return now_; }

 private:
  Calendar calendar_;
  Date now_;
};

}  // namespace chronelle::cli
