#include "chronelle/reports/BreakdownReportCalculationOperation.h"

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/model/Node.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/support/Injector.h"

namespace chronelle {

BreakdownReportCalculationOperation::BreakdownReportCalculationOperation(SessionQuery3 sessionQuery,
                                                                         CalculationOptions options,
                                                                         TotalValueTypeOptionSet valueTypes,
                                                                         std::optional<Cache> cache,
                                                                         Completion completion)
    : sessionQuery_(std::move(sessionQuery)),
      options_(options),
      valueTypes_(valueTypes),
      cache_(std::move(cache)),
      completion_(std::move(completion)) {}

BreakdownReportCalculation BreakdownReportCalculationOperation::calculate(const ReportCalculator& calculator,
                                                                         const SessionQuery3& query,
                                                                         CalculationOptions options,
                                                                         TotalValueTypeOptionSet valueTypes,
                                                                         TrackedNodes trackedNodes) {
  BreakdownReportCalculation record;
  // One block on the context's queue: every object the calculator touches stays on it.
  calculator.dataProvider()->context()->performAndWait([&] {
    if (options.contains(CalculationOptions::nodeBreakdown)) {
      if (trackedNodes == TrackedNodes::listed) {
        // Every node with time in the period counts here, whatever tasks or billing states
        // the report shows, so the screen can offer them.
        SessionQuery3 unfiltered = query;
        unfiltered.taskIds.reset();
        unfiltered.billingStatus.reset();
        std::set<ObjectID> ids;
        for (const auto& node : calculator.trackedNodes(unfiltered)) ids.insert(node->objectID());
        record.trackedNodeIds = std::move(ids);
      }
      record.nodeBreakdown = calculator.calculateNodeBreakdown(query, valueTypes);
    }
    if (options.contains(CalculationOptions::billingBreakdown)) {
      record.billingBreakdown = calculator.calculateBillingBreakdown(query, valueTypes);
    }
    if (options.contains(CalculationOptions::summary)) {
      record.summary = calculator.totalValuesForSessions(query, valueTypes);
    }
  });
  return record;
}

void BreakdownReportCalculationOperation::main() {
  auto stack = Injector::sharedSyncedContainer().resolve<CoreDataStack>();
  auto context = stack->privateContext();
  auto provider = std::make_shared<BaseDataProvider>(context);
  auto cacheProvider = std::make_shared<ReportCacheProvider>();
  if (cache_) cacheProvider->apply(*cache_);
  ReportCalculator calculator(provider, cacheProvider);
  const BreakdownReportCalculation record = calculate(calculator, sessionQuery_, options_, valueTypes_);
  storeFetchCount_.store(context->storeFetchCount());
  const Cache finalCache = cacheProvider->breakdownCache();
  if (completion_) completion_(*this, record, finalCache);
}

}  // namespace chronelle
