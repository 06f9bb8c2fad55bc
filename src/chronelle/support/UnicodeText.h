#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace chronelle {

// The few Unicode-aware string operations that the palette and the parsers need, on ICU.
// All take and return UTF-8; malformed sequences count as one U+FFFD each and never make an
// operation fail. Free functions; thread-safe (each thread keeps its own ICU iterator).

/// `text` without the whitespace and line-break characters at both ends: tab, line feed,
/// vertical tab, form feed, carriage return, U+0085 and every Unicode space, line or paragraph
/// separator (U+0020, U+00A0, U+2028, U+3000, ...). Inner characters are kept.
std::string trimmingWhitespaceAndNewlines(std::string_view text);

/// `text` in lower case by the locale-independent Unicode rules ("ÄB" → "äb").
std::string lowercased(std::string_view text);

/// The number of user-perceived characters (extended grapheme clusters) of `text`: "e" followed
/// by a combining accent is one character, and so is "\r\n".
std::size_t characterCount(std::string_view text);

}  // namespace chronelle
