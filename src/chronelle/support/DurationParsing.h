#pragma once

#include <optional>
#include <string_view>

namespace chronelle {

/// The duration typed in `text`, in seconds, independent of the user's locale. Absent when the
/// text is not a duration. Stateless and thread-safe; never throws.
///
/// The text is first normalised: trimmed, lower-cased, blanks removed, commas turned into
/// points, "min" into "m" and "sec" into "s". Then the first of these forms that applies wins:
///   a bare number is minutes ("90" → 5400, "1,5" → 90, "0" → 0);
///   a clock time "HH:mm:ss" or "HH:mm" ("01:30" → 5400);
///   hours, minutes and seconds with unit letters ("1h30m15s" → 5415);
///   hours and minutes ("1h 30m" → 5400);
///   a single number of hours ("2.5h" → 9000, "2h" → 7200);
///   a single number of minutes ("45 min" → 2700).
/// The unit forms are found anywhere in the text, digits of any script counting as digits
/// (and then refused as numbers); the scan is linear in the length of the text.
std::optional<double> toTimeInterval(std::string_view text);

}  // namespace chronelle
