// Report cases: totals, breakdowns and chart columns, library beside baseline.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "Baseline.h"
#include "Cases.h"
#include "LibraryFixture.h"
#include "QueryPlans.h"
#include "StoreGenerator.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"

namespace chronelle::bench {
namespace {

using Billing = SessionQuery3::BillingStatusOption;

bool near(double a, double b) { return std::fabs(a - b) <= 1e-6 + 1e-12 * std::max(std::fabs(a), std::fabs(b)); }

std::string describe(const Totals& t) {
  char text[128];
  std::snprintf(text, sizeof text, "{duration %.3f, revenue %.4f, count %lld}", t.duration, t.revenue,
                static_cast<long long>(t.count));
  return text;
}

Totals fromLibrary(const TotalValues& values) { return Totals{values.duration, values.revenue, values.sessionCount}; }

void expectEqual(const std::string& what, const Totals& library, const Totals& baseline) {
  if (library.count != baseline.count || !near(library.duration, baseline.duration) ||
      !near(library.revenue, baseline.revenue)) {
    throw Mismatch(what + ": library " + describe(library) + ", baseline " + describe(baseline));
  }
}

void expectEqual(const std::string& what, const TotalsByNode& library, const TotalsByNode& baseline) {
  if (library.size() != baseline.size()) {
    throw Mismatch(what + ": library has " + std::to_string(library.size()) + " nodes, baseline " +
                   std::to_string(baseline.size()));
  }
  for (const auto& [pk, totals] : baseline) {
    auto it = library.find(pk);
    if (it == library.end()) throw Mismatch(what + ": node " + std::to_string(pk) + " missing in the library");
    expectEqual(what + ", node " + std::to_string(pk), it->second, totals);
  }
}

// The primary key at the end of an object URI ("…/Task/p42").
std::int64_t primaryKeyOf(const std::string& uri) {
  const auto at = uri.rfind("/p");
  return at == std::string::npos ? -1 : std::stoll(uri.substr(at + 2));
}

std::vector<TotalsByNode> columnsFromLibrary(const std::vector<SessionColumnData>& columns) {
  std::vector<TotalsByNode> result;
  for (const auto& column : columns) {
    TotalsByNode byTask;
    for (const auto& segment : column.segments) {
      byTask[primaryKeyOf(segment.taskId.absoluteString())] =
          Totals{segment.duration, segment.revenue, segment.sessionCount};
    }
    result.push_back(std::move(byTask));
  }
  return result;
}

void expectEqualColumns(const std::string& what, const std::vector<SessionColumnData>& libraryColumns,
                        const std::vector<TotalsByNode>& baseline, const std::vector<std::int64_t>& bounds) {
  if (libraryColumns.size() != baseline.size()) {
    throw Mismatch(what + ": library has " + std::to_string(libraryColumns.size()) + " columns, baseline " +
                   std::to_string(baseline.size()));
  }
  const auto library = columnsFromLibrary(libraryColumns);
  for (std::size_t i = 0; i < baseline.size(); ++i) {
    if (libraryColumns[i].date.microsecondsSince1970() != bounds[i]) {
      throw Mismatch(what + ": column " + std::to_string(i) + " starts at " + libraryColumns[i].date.isoString());
    }
    expectEqual(what + ", column " + std::to_string(i), library[i], baseline[i]);
  }
}

std::vector<TotalsByNode> byNode(const std::vector<ColumnTotals>& columns) {
  std::vector<TotalsByNode> result;
  for (const auto& column : columns) {
    TotalsByNode& byTask = result.emplace_back();
    for (const auto& [task, totals] : column) {
      if (!byTask.emplace(task, totals).second) {
        throw Mismatch("baseline column " + std::to_string(result.size() - 1) + " lists task " + std::to_string(task) +
                       " twice");
      }
    }
  }
  return result;
}

SessionQuery3 period(std::int64_t from, std::int64_t to) {
  SessionQuery3 query;
  query.from = Date::fromMicroseconds(from);
  query.to = Date::fromMicroseconds(to);
  return query;
}

std::vector<std::int64_t> dailyBounds(int year) {
  std::vector<std::int64_t> bounds;
  const std::int64_t end = utcMicros(year + 1, 1, 1);
  for (std::int64_t t = utcMicros(year, 1, 1); t <= end; t += 86'400'000'000LL) bounds.push_back(t);
  return bounds;
}

std::vector<std::int64_t> monthlyBounds(int firstYear, int years) {
  std::vector<std::int64_t> bounds;
  for (int y = firstYear; y < firstYear + years; ++y) {
    for (int m = 1; m <= 12; ++m) bounds.push_back(utcMicros(y, m, 1));
  }
  bounds.push_back(utcMicros(firstYear + years, 1, 1));
  return bounds;
}

}  // namespace

std::int64_t utcMicros(int year, int month, int day) {
  // Days from civil (proleptic Gregorian), H. Hinnant's algorithm.
  year -= month <= 2;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const int yoe = year - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  return days * 86'400'000'000LL;
}

bool selected(const CaseContext& context, const std::string& name) {
  return context.only.empty() || name.find(context.only) != std::string::npos;
}

void runReportCases(const CaseContext& context, ResultTable& table) {
  LibraryFixture library(context.storeDirectory);
  const auto storeFile = context.storeDirectory / kStoreFileName;
  Baseline baseline(storeFile);
  SqlCollector baselineSql;
  observeConnection(baseline.connection(), baselineSql);
  // Each case's plans are those of the statements run from its start to its check.
  auto startCase = [&] {
    librarySql().take();
    baselineSql.take();
  };
  auto plans = [&](const std::string& name) { return checkPlans(std::cout, name, storeFile, baselineSql); };
  const ReportCalculator calculator(library.provider);  // no cache provider: nothing is cached
  const auto all = TotalValueTypeOptionSet::all;
  const std::int64_t monthFrom = utcMicros(2023, 6, 1);
  const std::int64_t monthTo = utcMicros(2023, 7, 1);
  const SessionQuery3 month = period(monthFrom, monthTo);

  if (selected(context, "totals of a month")) {
    startCase();
    expectEqual("totals of a month", fromLibrary(calculator.totalValuesForSessions(month, all)),
                baseline.totals(monthFrom, monthTo));
    const std::string verdict = plans("totals of a month");
    table.add({"totals of a month", context.entries,
               measure([&] { calculator.totalValuesForSessions(month, all); }, context.budget),
               measure([&] { baseline.totals(monthFrom, monthTo); }, context.budget), 1.5, "", verdict});
  }

  if (selected(context, "billing breakdown of a month")) {
    startCase();
    const BillingBreakdown breakdown = calculator.calculateBillingBreakdown(month, all);
    const std::pair<Billing, BillingFilter> states[] = {{Billing::nonBillable, BillingFilter::nonBillable},
                                                        {Billing::unbilled, BillingFilter::unbilled},
                                                        {Billing::billed, BillingFilter::billed},
                                                        {Billing::paid, BillingFilter::paid}};
    const auto byState = baseline.billingBreakdown(monthFrom, monthTo);
    for (const auto& [option, filter] : states) {
      const std::string name = "billing breakdown, state " + std::to_string(static_cast<int>(option));
      // The grouped baseline against the per-state totals too: a wrong grouping shows here.
      expectEqual(name, fromLibrary(breakdown.totalValues(option)), byState.at(filter));
      expectEqual(name + " (per-state totals)", byState.at(filter), baseline.totals(monthFrom, monthTo, filter));
    }
    const std::string verdict = plans("billing breakdown of a month");
    table.add({"billing breakdown of a month", context.entries,
               measure([&] { calculator.calculateBillingBreakdown(month, all); }, context.budget),
               measure([&] { baseline.billingBreakdown(monthFrom, monthTo); }, context.budget), 1.5,
               "baseline: one grouped pass + edge rows", verdict});
  }

  if (selected(context, "node breakdown of a month")) {
    auto nodeBreakdown = [&] {
      TotalsByNode byNode;
      for (const auto& [id, values] : calculator.calculateNodeBreakdown(month, all)) {
        byNode[id.primaryKey()] = fromLibrary(values);
      }
      return byNode;
    };
    startCase();
    expectEqual("node breakdown of a month", nodeBreakdown(), baseline.nodeBreakdown(monthFrom, monthTo));
    const std::string verdict = plans("node breakdown of a month");
    table.add({"node breakdown of a month", context.entries,
               measure([&] { calculator.calculateNodeBreakdown(month, all); }, context.budget),
               measure([&] { baseline.nodeBreakdown(monthFrom, monthTo); }, context.budget), 1.5, "", verdict});
  }

  struct Chart {
    const char* name;
    std::vector<std::int64_t> bounds;
    ReportChartGranularity granularity;
    double target;
  };
  const Chart charts[] = {{"chart of a year, daily", dailyBounds(2025), ReportChartGranularity::daily, 3.0},
                          {"chart of 5 years, monthly", monthlyBounds(2021, 5), ReportChartGranularity::monthly, 0}};
  for (const auto& chart : charts) {
    if (!selected(context, chart.name)) continue;
    const SessionQuery3 query = period(chart.bounds.front(), chart.bounds.back());
    // A new calculator per run: its column cache must not answer.
    auto columns = [&] {
      TimeEntriesChartDataCalculator calculator(library.provider);
      return calculator.calculateValuesForBarChart(query, chart.granularity, false, nullptr);
    };
    startCase();
    const auto libraryColumns = columns();
    expectEqualColumns(std::string(chart.name) + " (per column)", libraryColumns,
                       baseline.chartPerColumn(chart.bounds), chart.bounds);
    const std::string perColumnPlans = plans(std::string(chart.name) + " vs per-column queries");
    librarySql().take();
    expectEqualColumns(std::string(chart.name) + " (one query)", columns(),
                       byNode(baseline.chartSingleQuery(chart.bounds)), chart.bounds);
    const std::string oneQueryPlans = plans(std::string(chart.name) + " vs one query");
    const double libraryTime = measure([&] { columns(); }, context.budget);
    table.add({std::string(chart.name) + " vs per-column queries", context.entries, libraryTime,
               measure([&] { baseline.chartPerColumn(chart.bounds); }, context.budget), chart.target, "",
               perColumnPlans});
    table.add({std::string(chart.name) + " vs one query", context.entries, libraryTime,
               measure([&] { baseline.chartSingleQuery(chart.bounds); }, context.budget), 1.5, "", oneQueryPlans});
  }
}

}  // namespace chronelle::bench
