#include "chronelle/support/NumberParsing.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace chronelle {
namespace {

// The C locale as a handle, so parsing ignores whatever locale the process has set.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool startsWithExcludedCharacter(char c) {
  switch (c) {
    case '\0':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case ' ':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::optional<double> parseNumberLiteral(std::string_view text) {
  if (text.empty() || startsWithExcludedCharacter(text.front())) return std::nullopt;
  // strtod needs a terminated copy; a NUL inside the text stops it early, which the
  // full-consumption check below then rejects.
  const std::string copy(text);
  char* end = nullptr;
  const locale_t locale = cLocale();
  const double value = locale != static_cast<locale_t>(nullptr)
                           ? strtod_l(copy.c_str(), &end, locale)
                           : std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

std::optional<double> toDoubleByUsingFlexibleSeparator(std::string_view text) {
  std::string candidate(text);
  const auto commas = std::count(candidate.begin(), candidate.end(), ',');
  if (commas == 1 && candidate.find('.') == std::string::npos) {
    candidate[candidate.find(',')] = '.';
  }
  return parseNumberLiteral(candidate);
}

}  // namespace chronelle
