// MainDataProvider: checking and repairing the stored totals of tasks and folders.
#include "chronelle/data/MainDataProvider.h"

namespace chronelle {

std::vector<StaleConfirmedDuration> MainDataProvider::verifyConfirmedDurations() const {
  return modifier_->verifyConfirmedDurations();
}

asio::awaitable<std::vector<StaleConfirmedDuration>> MainDataProvider::repairConfirmedDurations() {
  // Returned, not awaited here: no temporary of this frame sits in a co_await expression.
  return executeWriteOperation([](ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
    return modifier.repairConfirmedDurations();
  });
}

}  // namespace chronelle
