#include "chronelle/reports/TimeEntriesChartDataCalculator.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/reports/ReportMoney.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/DateHelper.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

// The start of the day or month after the one holding `start`. The date helper's end of a
// period is its last microsecond, so one microsecond later is the next period's start: columns
// tile the period without a gap, and the walk always advances.
Date nextColumnStart(Date start, ReportChartGranularity granularity, const Calendar& calendar) {
  const DateForType end = granularity == ReportChartGranularity::daily ? DateForType::endOfDay : DateForType::endOfMonth;
  const Date next(DateHelper::dateFor(end, start, calendar).timePoint() + Date::Micros(1));
  return next > start ? next : start + 1.0;
}

}  // namespace

TimeEntriesChartDataCalculator::TimeEntriesChartDataCalculator(std::shared_ptr<BaseDataProvider> dataProvider,
                                                               std::optional<ChartDataCache> chartDataCache)
    : dataProvider_(std::move(dataProvider)),
      reportCalculator_(dataProvider_),
      log_(LogLabel::timeEntriesChartDataCalculator),
      chartDataCache_(std::move(chartDataCache).value_or(ChartDataCache{})) {}

std::vector<SessionColumnData> TimeEntriesChartDataCalculator::calculateValuesForBarChart(
    const SessionQuery3& query, ReportChartGranularity granularity, bool filterOutSmallGroups,
    const std::shared_ptr<Session>& includeCurrentSession) {
  std::vector<SessionColumnData> columns;
  if (!query.from || !query.to || !(*query.from < *query.to)) return columns;
  // Columns follow the days and months the user lives in, not a scope's calendar.
  const Calendar calendar = Calendar::current();
  std::vector<SessionQuery3> columnQueries;
  for (Date start = *query.from; start < *query.to;) {
    const Date end = std::min(nextColumnStart(start, granularity, calendar), *query.to);
    SessionQuery3& columnQuery = columnQueries.emplace_back(query);
    columnQuery.from = start;
    columnQuery.to = end;
    start = end;
  }
  // Rows show saved entries only: with unsaved changes each column is fetched as objects.
  bool rowsShowEverything = false;
  dataProvider_->context()->performAndWait(
      [&] { rowsShowEverything = !dataProvider_->context()->hasChanges() && !dataProvider_->context()->parent(); });
  std::vector<std::string> keys;
  keys.reserve(columnQueries.size());
  for (const auto& columnQuery : columnQueries) keys.push_back(cacheKey(columnQuery, filterOutSmallGroups));
  if (rowsShowEverything) {
    std::vector<std::size_t> missing;
    for (std::size_t i = 0; i < columnQueries.size(); ++i) {
      if (!chartDataCache_.contains(keys[i])) missing.push_back(i);
    }
    if (missing.size() > 1) fillColumns(columnQueries, keys, missing, filterOutSmallGroups);
  }
  columns.reserve(columnQueries.size());
  for (std::size_t i = 0; i < columnQueries.size(); ++i) {
    columns.push_back(columnData(columnQueries[i], keys[i], filterOutSmallGroups, includeCurrentSession));
  }
  return columns;
}

SessionColumnData TimeEntriesChartDataCalculator::calculateColumnData(
    const SessionQuery3& query, bool filterOutSmallGroups, const std::shared_ptr<Session>& includeCurrentSession) {
  return columnData(query, cacheKey(query, filterOutSmallGroups), filterOutSmallGroups, includeCurrentSession);
}

std::string TimeEntriesChartDataCalculator::cacheKey(const SessionQuery3& query, bool filterOutSmallGroups) {
  return query.hashKey() + (filterOutSmallGroups ? "-true" : "-false");
}

SessionColumnData TimeEntriesChartDataCalculator::columnData(const SessionQuery3& query, const std::string& key,
                                                             bool filterOutSmallGroups,
                                                             const std::shared_ptr<Session>& includeCurrentSession) {
  if (!query.dateInteval()) return SessionColumnData(Clock::now());
  RunningShare share;
  if (includeCurrentSession) {
    dataProvider_->context()->performAndWait([&] { share = runningShare(query, includeCurrentSession.get()); });
  }

  SessionColumnData column(*query.from);
  if (auto cached = chartDataCache_.find(key); cached != chartDataCache_.end()) {
    column = cached->second;
  } else {
    fillColumn(column, query, filterOutSmallGroups);
    chartDataCache_.insert_or_assign(key, column);
  }
  if (share.included) {
    dataProvider_->context()->performAndWait(
        [&] { addRunningShare(column, includeCurrentSession.get(), share, filterOutSmallGroups); });
  }
  return column;
}

TimeEntriesChartDataCalculator::RunningShare TimeEntriesChartDataCalculator::runningShare(
    const SessionQuery3& query, const Session* session) const {
  RunningShare share;
  if (session == nullptr || session->end() || !query.includes(*session)) return share;
  const auto period = query.dateInteval();
  if (!period) return share;
  const auto overlap = session->effectiveDateIterval().intersection(*period);
  if (!overlap) return share;
  share.duration = ChronelleDateUtils::effectiveDuration(overlap->start(), overlap->end());
  share.revenue = session->isBillable() ? revenueOf(share.duration, session->hourlyRate()) : 0.0;
  share.included = true;
  return share;
}

void TimeEntriesChartDataCalculator::addRunningShare(SessionColumnData& column, const Session* session,
                                                     const RunningShare& share, bool filterOutSmallGroups) const {
  if (session == nullptr || !share.included) return;
  const auto task = session->task();
  if (!task) return;
  if (filterOutSmallGroups && session->effectiveDuration() < 60) return;
  const TaskUrl taskId(Url::parse(task->objectID().uriRepresentation()).value_or(Url{}));
  // The column shares its segments with the cache until this changes them.
  SessionColumnSegments::Items& segments = column.segments.edit();
  auto segment =
      std::find_if(segments.begin(), segments.end(), [&](const SessionColumnSegment& s) { return s.taskId == taskId; });
  if (segment == segments.end()) {
    segments.emplace_back(*task);
    segment = std::prev(segments.end());
  }
  segment->duration += share.duration;
  segment->revenue += share.revenue;
  segment->sessionCount += 1;
  column.calculateSessionCount();
}

double TimeEntriesChartDataCalculator::avgDurationInSessionColumns(const std::vector<SessionColumnData>& columns) {
  double total = 0;
  std::size_t counted = 0;
  for (const auto& column : columns) {
    if (column.sessionCount <= 0) continue;
    total += column.totalDuration();
    ++counted;
  }
  return counted == 0 ? 0.0 : total / static_cast<double>(counted);
}

}  // namespace chronelle
