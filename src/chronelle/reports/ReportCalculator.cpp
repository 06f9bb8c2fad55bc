#include "chronelle/reports/ReportCalculator.h"

#include <string>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/support/Money.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Logging.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {
namespace {

constexpr const char* kSumDuration = "SumDuration";
constexpr const char* kCount = "Count";
constexpr const char* kSumRevenue = "SumRevenue";

double numberOrZero(const ResultDictionary& row, const char* key) {
  auto it = row.find(key);
  return it == row.end() ? 0.0 : it->second.asDouble().value_or(0.0);
}

std::int64_t integerOrZero(const ResultDictionary& row, const char* key) {
  auto it = row.find(key);
  if (it == row.end()) return 0;
  if (auto integer = it->second.asInteger()) return *integer;
  return static_cast<std::int64_t>(it->second.asDouble().value_or(0.0));
}

}  // namespace

ReportCalculator::ReportCalculator(std::shared_ptr<BaseDataProvider> dataProvider,
                                   std::shared_ptr<ReportCacheProvider> cacheProvider)
    : dataProvider_(std::move(dataProvider)), cacheProvider_(std::move(cacheProvider)), log_(LogLabel::report) {}

TotalValues ReportCalculator::totalValuesForSessions(const SessionQuery3& query,
                                                     TotalValueTypeOptionSet valueTypes) const {
  return cachedTotals(query, valueTypes);
}

TotalValues ReportCalculator::cachedTotals(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const {
  const std::string key = query.hashKey() + "-" + std::to_string(valueTypes.rawValue);
  if (cacheProvider_) {
    if (auto cached = cacheProvider_->breakdownCacheValue(key)) return *cached;
  }
  TotalValues result;
  dataProvider_->context()->performAndWait([&] { result = computeTotals(query, valueTypes); });
  if (cacheProvider_) cacheProvider_->setValueToBreakdownCache(result, key);
  return result;
}

TotalValues ReportCalculator::computeTotals(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const {
  ObjectContext& context = *dataProvider_->context();
  const bool wantsDuration = valueTypes.contains(TotalValueTypeOptionSet::duration);
  const bool wantsRevenue = valueTypes.contains(TotalValueTypeOptionSet::revenue);
  const bool wantsCount = valueTypes.contains(TotalValueTypeOptionSet::sessionCount);
  const auto inside = query.predicate(EdgeSessionPredicateOption::withoutEdgeSessions, false);
  TotalValues result;

  // Finished entries wholly inside the period, summed by the store. Without a duration or
  // count column the fetch would only list rows, so it is skipped: its fields stay zero
  // either way.
  if (wantsDuration || wantsCount) {
    try {
      FetchRequest request(Session::kEntityName);
      request.resultType = FetchResultType::dictionary;
      request.predicate = inside;
      if (wantsDuration) {
        request.propertiesToFetch.emplace_back(
            ExpressionDescription{kSumDuration, "sum:", "confirmedDuration", AttributeType::doubleType});
      }
      if (wantsCount) {
        request.propertiesToFetch.emplace_back(ExpressionDescription{kCount, "count:", "begin", AttributeType::integer64});
      }
      const auto rows = context.fetchDictionaries(request);
      if (!rows.empty()) {
        if (wantsDuration) result.duration = numberOrZero(rows.front(), kSumDuration);
        if (wantsCount) result.sessionCount = integerOrZero(rows.front(), kCount);
      }
    } catch (const std::exception& error) {
      logError(log_, "Error on fetching sum duration", error);
    }
  }

  // Stored revenue counts for billable entries only.
  if (wantsRevenue) {
    try {
      FetchRequest request(Session::kEntityName);
      request.resultType = FetchResultType::dictionary;
      const Predicate billable = Predicate::parse("isBillable == true");
      request.predicate = inside ? Predicate::allOf({billable, *inside}) : billable;
      // Summed in whole cents by the store: a sum of doubles would drift off the cent.
      request.propertiesToFetch.emplace_back(
          ExpressionDescription{kSumRevenue, "sumOfHundredths:", "confirmedRevenue", AttributeType::integer64});
      const auto rows = context.fetchDictionaries(request);
      if (!rows.empty()) result.revenue = amountOfCents(integerOrZero(rows.front(), kSumRevenue));
    } catch (const std::exception& error) {
      logError(log_, "Error on fetching sum duration", error);
    }
  }

  // Entries crossing a bound count with their part inside the period.
  std::vector<std::shared_ptr<Session>> edges;
  try {
    FetchRequest request(Session::kEntityName);
    request.predicate = query.predicate(EdgeSessionPredicateOption::edgeSessionsOnly, false);
    for (auto& object : context.fetch(request)) {
      if (auto session = std::dynamic_pointer_cast<Session>(object)) edges.push_back(std::move(session));
    }
  } catch (const std::exception& error) {
    logError(log_, "Error on fetching edge sessions for duration and revenue", error);
    edges.clear();
  }
  if (wantsDuration) result.duration += totalDuration(edges, query.from, query.to, CalculationType::confirmed);
  if (wantsRevenue) {
    const double edgeRevenue = totalRevenue(edges, query.from, query.to, CalculationType::confirmed);
    result.revenue = sumOfAmounts(result.revenue, edgeRevenue);
  }
  if (wantsCount) result.sessionCount += static_cast<std::int64_t>(edges.size());
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
    Date b = *begin;
    Date e = session->end().value_or(Clock::now());
    if (from) {
      if (!(*from < e)) continue;
      if (b < *from) b = *from;
    }
    if (to) {
      if (!(b < *to)) continue;
      if (e > *to) e = *to;
    }
    total += ChronelleDateUtils::effectiveDuration(b, e);
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
