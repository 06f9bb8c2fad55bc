#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "HtmlReport.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Date.h"
#include "chronelle/reports/ReportChartGranularity.h"
#include "chronelle/reports/SessionColumnData.h"

namespace chronelle {
class Node;
}

namespace chronelle::cli {

class AppServices;

// What the report command computed, gathered for the HTML page: node rows (tree order)
// with their palette colours, and each chart segment's task path and colour. Reads the view
// context; main thread.
HtmlReport buildHtmlReport(AppServices& app, const Calendar& calendar, Date from, Date to, const TotalValues& summary,
                           const std::optional<BillingBreakdown>& billing,
                           const std::vector<std::pair<std::shared_ptr<Node>, TotalValues>>& nodes,
                           const std::vector<SessionColumnData>& columns, ReportChartGranularity granularity);

// Writes `text` to `path` through a temporary file beside it, so the file is either the old
// one or the whole new one. Throws CliError (failure) when it cannot be written.
void writeFileAtomically(const std::filesystem::path& path, const std::string& text);

}  // namespace chronelle::cli
