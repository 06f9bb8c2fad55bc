#include "Period.h"

#include "CliError.h"
#include "chronelle/platform/DateInterval.h"

namespace chronelle::cli {

ReportScope3 parsePeriod(const Arguments& args, const TimeParser& time) {
  ReportScope3 scope(time.calendar());
  scope = scope.scopeByAdjusting(time.now());
  const std::pair<const char*, ReportScopeType> kinds[] = {{"day", ReportScopeType::daily},
                                                           {"week", ReportScopeType::weekly},
                                                           {"month", ReportScopeType::monthly},
                                                           {"year", ReportScopeType::yearly}};
  int given = 0;
  for (const auto& [name, type] : kinds) {
    if (!args.has(name)) continue;
    ++given;
    const std::string date = *args.value(name);
    scope = scope.scopeByAdjusting(type).scopeByAdjusting(date.empty() ? time.now() : time.parseTime(date));
  }
  if (args.has("from") || args.has("to")) {
    ++given;
    if (!args.has("from") || !args.has("to")) throw CliError::usage("a custom period needs both --from and --to");
    const Date from = time.parseTime(*args.value("from"));
    const Date to = time.parseTime(*args.value("to"));
    if (to < from) throw CliError::usage("the period ends before it begins");
    scope = scope.customScope(DateInterval(from, to));
  }
  if (given > 1) throw CliError::usage("give one period");
  return scope;
}

}  // namespace chronelle::cli
