#include "chronelle/reports/ReportCacheProvider.h"

#include "chronelle/model/ContextChangesNotification.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

namespace {
constexpr const char* kMainContextDidChange = "mainContextDidChange";
}  // namespace

ReportCacheProvider::ReportCacheProvider() : log_(LogLabel::reportCacheProvider) {
  observer_ = NotificationCenter::defaultCenter().addObserver(
      kMainContextDidChange, nullptr, [this](const Notification& notification) { mainContextDidChange(notification); });
}

ReportCacheProvider::~ReportCacheProvider() { observer_.reset(); }

ReportCacheProvider::BreakdownCache ReportCacheProvider::breakdownCache() const {
  std::lock_guard lock(mutex_);
  return breakdownCache_;
}

ReportCacheProvider::ChartDataCache ReportCacheProvider::trackedSessionsChartDataCache() const {
  std::lock_guard lock(mutex_);
  return chartDataCache_;
}

std::optional<TotalValues> ReportCacheProvider::breakdownCacheValue(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = breakdownCache_.find(key);
  if (it == breakdownCache_.end()) return std::nullopt;
  return it->second;
}

void ReportCacheProvider::apply(const BreakdownCache& cache) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : cache) breakdownCache_.insert_or_assign(key, value);
}

void ReportCacheProvider::apply(const ChartDataCache& cache) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : cache) chartDataCache_.insert_or_assign(key, value);
}

void ReportCacheProvider::setValueToBreakdownCache(const TotalValues& value, const std::string& key) {
  std::lock_guard lock(mutex_);
  breakdownCache_.insert_or_assign(key, value);
}

void ReportCacheProvider::mainContextDidChange(const Notification& notification) {
  const auto changes = contextChanges(notification);
  if (!changes || !changes->haveTrackedDataChanges()) return;
  logDebug(log_, "clearing report caches");
  std::lock_guard lock(mutex_);
  breakdownCache_.clear();
  chartDataCache_.clear();
}

}  // namespace chronelle
