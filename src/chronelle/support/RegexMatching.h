#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chronelle {

// Regular-expression searches over text, on ICU's engine (the syntax of ICU regular
// expressions; `\d` is any Unicode decimal digit). Patterns are compiled with no options and
// search the whole text. Text and pattern are UTF-8. Stateless and thread-safe; nothing here
// throws.

/// Bounds on one search, for text that may be hostile. Backtracking patterns can take time
/// cubic in the length of the text; a bounded search that runs out gives up.
struct RegexLimits {
  /// Work allowed per search, in ICU's time-limit units (about a millisecond each, but counted
  /// in matching steps, so the outcome does not depend on the machine); 0 means no limit.
  std::int32_t timeLimit = 0;
};

/// Whether `pattern` matches anywhere in `text`. Absent when the pattern does not compile, or
/// when the search fails inside the engine (limits exceeded, backtracking stack exhausted).
std::optional<bool> matchesRegex(std::string_view text, std::string_view pattern,
                                 const RegexLimits& limits = {});

/// The full text of every non-overlapping match of `pattern` in `text`, in order of position
/// (empty matches included). Absent when the pattern does not compile or the search fails
/// inside the engine.
std::optional<std::vector<std::string>> matchesForRegex(std::string_view text,
                                                        std::string_view pattern,
                                                        const RegexLimits& limits = {});

}  // namespace chronelle
