#include "chronelle/support/RegexMatching.h"

#include <unicode/parseerr.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

namespace chronelle {
namespace {

icu::UnicodeString fromUTF8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::unique_ptr<icu::RegexPattern> compile(std::string_view pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(fromUTF8(pattern), 0, parseError, status));
  if (U_FAILURE(status)) return nullptr;
  return compiled;
}

// A matcher over `text` (which must outlive it) with the limits applied; null on failure.
std::unique_ptr<icu::RegexMatcher> matcherFor(const icu::RegexPattern& pattern,
                                              const icu::UnicodeString& text,
                                              const RegexLimits& limits) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
  if (U_FAILURE(status) || !matcher) return nullptr;
  if (limits.timeLimit > 0) {
    matcher->setTimeLimit(limits.timeLimit, status);
    if (U_FAILURE(status)) return nullptr;
  }
  return matcher;
}

}  // namespace

std::optional<bool> matchesRegex(std::string_view text, std::string_view pattern,
                                 const RegexLimits& limits) {
  const auto compiled = compile(pattern);
  if (!compiled) return std::nullopt;
  const icu::UnicodeString unicode = fromUTF8(text);
  const auto matcher = matcherFor(*compiled, unicode, limits);
  if (!matcher) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const bool found = matcher->find(status);
  if (U_FAILURE(status)) return std::nullopt;
  return found;
}

std::optional<std::vector<std::string>> matchesForRegex(std::string_view text,
                                                        std::string_view pattern,
                                                        const RegexLimits& limits) {
  const auto compiled = compile(pattern);
  if (!compiled) return std::nullopt;
  const icu::UnicodeString unicode = fromUTF8(text);
  const auto matcher = matcherFor(*compiled, unicode, limits);
  if (!matcher) return std::nullopt;
  std::vector<std::string> matches;
  UErrorCode status = U_ZERO_ERROR;
  // After an empty match, find() itself moves on by one character, so the loop ends.
  while (matcher->find(status)) {
    const icu::UnicodeString group = matcher->group(status);
    if (U_FAILURE(status)) return std::nullopt;
    std::string match;
    group.toUTF8String(match);
    matches.push_back(std::move(match));
  }
  if (U_FAILURE(status)) return std::nullopt;
  return matches;
}

}  // namespace chronelle
