#include "chronelle/support/DurationParsing.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "chronelle/support/NumberParsing.h"
#include "chronelle/support/UnicodeText.h"

namespace chronelle {
namespace {

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

// One code point of the normalised text and where its bytes lie.
struct CodePoint {
  UChar32 value;  // negative for a malformed byte sequence
  std::size_t begin;
  std::size_t end;
};

std::vector<CodePoint> codePoints(const std::string& text) {
  std::vector<CodePoint> points;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t offset = 0;
  while (offset < length) {
    const int32_t start = offset;
    UChar32 c = 0;
    U8_NEXT(bytes, offset, length, c);
    points.push_back({c, static_cast<std::size_t>(start), static_cast<std::size_t>(offset)});
  }
  return points;
}

// A decimal digit of any script, as a regular expression's \d reads it: "١٢" counts as
// digits here and is then refused as a number literal.
bool isDigit(const CodePoint& point) { return point.value >= 0 && u_isdigit(point.value); }

// The characters a regular expression's "." does not cross.
bool isLineTerminator(const CodePoint& point) {
  const UChar32 c = point.value;
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The bytes from `first` up to the end of `last` (inclusive) as a number, or nothing.
std::optional<double> numberBetween(const std::string& text, const CodePoint& first, const CodePoint& last) {
  return parseNumberLiteral(std::string_view(text).substr(first.begin, last.end - first.begin));
}

// The runs of digits that read as numbers, in order ("1h30m" gives 1 and 30).
std::vector<double> digitRuns(const std::string& text, const std::vector<CodePoint>& points) {
  std::vector<double> numbers;
  for (std::size_t i = 0; i < points.size();) {
    if (!isDigit(points[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < points.size() && isDigit(points[j + 1])) ++j;
    if (const auto number = numberBetween(text, points[i], points[j])) numbers.push_back(*number);
    i = j + 1;
  }
  return numbers;
}

// Whether digits followed by each of `units` in turn, with digits between, occur anywhere:
// "hms" finds "1h30m15s" inside a longer text.
bool hasDigitsBeforeEachUnit(const std::vector<CodePoint>& points, std::string_view units) {
  for (std::size_t i = 1; i < points.size(); ++i) {
    if (points[i].value != units.front() || !isDigit(points[i - 1])) continue;
    std::size_t position = i + 1;
    bool found = true;
    for (const char unit : units.substr(1)) {
      const std::size_t digitsBegin = position;
      while (position < points.size() && isDigit(points[position])) ++position;
      if (position == digitsBegin || position == points.size() || points[position].value != unit) {
        found = false;
        break;
      }
      ++position;
    }
    if (found) return true;
  }
  return false;
}

// The amount before a single unit letter: some digit must be directly followed by `unit`,
// and the text must hold exactly one number, read from the start of its line to the line's
// last digit ("2.5h" gives 2.5; "1h30" and "2x3h" give nothing, being no number).
std::optional<double> singleNumberWithUnit(const std::string& text, const std::vector<CodePoint>& points,
                                           char unit, double factor) {
  bool unitAfterDigit = false;
  for (std::size_t i = 1; i < points.size() && !unitAfterDigit; ++i) {
    unitAfterDigit = points[i].value == unit && isDigit(points[i - 1]);
  }
  if (!unitAfterDigit) return std::nullopt;
  std::vector<double> numbers;
  for (std::size_t lineBegin = 0; lineBegin < points.size();) {
    std::size_t lineEnd = lineBegin;
    std::optional<std::size_t> lastDigit;
    for (; lineEnd < points.size() && !isLineTerminator(points[lineEnd]); ++lineEnd) {
      if (isDigit(points[lineEnd])) lastDigit = lineEnd;
    }
    if (lastDigit) {
      if (const auto number = numberBetween(text, points[lineBegin], points[*lastDigit])) numbers.push_back(*number);
    }
    lineBegin = lineEnd + 1;
  }
  if (numbers.size() != 1) return std::nullopt;
  return numbers.front() * factor;
}

}  // namespace

std::optional<double> toTimeInterval(std::string_view text) {
  const std::string value = normalised(text);

  if (const auto number = parseNumberLiteral(value)) return *number * 60;

  if (const auto seconds = clockDuration(value)) return seconds;

  // The unit forms. Each is scanned for by hand in one pass: a regular expression would
  // cost more to compile than the whole parse, and its backtracking grows with the text.
  const auto points = codePoints(value);
  if (hasDigitsBeforeEachUnit(points, "hms")) {
    const auto numbers = digitRuns(value, points);
    if (numbers.size() == 3) return numbers[0] * 3600 + numbers[1] * 60 + numbers[2];
  }
  if (hasDigitsBeforeEachUnit(points, "hm")) {
    const auto numbers = digitRuns(value, points);
    if (numbers.size() == 2) return numbers[0] * 3600 + numbers[1] * 60;
  }
  if (const auto hours = singleNumberWithUnit(value, points, 'h', 3600)) return hours;
  return singleNumberWithUnit(value, points, 'm', 60);
}

}  // namespace chronelle
