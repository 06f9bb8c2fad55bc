#include "TimeParser.h"

#include <cmath>
#include <optional>
#include <string>

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

// Reads exactly `count` ASCII digits at `at`, moving past them.
std::optional<int> digits(std::string_view text, std::size_t& at, std::size_t count) {
  if (text.size() - at < count) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  at += count;
  return value;
}

bool skip(std::string_view text, std::size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

// The fields of `HH:MM[:SS]` from `at` (moving past them); nothing when they are not there.
bool timeOfDay(std::string_view text, std::size_t& at, DateComponents& wanted) {
  const auto hour = digits(text, at, 2);
  if (!hour || !skip(text, at, ':')) return false;
  const auto minute = digits(text, at, 2);
  if (!minute) return false;
  wanted.hour = *hour;
  wanted.minute = *minute;
  wanted.second = 0;
  if (skip(text, at, ':')) {
    const auto second = digits(text, at, 2);
    if (!second) return false;
    wanted.second = *second;
  }
  return true;
}

// `YYYY-MM-DD[(T| )HH:MM[:SS]][Z|±HH:MM]`, scanned by hand: a regular expression costs more
// to compile than the whole rest of a command that adds an entry.
bool fullDate(std::string_view text, DateComponents& wanted, std::string& zone, bool& withTime) {
  std::size_t at = 0;
  const auto year = digits(text, at, 4);
  if (!year || !skip(text, at, '-')) return false;
  const auto month = digits(text, at, 2);
  if (!month || !skip(text, at, '-')) return false;
  const auto day = digits(text, at, 2);
  if (!day) return false;
  wanted.year = *year;
  wanted.month = *month;
  wanted.day = *day;
  wanted.hour = wanted.minute = wanted.second = 0;
  withTime = at < text.size() && (text[at] == 'T' || text[at] == ' ');
  if (withTime && !timeOfDay(text, ++at, wanted)) return false;
  if (skip(text, at, 'Z')) {
    zone = "Z";
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const std::size_t start = at++;
    if (!digits(text, at, 2) || !skip(text, at, ':') || !digits(text, at, 2)) return false;
    zone = std::string(text.substr(start, at - start));
  }
  return at == text.size();
}

}  // namespace

Date TimeParser::parseTime(std::string_view text) const {
  if (text == "now") return now_;
  DateComponents wanted;
  std::string zone;
  bool withTime = false;
  if (fullDate(text, wanted, zone, withTime)) {
    if (!withTime && !zone.empty()) badTime(text, "an offset needs a time of day");
  } else {
    // A time of day alone is today's.
    wanted = DateComponents{};
    zone.clear();
    std::size_t at = 0;
    if (!timeOfDay(text, at, wanted) || at != text.size()) badTime(text);
    const DateComponents today = calendar_.components(now_);
    wanted.year = today.year;
    wanted.month = today.month;
    wanted.day = today.day;
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
