#pragma once

#include <optional>
#include <string_view>

namespace chronelle {

// Locale-independent number parsing of typed text. Stateless and thread-safe; nothing here
// throws.

/// The value of `text` when it is a number literal: not empty, not starting with a blank or
/// one of NUL, tab, line feed, vertical tab, form feed, carriage return, and readable in
/// full, in the C locale, as a floating-point literal. So "1.5", "-2", "1e3", ".5", "0x1p4",
/// "inf" and "nan" are numbers; "1,5", "1.5 ", " 1" and "" are not. A literal too large for a
/// double gives an infinity, one too small a zero. Absent when `text` is not a number literal.
std::optional<double> parseNumberLiteral(std::string_view text);

/// `text` as a number, accepting a decimal comma: when it holds exactly one comma and no
/// point, the comma is read as the point. "1,5" and "1.5" give 1.5; "1.000,5" and
/// "1,000,000" are absent, as is anything that is then not a number literal.
std::optional<double> toDoubleByUsingFlexibleSeparator(std::string_view text);

}  // namespace chronelle
