#include "chronelle/support/DurationParsing.h"

#include <unicode/locid.h>
#include <unicode/parsepos.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/support/NumberParsing.h"
#include "chronelle/support/RegexMatching.h"
#include "chronelle/support/UnicodeText.h"

namespace chronelle {
namespace {

// Enough for any text a person types many times over; it caps the backtracking patterns
// below on hostile input.
constexpr RegexLimits kLimits{200};

// Every occurrence of `from` replaced by `to`, in one left-to-right pass (the result is not
// searched again).
std::string replacingOccurrences(const std::string& text, std::string_view from,
                                 std::string_view to) {
  std::string result;
  result.reserve(text.size());
  std::size_t position = 0;
  while (true) {
    const std::size_t found = text.find(from, position);
    if (found == std::string::npos) break;
    result.append(text, position, found - position);
    result.append(to);
    position = found + from.size();
  }
  result.append(text, position, std::string::npos);
  return result;
}

std::string normalised(std::string_view text) {
  std::string result = lowercased(trimmingWhitespaceAndNewlines(text));
  result.erase(std::remove(result.begin(), result.end(), ' '), result.end());
  std::replace(result.begin(), result.end(), ',', '.');
  result = replacingOccurrences(result, "min", "m");
  return replacingOccurrences(result, "sec", "s");
}

// A strict "HH:mm(:ss)" parser in UTC and the POSIX locale, so that neither the user's zone
// nor their digits change the result. ICU formatters are not thread-safe; each thread keeps
// its own.
class ClockParser {
 public:
  explicit ClockParser(const char* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    format_ = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(pattern),
                                                      icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status)) {
      format_.reset();
      return;
    }
    format_->setLenient(false);
    format_->setTimeZone(*icu::TimeZone::getGMT());
  }

  // Milliseconds of the parsed instant; absent unless the whole text parses.
  std::optional<UDate> parse(const std::string& text) const {
    if (!format_) return std::nullopt;
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    icu::ParsePosition position(0);
    const UDate date = format_->parse(unicode, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != unicode.length()) {
      return std::nullopt;
    }
    return date;
  }

 private:
  std::unique_ptr<icu::SimpleDateFormat> format_;
};

// The seconds from the formatter's midnight to the clock time `text`.
std::optional<double> clockDuration(const ClockParser& parser, const std::string& text,
                                    const char* midnight) {
  const auto time = parser.parse(text);
  if (!time) return std::nullopt;
  const auto reference = parser.parse(midnight);
  if (!reference) return std::nullopt;
  return (*time - *reference) / 1000.0;
}

// The matches of `extraction` in `text` that are number literals, in order; absent when the
// search fails.
std::optional<std::vector<double>> numbersMatching(const std::string& text,
                                                   const char* extraction) {
  const auto matches = matchesForRegex(text, extraction, kLimits);
  if (!matches) return std::nullopt;
  std::vector<double> numbers;
  for (const std::string& match : *matches) {
    if (const auto number = parseNumberLiteral(match)) numbers.push_back(*number);
  }
  return numbers;
}

bool matches(const std::string& text, const char* pattern) {
  return matchesRegex(text, pattern, kLimits).value_or(false);
}

// "(\d*)(.*)(\d+)<unit>" matches exactly when some digit is directly followed by the unit
// letter (the first two groups may be empty). This linear check spares the backtracking
// search, which is cubic in the length of a long digit run, on the texts it cannot match.
bool mayHaveNumberBeforeUnit(const std::string& text, char unit) {
  const std::string quick = std::string("\\d") + unit;
  return matches(text, quick.c_str());
}

// A single number before `unit`, times `factor`.
std::optional<double> singleNumberWithUnit(const std::string& text, char unit, double factor,
                                           const char* pattern) {
  if (!mayHaveNumberBeforeUnit(text, unit) || !matches(text, pattern)) return std::nullopt;
  const auto numbers = numbersMatching(text, "(\\d*)(.*)(\\d+)");
  if (!numbers || numbers->size() != 1) return std::nullopt;
  return numbers->front() * factor;
}

}  // namespace

std::optional<double> toTimeInterval(std::string_view text) {
  const std::string value = normalised(text);

  if (const auto number = parseNumberLiteral(value)) return *number * 60;

  thread_local const ClockParser withSeconds("HH:mm:ss");
  if (const auto seconds = clockDuration(withSeconds, value, "00:00:00")) return seconds;
  thread_local const ClockParser withoutSeconds("HH:mm");
  if (const auto seconds = clockDuration(withoutSeconds, value, "00:00")) return seconds;

  if (matches(value, "(\\d+)h(\\d+)m(\\d+)s")) {
    const auto numbers = numbersMatching(value, "\\d+");
    if (numbers && numbers->size() == 3) {
      return (*numbers)[0] * 3600 + (*numbers)[1] * 60 + (*numbers)[2];
    }
  }
  if (matches(value, "(\\d+)h(\\d+)m")) {
    const auto numbers = numbersMatching(value, "\\d+");
    if (numbers && numbers->size() == 2) return (*numbers)[0] * 3600 + (*numbers)[1] * 60;
  }
  if (const auto hours = singleNumberWithUnit(value, 'h', 3600, "(\\d*)(.*)(\\d+)h")) {
    return hours;
  }
  return singleNumberWithUnit(value, 'm', 60, "(\\d*)(.*)(\\d+)m");
}

}  // namespace chronelle
