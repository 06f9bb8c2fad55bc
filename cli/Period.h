#pragma once

#include "Arguments.h"
#include "TimeParser.h"
#include "chronelle/reports/ReportScope3.h"

namespace chronelle::cli {

// The options every period-taking command accepts.
inline const std::set<std::string> kPeriodOptions = {"day", "week", "month", "year"};
inline const std::set<std::string> kPeriodRangeOptions = {"from", "to"};

// The report scope of PERIOD: `--day|--week|--month|--year [DATE]` (the period holding DATE,
// default now) or `--from TIME --to TIME` (a custom period), in the parser's calendar (its
// zone and first weekday); `--day` today without any. Throws CliError (usage) for two
// periods, half a custom period, a custom period ending before it starts, or a bad time.
ReportScope3 parsePeriod(const Arguments& args, const TimeParser& time);

}  // namespace chronelle::cli
