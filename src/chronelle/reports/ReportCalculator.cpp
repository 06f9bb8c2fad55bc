#include "chronelle/reports/ReportCalculator.h"

#include <string>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/reports/ChartColumnBuilder.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/support/Money.h"
#include "chronelle/support/Logging.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

ReportCalculator::ReportCalculator(std::shared_ptr<BaseDataProvider> dataProvider,
                                   std::shared_ptr<ReportCacheProvider> cacheProvider)
    : dataProvider_(std::move(dataProvider)), cacheProvider_(std::move(cacheProvider)), log_(LogLabel::report) {}

TotalValues ReportCalculator::totalValuesForSessions(const SessionQuery3& query,
                                                     TotalValueTypeOptionSet valueTypes) const {
  return cachedTotals(query, valueTypes);
}

std::string ReportCalculator::cacheKey(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) {
  return query.hashKey() + "-" + std::to_string(valueTypes.rawValue);
}

TotalValues ReportCalculator::cachedTotals(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const {
  const std::string key = cacheKey(query, valueTypes);
  if (cacheProvider_) {
    if (auto cached = cacheProvider_->breakdownCacheValue(key)) return *cached;
  }
  TotalValues result;
  dataProvider_->context()->performAndWait([&] { result = computeTotals(query, valueTypes); });
  if (cacheProvider_) cacheProvider_->setValueToBreakdownCache(result, key);
  return result;
}

double ReportCalculator::totalDuration(const std::vector<std::shared_ptr<Session>>& sessions,
                                       std::optional<Date> from, std::optional<Date> to,
                                       CalculationType calculationType) {
  double total = 0;
  for (const auto& session : sessions) {
    if (!session) continue;
    if (calculationType == CalculationType::confirmed && !session->end()) continue;
    const auto begin = session->begin();
    // A fault (deleted meanwhile) has no data to measure.
    if (session->faultingState() != 0 || !begin) continue;
    total += ChartColumnBuilder::clippedSeconds(*begin, session->end().value_or(Clock::now()), from, to);
  }
  return total;
}

double ReportCalculator::totalRevenue(const std::vector<std::shared_ptr<Session>>& sessions,
                                      std::optional<Date> from, std::optional<Date> to,
                                      CalculationType calculationType) {
  std::int64_t cents = 0;
  for (const auto& session : sessions) {
    if (!session) continue;
    if (calculationType == CalculationType::confirmed && !session->end()) continue;
    if (!session->isBillable()) continue;
    cents += revenueCents(session->effectiveDuration(from, to), session->hourlyRate());
  }
  return amountOfCents(cents);
}

double ReportCalculator::totalEffectiveDuration(const std::vector<std::shared_ptr<Session>>& sessions,
                                                std::optional<Date> from, std::optional<Date> to) {
  return totalDuration(sessions, from, to, CalculationType::effective);
}

double ReportCalculator::totalConfirmedDuration(const std::vector<std::shared_ptr<Session>>& sessions,
                                                std::optional<Date> from, std::optional<Date> to) {
  return totalDuration(sessions, from, to, CalculationType::confirmed);
}

double ReportCalculator::totalEffectiveRevenue(const std::vector<std::shared_ptr<Session>>& sessions,
                                               std::optional<Date> from, std::optional<Date> to) {
  return totalRevenue(sessions, from, to, CalculationType::effective);
}

double ReportCalculator::totalConfirmedRevenue(const std::vector<std::shared_ptr<Session>>& sessions,
                                               std::optional<Date> from, std::optional<Date> to) {
  return totalRevenue(sessions, from, to, CalculationType::confirmed);
}

}  // namespace chronelle
