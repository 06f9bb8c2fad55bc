#include "chronelle/support/DurationParsing.h"

#include <algorithm>
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

// The seconds of a clock text within a day: "h:m" or "h:m:s", each field one or two ASCII
// digits (so "1:5" is 1:05 and "09:30:00" is 9:30), hours 0–23, minutes and seconds 0–59.
// A date formatter in strict mode refuses one-digit minutes and seconds, which people type,
// yet reads "1:030" as 1:30; a field of three digits is more likely a typing slip than a
// time, so it is refused here and the text goes on to the unit patterns (which refuse it).
std::optional<double> clockDuration(const std::string& text) {
  int fields[3] = {0, 0, 0};
  int count = 0;
  std::size_t position = 0;
  while (true) {
    int digits = 0;
    int value = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
      if (++digits > 2) return std::nullopt;
      value = value * 10 + (text[position] - '0');
      ++position;
    }
    if (digits == 0 || count == 3) return std::nullopt;
    fields[count++] = value;
    if (position == text.size()) break;
    if (text[position] != ':') return std::nullopt;
    ++position;
  }
  if (count < 2 || fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return std::nullopt;
  return fields[0] * 3600.0 + fields[1] * 60.0 + fields[2];
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

  if (const auto seconds = clockDuration(value)) return seconds;

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
