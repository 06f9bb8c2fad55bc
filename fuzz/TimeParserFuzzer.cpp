// The command line's time, duration and amount parsers on arbitrary text. Bad text must be
// a usage error (CliError) and nothing else. A time with an explicit offset is checked
// against an independent reading with <chrono>: it must parse exactly when the civil date
// exists, to the same instant.

#include <chrono>
#include <cmath>
#include <regex>
#include <string>

#include "CliError.h"
#include "FuzzSupport.h"
#include "TimeParser.h"

namespace {

using namespace chronelle;

// The instant of "YYYY-MM-DD[T ]hh:mm[:ss](Z|±hh:mm)" by the proleptic Gregorian calendar;
// absent when a field is out of range. Only years from 1900 are compared: ICU's calendar
// switches to the Julian calendar before 1582, on purpose.
std::optional<std::int64_t> expectedMicros(const std::string& text, bool& applies) {
  static const std::regex form(
      R"(^(\d{4})-(\d{2})-(\d{2})[T ](\d{2}):(\d{2})(?::(\d{2}))?(Z|([+-])(\d{2}):(\d{2}))$)");
  std::smatch m;
  applies = std::regex_match(text, m, form) && std::stoi(m[1]) >= 1900;
  if (!applies) return std::nullopt;
  using namespace std::chrono;
  const year_month_day day{year{std::stoi(m[1])}, month{static_cast<unsigned>(std::stoi(m[2]))},
                           std::chrono::day{static_cast<unsigned>(std::stoi(m[3]))}};
  const int h = std::stoi(m[4]), min = std::stoi(m[5]), s = m[6].matched ? std::stoi(m[6]) : 0;
  const int oh = m[8].matched ? std::stoi(m[9]) : 0, om = m[8].matched ? std::stoi(m[10]) : 0;
  if (!day.ok() || h > 23 || min > 59 || s > 59 || oh > 23 || om > 59) return std::nullopt;
  const int sign = m[8].matched && m[8] == "-" ? -1 : 1;
  const auto local = sys_days(day) + hours(h) + minutes(min) + seconds(s);
  const auto instant = local - sign * (hours(oh) + minutes(om));
  return duration_cast<microseconds>(instant.time_since_epoch()).count();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view input = fuzz::asText(data, size);
  static const cli::TimeParser parser(Calendar("Europe/Berlin"),
                                      Date::fromMicroseconds(1'796'000'000'000'000));
  std::optional<Date> parsed;
  try {
    parsed = parser.parseTime(input);
  } catch (const cli::CliError& e) {
    if (e.kind() != cli::CliError::Kind::usage) fuzz::fail("time: not a usage error", input);
  }
  bool applies = false;
  const auto expected = expectedMicros(std::string(input), applies);
  if (applies) {
    if (parsed.has_value() != expected.has_value())
      fuzz::fail(parsed ? "an impossible time parsed" : "a valid time was refused", input);
    if (parsed && parsed->microsecondsSince1970() != *expected)
      fuzz::fail("wrong instant " + parsed->isoString(), input);
  }

  for (const auto parse : {&cli::TimeParser::parseDuration, &cli::TimeParser::parseAmount}) {
    try {
      const double value = parse(input);
      if (!(value >= 0) || !std::isfinite(value)) fuzz::fail("accepted a bad number", input);
    } catch (const cli::CliError& e) {
      if (e.kind() != cli::CliError::Kind::usage) fuzz::fail("number: not a usage error", input);
    }
  }
  return 0;
}
