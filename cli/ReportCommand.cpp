// report: totals, breakdowns and chart columns, computed on a thread pool by the report
// calculator and the chart operation.

#include <algorithm>
#include <asio/thread_pool.hpp>
#include <cstdio>
#include <unistd.h>

#include "Arguments.h"
#include "BackgroundWork.h"
#include "CliError.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "HtmlReportBuilder.h"
#include "Period.h"
#include "SegmentTask.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/BreakdownReportCalculationOperation.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/TimeEntriesChartDataCalculationOperation.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle::cli {
namespace {

using ChartOperation = TimeEntriesChartDataCalculationOperation;

Json totalsJson(const TotalValues& totals) {
  return Json{{"duration", totals.duration}, {"revenue", totals.revenue}, {"count", totals.sessionCount}};
}

std::string totalsText(const std::string& label, const TotalValues& totals, int labelWidth = 40) {
  char line[512];
  std::snprintf(line, sizeof line, "%-*s %11s %11s %6lld", labelWidth, label.c_str(),
                formatDuration(totals.duration).c_str(), formatMoney(totals.revenue).c_str(),
                static_cast<long long>(totals.sessionCount));
  return line;
}

// The flat breakdown has no operation of its own: it runs the calculator on a private context
// on the pool, as the operations do.
ReportCalculator::NodeBreakdown flatBreakdown(const CoreDataStack& stack, const SessionQuery3& query,
                                              const std::optional<ObjectID>& parentId) {
  auto provider = std::make_shared<BaseDataProvider>(stack.privateContext());
  std::shared_ptr<Folder> parent;
  if (parentId) parent = std::dynamic_pointer_cast<Folder>(provider->getObject(*parentId));
  return ReportCalculator(provider).calculateFlatNodeBreakdown(query, parent, TotalValueTypeOptionSet::all);
}

// The totals and breakdowns a report prints, on a private context on the pool, computed as the
// breakdown operation computes them but without its tracked nodes: those let a screen offer
// every node with time whatever its filters show, a report prints none of them, and they cost
// a second pass over the period's entries.
BreakdownReportCalculation reportTotals(const CoreDataStack& stack, const SessionQuery3& query,
                                        bool byNode, bool byBilling) {
  using Operation = BreakdownReportCalculationOperation;
  ReportCalculator calculator(std::make_shared<BaseDataProvider>(stack.privateContext()),
                              std::make_shared<ReportCacheProvider>());
  Operation::CalculationOptions options = Operation::CalculationOptions::summary;
  if (byNode) options = options | Operation::CalculationOptions::nodeBreakdown;
  if (byBilling) options = options | Operation::CalculationOptions::billingBreakdown;
  return Operation::calculate(calculator, query, options, TotalValueTypeOptionSet::all,
                              Operation::TrackedNodes::leftOut);
}

struct ReportRequest {
  ReportScope3 scope;
  std::string by;
  std::optional<ReportChartGranularity> chart;
  std::optional<ObjectID> flatParent;
};

ReportRequest readRequest(CommandContext& ctx, const Arguments& args, const NodeDirectory& nodes) {
  ReportRequest request{parsePeriod(args, ctx.time()), args.value("by").value_or("summary"), std::nullopt,
                        std::nullopt};
  if (request.by != "summary" && request.by != "billing" && request.by != "node" && request.by != "flat") {
    throw CliError::usage("--by takes summary, billing, node or flat");
  }
  if (const auto chart = args.value("chart")) {
    if (*chart == "day") {
      request.chart = ReportChartGranularity::daily;
    } else if (*chart == "month") {
      request.chart = ReportChartGranularity::monthly;
    } else {
      throw CliError::usage("--chart takes day or month");
    }
  }
  NodeSet selected;
  for (const auto& path : args.values("node")) selected.insert(nodes.resolve(path));
  if (!selected.empty()) request.scope = request.scope.scopeByAdusting(selected);
  if (selected.size() == 1 && dynamic_cast<Folder*>(selected.begin()->get())) {
    request.flatParent = (*selected.begin())->objectID();
  }
  for (const auto& status : args.values("status")) {
    static const std::map<std::string, SessionQuery3::BillingStatusOption> names = {
        {"nonbillable", SessionQuery3::BillingStatusOption::nonBillable},
        {"unbilled", SessionQuery3::BillingStatusOption::unbilled},
        {"billed", SessionQuery3::BillingStatusOption::billed},
        {"paid", SessionQuery3::BillingStatusOption::paid}};
    const auto found = names.find(status);
    if (found == names.end()) throw CliError::usage("--status takes nonbillable, unbilled, billed or paid");
    request.scope = request.scope.scopeByAdding(found->second);
  }
  if (const auto archived = args.value("archived")) {
    if (*archived == "active") {
      request.scope = request.scope.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::activeOnly);
    } else if (*archived == "archived") {
      request.scope = request.scope.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::archivedOnly);
    } else {
      throw CliError::usage("--archived takes active or archived");
    }
  }
  return request;
}

void printChart(CommandContext& ctx, AppServices& app, const std::vector<SessionColumnData>& columns,
                ReportChartGranularity granularity) {
  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  double longest = 0;
  for (const auto& column : columns) longest = std::max(longest, column.totalDuration());
  constexpr int kWidth = 50;
  for (const auto& column : columns) {
    const std::string date =
        ctx.calendar().format(column.date, granularity == ReportChartGranularity::daily ? "yyyy-MM-dd" : "yyyy-MM");
    std::string bar;
    for (const auto& segment : column.segments) {
      const int cells = longest > 0 ? static_cast<int>(segment.duration / longest * kWidth + 0.5) : 0;
      if (cells == 0) continue;
      if (terminal) {
        bar += ansiBackground(segment.color) + std::string(static_cast<std::size_t>(cells), ' ') + kAnsiReset;
      } else {
        bar += std::string(static_cast<std::size_t>(cells), '#');
      }
    }
    char line[128];
    std::snprintf(line, sizeof line, "%-10s %10s %4lld  ", date.c_str(), formatDuration(column.totalDuration()).c_str(),
                  static_cast<long long>(column.sessionCount));
    ctx.out() << line << bar << '\n';
    if (!terminal) {
      for (const auto& segment : column.segments) {
        ctx.out() << "             " << formatDuration(segment.duration) << "  " << segmentTaskPath(app, segment) << '\n';
      }
    }
  }
}

}  // namespace

void reportCommand(CommandContext& ctx, const Args& rawArgs) {
  Arguments::Spec spec{{"node", "status", "archived", "by", "chart", "from", "to", "format", "output"}, {}, kPeriodOptions};
  Args expanded = rawArgs;
  std::replace(expanded.begin(), expanded.end(), std::string("-o"), std::string("--output"));
  const Arguments args(expanded, spec);
  args.expectPositionals(0, 0, "chronelle report [PERIOD] [options]");
  const std::string format = args.value("format").value_or(ctx.json() ? "json" : "text");
  if (format != "text" && format != "json" && format != "html") throw CliError::usage("--format takes text, json or html");
  if (ctx.json() && format != "json") throw CliError::usage("--json and --format " + format + " disagree");
  if (args.has("output") && format != "html") throw CliError::usage("-o/--output writes --format html only");
  const bool html = format == "html";
  AppServices& app = ctx.app();
  const NodeDirectory nodes(app.provider());
  ReportRequest request = readRequest(ctx, args, nodes);
  // A page shows every breakdown, and a chart: by day for up to two months, else by month.
  if (html && !request.chart) {
    const double days = request.scope.toDate().timeIntervalSince(request.scope.fromDate()) / 86400;
    request.chart = days <= 62 ? ReportChartGranularity::daily : ReportChartGranularity::monthly;
  }
  const SessionQuery3 query = request.scope.toSessionQuery();

  asio::thread_pool pool(2);
  const bool byNode = request.by == "node" || html;
  const bool byBilling = request.by == "billing" || html;
  const auto result = app.run(awaitBackgroundWork<BreakdownReportCalculation>([&](auto deliver) {
    CoreDataStack* raw = &app.stack();
    asio::post(pool, [raw, query, byNode, byBilling, deliver] {
      deliver(reportTotals(*raw, query, byNode, byBilling));
    });
  }));
  const TotalValues summary = result.summary.byAddingUnconfirmedCurrentSession(query);

  ReportCalculator::NodeBreakdown breakdown;
  if ((request.by == "node" || html) && result.nodeBreakdown) breakdown = *result.nodeBreakdown;
  if (request.by == "flat") {
    const auto parent = request.flatParent;
    breakdown = app.run(awaitBackgroundWork<ReportCalculator::NodeBreakdown>([&](auto deliver) {
      CoreDataStack* raw = &app.stack();
      asio::post(pool, [raw, query, parent, deliver] { deliver(flatBreakdown(*raw, query, parent)); });
    }));
  }

  std::vector<SessionColumnData> columns;
  if (request.chart) {
    std::optional<ObjectID> running;
    if (const auto entry = app.timer().runningSession()) running = entry->objectID();
    columns = app.run(awaitBackgroundWork<std::vector<SessionColumnData>>([&](auto deliver) {
      auto operation = std::make_shared<ChartOperation>(
          query, *request.chart, running, std::nullopt,
          [deliver](ChartOperation&, const std::vector<SessionColumnData>& data, const ChartOperation::ChartDataCache&) {
            deliver(data);
          });
      ReportOperation::enqueue(operation, pool);
    }));
  }
  pool.join();

  // Nodes in tree order, each with its totals.
  std::vector<std::pair<std::shared_ptr<Node>, TotalValues>> rows;
  for (const auto& item : nodes.items()) {
    const auto found = breakdown.find(item.node->objectID());
    if (found != breakdown.end()) rows.emplace_back(item.node, found->second);
  }

  const Date from = request.scope.fromDate();
  const Date to = request.scope.toDate();
  if (html) {
    const std::string page = renderHtmlReport(buildHtmlReport(app, ctx.calendar(), from, to, summary,
                                                              result.billingBreakdown, rows, columns, *request.chart));
    if (const auto path = args.value("output")) {
      writeFileAtomically(*path, page);
    } else {
      ctx.out() << page;
    }
    return;
  }
  if (format == "json") {
    Json json;
    json["from"] = isoTime(from, ctx.calendar());
    json["to"] = isoTime(to, ctx.calendar());
    json["summary"] = totalsJson(summary);
    if (result.billingBreakdown) {
      const auto& b = *result.billingBreakdown;
      json["billing"] = Json{{"nonBillable", totalsJson(b.nonBillable)},
                             {"unbilled", totalsJson(b.unbilled)},
                             {"billed", totalsJson(b.billed)},
                             {"paid", totalsJson(b.paid)}};
    }
    if (request.by == "node" || request.by == "flat") {
      Json list = Json::array();
      for (const auto& [node, totals] : rows) {
        Json row{{"path", NodeDirectory::pathOf(*node)}, {"kind", NodeDirectory::kindName(*node)}};
        row.update(totalsJson(totals));
        list.push_back(row);
      }
      json["nodes"] = list;
    }
    if (request.chart) {
      Json list = Json::array();
      for (const auto& column : columns) {
        Json segments = Json::array();
        for (const auto& segment : column.segments) {
          segments.push_back(Json{{"task", segmentTaskPath(app, segment)},
                                  {"duration", segment.duration},
                                  {"revenue", segment.revenue},
                                  {"count", segment.sessionCount}});
        }
        list.push_back(Json{{"date", isoTime(column.date, ctx.calendar())},
                            {"count", column.sessionCount},
                            {"segments", segments}});
      }
      json["chart"] = list;
    }
    ctx.print(json);
    return;
  }

  ctx.out() << "Report " << localTime(from, ctx.calendar()) << " – " << localTime(to, ctx.calendar()) << " ("
            << ctx.calendar().timeZoneIdentifier() << ")\n";
  char header[128];
  std::snprintf(header, sizeof header, "%-40s %11s %11s %6s\n", "", "duration", "revenue", "count");
  ctx.out() << header << totalsText("Total", summary) << '\n';
  if (result.billingBreakdown) {
    const auto& b = *result.billingBreakdown;
    ctx.out() << "\nBy billing status\n"
              << totalsText("  non-billable", b.nonBillable) << '\n'
              << totalsText("  unbilled", b.unbilled) << '\n'
              << totalsText("  billed", b.billed) << '\n'
              << totalsText("  paid", b.paid) << '\n';
  }
  if (request.by == "node" || request.by == "flat") {
    ctx.out() << "\nBy " << (request.by == "node" ? "node" : "top-level node") << '\n';
    for (const auto& [node, totals] : rows) {
      const std::size_t depth = request.by == "node" ? node->allParents().size() : 0;
      std::string label = "  " + std::string(depth * 2, ' ') + node->name();
      if (dynamic_cast<Folder*>(node.get())) label += "/";
      ctx.out() << totalsText(label, totals) << '\n';
    }
  }
  if (request.chart) {
    ctx.out() << '\n' << (*request.chart == ReportChartGranularity::daily ? "Daily" : "Monthly") << " chart\n";
    printChart(ctx, app, columns, *request.chart);
  }
}

}  // namespace chronelle::cli
