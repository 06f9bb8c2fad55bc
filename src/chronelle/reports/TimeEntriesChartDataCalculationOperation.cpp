#include "chronelle/reports/TimeEntriesChartDataCalculationOperation.h"

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/model/Session.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/support/Injector.h"

namespace chronelle {

TimeEntriesChartDataCalculationOperation::TimeEntriesChartDataCalculationOperation(
    SessionQuery3 sessionQuery, ReportChartGranularity granularity, std::optional<ObjectID> currentSessionId,
    std::optional<ChartDataCache> chartDataCache, Completion completion)
    : sessionQuery_(std::move(sessionQuery)),
      granularity_(granularity),
      currentSessionId_(std::move(currentSessionId)),
      chartDataCache_(std::move(chartDataCache)),
      completion_(std::move(completion)) {}

void TimeEntriesChartDataCalculationOperation::main() {
  auto stack = Injector::sharedSyncedContainer().resolve<CoreDataStack>();
  auto context = stack->privateContext();
  auto provider = std::make_shared<BaseDataProvider>(context);
  TimeEntriesChartDataCalculator calculator(provider, chartDataCache_);

  std::vector<SessionColumnData> columns;
  // One block on the context's queue: the running entry and every object the calculator
  // loads stay on it.
  context->performAndWait([&] {
    std::shared_ptr<Session> running;
    if (currentSessionId_) running = std::dynamic_pointer_cast<Session>(provider->getObject(*currentSessionId_));
    columns = calculator.calculateValuesForBarChart(sessionQuery_, granularity_, true, running);
  });
  storeFetchCount_.store(context->storeFetchCount());
  const ChartDataCache finalCache = calculator.chartDataCache();
  if (completion_) completion_(*this, columns, finalCache);
}

}  // namespace chronelle
