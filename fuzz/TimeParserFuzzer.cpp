// The command line's time, duration and amount parsers, and its checks of names and notes,
// on arbitrary text. Bad text must be a usage error (CliError) and nothing else, whose message
// is one short printable line of UTF-8 however long or hostile the text; text a check accepts
// is UTF-8 without control characters; and any text, once stored, renders as valid JSON. A time with an explicit offset is checked
// against an independent reading with <chrono>: it must parse exactly when the civil date
// exists, to the same instant.

#include <chrono>
#include <cmath>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "CliError.h"
#include "FuzzSupport.h"
#include "TextInput.h"
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

// Whether `text` is UTF-8, judged by the JSON library's strict writer rather than by the code
// under test.
bool isUtf8(std::string_view text) {
  try {
    (void)nlohmann::json(std::string(text)).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

bool hasControl(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) return true;
    // U+0080 to U+009F, the C1 controls.
    if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9f) return true;
  }
  return false;
}

// A message for stderr: one line, printable, UTF-8, short.
void checkMessage(const char* where, const std::string& message, std::string_view input) {
  if (message.size() > 600) fuzz::fail(std::string(where) + ": message too long", input);
  if (hasControl(message) || !isUtf8(message)) fuzz::fail(std::string(where) + ": unprintable message", input);
}

void checkRefusal(const char* where, const chronelle::cli::CliError& e, std::string_view input) {
  if (e.kind() != chronelle::cli::CliError::Kind::usage) fuzz::fail(std::string(where) + ": not a usage error", input);
  checkMessage(where, e.what(), input);
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
    checkRefusal("time", e, input);
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
      checkRefusal("number", e, input);
    }
  }

  try {
    cli::checkName(input);
    if (!isUtf8(input) || hasControl(input) || input.find('/') != std::string_view::npos ||
        input.size() > cli::kMaxNameBytes || input.find_first_not_of(' ') == std::string_view::npos)
      fuzz::fail("accepted a bad name", input);
  } catch (const cli::CliError& e) {
    checkRefusal("name", e, input);
  }
  try {
    cli::checkNotes(input);
    std::string rest(input);
    std::erase_if(rest, [](char c) { return c == '\n' || c == '\t'; });
    if (!isUtf8(input) || hasControl(rest) || input.size() > cli::kMaxNotesBytes)
      fuzz::fail("accepted bad notes", input);
  } catch (const cli::CliError& e) {
    checkRefusal("notes", e, input);
  }
  checkMessage("quote", cli::quoteInput(input), input);
  checkMessage("line", cli::oneLine(input), input);
  // What a view writes for stored text, whatever it is, reads back as JSON.
  const std::string view =
      nlohmann::json(std::string(input)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (!nlohmann::json::accept(view)) fuzz::fail("a view wrote invalid JSON", input);
  return 0;
}
