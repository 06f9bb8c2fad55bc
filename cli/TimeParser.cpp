#include "TimeParser.h"

#include <cmath>
#include <regex>

#include "CliError.h"
#include "TextInput.h"
#include "chronelle/support/DurationParsing.h"
#include "chronelle/support/NumberParsing.h"

namespace chronelle::cli {
namespace {

[[noreturn]] void badTime(std::string_view text, const std::string& why = "") {
  throw CliError::usage("bad time " + quoteInput(text) + (why.empty() ? "" : ": " + why) +
                        " (expected e.g. 2026-12-05T09:30, '2026-12-05 09:30:00+01:00' or 09:30)");
}

int number(const std::ssub_match& m) { return m.matched ? std::stoi(m.str()) : 0; }

}  // namespace

Date TimeParser::parseTime(std::string_view text) const {
  if (text == "now") return now_;
  static const std::regex full(
      R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2}))?)?(Z|[+-]\d{2}:\d{2})?$)");
  static const std::regex timeOnly(R"(^(\d{2}):(\d{2})(?::(\d{2}))?$)");
  const std::string input(text);
  std::smatch m;
  DateComponents wanted;
  std::string zone;
  if (std::regex_match(input, m, full)) {
    wanted.year = number(m[1]);
    wanted.month = number(m[2]);
    wanted.day = number(m[3]);
    wanted.hour = number(m[4]);
    wanted.minute = number(m[5]);
    wanted.second = number(m[6]);
    zone = m[7].str();
    if (!m[4].matched && !zone.empty()) badTime(text, "an offset needs a time of day");
  } else if (std::regex_match(input, m, timeOnly)) {
    const DateComponents today = calendar_.components(now_);
    wanted.year = today.year;
    wanted.month = today.month;
    wanted.day = today.day;
    wanted.hour = number(m[1]);
    wanted.minute = number(m[2]);
    wanted.second = number(m[3]);
  } else {
    badTime(text);
  }
  if (*wanted.month < 1 || *wanted.month > 12 || *wanted.day < 1 || *wanted.day > 31 || *wanted.hour > 23 ||
      *wanted.minute > 59 || *wanted.second > 59) {
    badTime(text, "field out of range");
  }

  // With an explicit offset the fields are read as UTC and shifted; otherwise the calendar
  // resolves the wall-clock time in its zone.
  const Calendar utc("UTC");
  const Calendar& reading = zone.empty() ? calendar_ : utc;
  const auto date = reading.date(wanted);
  if (!date) badTime(text);
  // Out-of-range days roll over in the calendar (31 February → 3 March); refuse them.
  const DateComponents back = reading.components(*date);
  if (back.year != wanted.year || back.month != wanted.month || back.day != wanted.day) {
    badTime(text, "no such day");
  }
  if (zone.empty() || zone == "Z") return *date;
  const int sign = zone[0] == '-' ? -1 : 1;
  const int hours = std::stoi(zone.substr(1, 2));
  const int minutes = std::stoi(zone.substr(4, 2));
  if (hours > 23 || minutes > 59) badTime(text, "bad offset");
  return date->addingTimeInterval(-sign * (hours * 3600.0 + minutes * 60.0));
}

double TimeParser::parseDuration(std::string_view text) {
  const auto seconds = toTimeInterval(text);
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0) {
    throw CliError::usage("bad duration " + quoteInput(text) + " (expected e.g. 1h30m, 90, 1:30 or 2.5h)");
  }
  return *seconds;
}

double TimeParser::parseAmount(std::string_view text) {
  const auto value = toDoubleByUsingFlexibleSeparator(text);
  if (!value || !std::isfinite(*value) || *value < 0) {
    throw CliError::usage("bad amount " + quoteInput(text) + " (expected a number such as 80 or 72.50)");
  }
  return *value;
}

}  // namespace chronelle::cli
