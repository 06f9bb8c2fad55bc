// Custom report scopes that cover all tracked time of some nodes.

#include <algorithm>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/support/DateHelper.h"

namespace chronelle {

std::optional<DateInterval> ReportCalculator::customPeriod(const TaskSet& tasks, const Calendar& calendar) const {
  std::optional<DateInterval> period;
  dataProvider_->context()->performAndWait([&] {
    const auto oldest = dataProvider_->getOldestSession(tasks);
    const auto latest = dataProvider_->getLatestTimeEntry(tasks);
    if (!oldest || !latest) return;
    const auto begin = oldest->begin();
    if (!begin) return;
    // The latest entry is the one that ended last; an entry still running sorts after every
    // ended one there, yet it is the newest time of the nodes, so it stretches the period to today.
    const auto running = dataProvider_->getRunningTimeEntries();
    const bool anyRunning = std::any_of(running.begin(), running.end(),
                                        [&](const auto& entry) { return tasks.count(entry->task()) > 0; });
    const Date last = anyRunning ? Clock::now() : latest->end().value_or(Clock::now());
    const Date from = DateHelper::dateFor(DateForType::startOfDay, *begin, calendar);
    const Date to = DateHelper::dateFor(DateForType::endOfDay, last, calendar);
    period = DateInterval(from, std::max(from, to));
  });
  return period;
}

std::optional<ReportScope3> ReportCalculator::getCustomReportScope(const NodeSet& nodes,
                                                                   const Calendar& calendar) const {
  const TaskSet tasks = dataProvider_->getTasks(std::vector<std::shared_ptr<Node>>(nodes.begin(), nodes.end()));
  const auto period = customPeriod(tasks, calendar);
  if (!period) return std::nullopt;
  ReportScope3 scope(calendar);
  scope.type = ReportScopeType::custom;
  scope.customFromDate = period->start();
  scope.customToDate = period->end();
  scope.nodes = nodes;
  return scope;
}

std::optional<NodeReportScope> ReportCalculator::getCustomNodeReportScope(const std::shared_ptr<Node>& node,
                                                                          const Calendar& calendar) const {
  if (!node) return std::nullopt;
  const TaskSet tasks = dataProvider_->getTasks({node});
  const auto period = customPeriod(tasks, calendar);
  if (!period) return std::nullopt;
  NodeReportScope scope(node, calendar);
  scope.type = ReportScopeType::custom;
  scope.customFromDate = period->start();
  scope.customToDate = period->end();
  return scope;
}

}  // namespace chronelle
