#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Color.h"
#include "chronelle/platform/Date.h"

namespace chronelle {
class Session;
}

namespace chronelle::cli {

// How values appear in the output: durations as h:mm:ss, money with two decimals, times as
// ISO 8601 with the offset of the calendar's zone (JSON) or as local wall-clock text (human
// output). Free functions; thread-safe.
using Json = nlohmann::ordered_json;

// "1:02:05".
std::string formatDuration(double seconds);
// "80.00".
std::string formatMoney(double amount);
// "2026-12-05T09:30:00+01:00" in the calendar's zone.
std::string isoTime(Date date, const Calendar& calendar);
// The same text appended to `out`, without a string of its own (an export writes two per entry).
void appendIsoTime(std::string& out, Date date, const Calendar& calendar);
// "2026-12-05 09:30:00" in the calendar's zone.
std::string localTime(Date date, const Calendar& calendar);
// The first eight characters of an identifier, enough to tell entries apart on screen (the
// commands accept a unique prefix).
std::string shortId(const std::optional<std::string>& identifier);

// The entry record of the JSON output: id, task (path), begin, end (null while running),
// duration, billable, rate, revenue, status, notes, autotracked. Main thread.
Json entryJson(const Session& entry, const Calendar& calendar);
// One aligned line of human output for an entry. Main thread.
std::string entryLine(const Session& entry, const Calendar& calendar);

// The escape sequence that draws the following text's background in `color` (24-bit).
std::string ansiBackground(const Color& color);
constexpr const char* kAnsiReset = "\x1b[0m";

}  // namespace chronelle::cli
