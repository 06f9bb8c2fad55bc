#include "HtmlReportBuilder.h"

#include <fstream>
#include <system_error>
#include <unistd.h>

#include "AppServices.h"
#include "CliError.h"
#include "NodeDirectory.h"
#include "Rendering.h"
#include "SegmentTask.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Task.h"

namespace chronelle::cli {
namespace {

// A task that is gone keeps the light colour the chart segment carries, in both schemes.
AppearanceColor colorOf(AppServices& app, const SessionColumnSegment& segment) {
  if (const auto task = segmentTask(app, segment)) return task->color();
  char hex[8];
  const auto channel = [](double value) { return static_cast<int>(value * 255 + 0.5); };
  std::snprintf(hex, sizeof hex, "#%02X%02X%02X", channel(segment.color.red), channel(segment.color.green),
                channel(segment.color.blue));
  return AppearanceColor(hex, hex);
}

}  // namespace

HtmlReport buildHtmlReport(AppServices& app, const Calendar& calendar, Date from, Date to, const TotalValues& summary,
                           const std::optional<BillingBreakdown>& billing,
                           const std::vector<std::pair<std::shared_ptr<Node>, TotalValues>>& nodes,
                           const std::vector<SessionColumnData>& columns, ReportChartGranularity granularity) {
  HtmlReport report;
  report.period = localTime(from, calendar) + " – " + localTime(to, calendar) + " (" + calendar.timeZoneIdentifier() + ")";
  report.summary = summary;
  report.billing = billing;
  for (const auto& [node, totals] : nodes) {
    report.nodes.push_back(HtmlReport::NodeRow{NodeDirectory::pathOf(*node), node->name(), node->allParents().size(),
                                               dynamic_cast<Folder*>(node.get()) != nullptr, totals, node->color()});
  }
  const bool daily = granularity == ReportChartGranularity::daily;
  report.chartTitle = daily ? "Daily" : "Monthly";
  for (const auto& data : columns) {
    HtmlReport::Column column{calendar.format(data.date, daily ? "yyyy-MM-dd" : "yyyy-MM"),
                              calendar.format(data.date, daily ? "d" : "MMM"),
                              {}};
    for (const auto& segment : data.segments) {
      column.segments.push_back(HtmlReport::Segment{segmentTaskPath(app, segment), colorOf(app, segment),
                                                    segment.duration, segment.revenue, segment.sessionCount});
    }
    report.columns.push_back(std::move(column));
  }
  return report;
}

void writeFileAtomically(const std::filesystem::path& path, const std::string& text) {
  const std::filesystem::path temporary = path.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw CliError::failure("cannot write '" + path.string() + "'");
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw CliError::failure("cannot write '" + path.string() + "'");
  }
}

}  // namespace chronelle::cli
