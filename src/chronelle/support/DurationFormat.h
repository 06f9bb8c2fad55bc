#pragma once

namespace chronelle {

/// How `ChronelleDateUtils::toString` renders a duration. Every form shows whole seconds (a
/// fraction is dropped), hours are not wrapped at 24, and a negative duration gets a leading
/// "-". Examples for 3725 s:
enum class DurationFormat {
  hoursMinutesSeconds,       ///< "1:02:05"
  hoursMinutes,              ///< "1:02"
  hoursMinutesShort,         ///< "1h 02m"
  hoursMinutesSecondsShort,  ///< "1h 02m 05s"
};

}  // namespace chronelle
