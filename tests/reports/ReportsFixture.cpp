#include "ReportsFixture.h"

#include "chronelle/platform/MainQueue.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Money.h"

namespace chronelle::testing {

ReportsFixture::ReportsFixture() : StackFixture(berlinTime(2026, 3, 29, 15, 0), "Europe/Berlin") {
  Injector::sharedSyncedContainer().registerInstance<ColorSetManager>(
      std::make_shared<ColorSetManager>());
  provider = std::make_shared<BaseDataProvider>(stack->viewContext());
}

ReportsFixture::~ReportsFixture() {
  MainQueue::shared().runPending();
  provider.reset();
}

void ReportsFixture::makeTree() {
  work = makeFolder("work");
  design = makeTask("design", work);
  dev = makeFolder("dev", work);
  backend = makeTask("backend", dev);
  frontend = makeTask("frontend", dev);
  admin = makeTask("admin");
  admin->setArchived(true);
  errands = makeFolder("errands");
  top = makeTask("top");
}

std::shared_ptr<Session> ReportsFixture::makeEntry(const std::shared_ptr<Task>& task, Date begin,
                                                   std::optional<Date> end, bool billable,
                                                   double rate, int status) {
  auto entry = makeSession(task, begin, end);
  entry->setIsBillable(billable);
  entry->setHourlyRate(rate);
  entry->setBillingStatusValue(static_cast<std::int16_t>(status));
  if (end) {
    const double seconds = ChronelleDateUtils::effectiveDuration(begin, *end);
    entry->setConfirmedDuration(seconds);
    entry->setConfirmedRevenue(revenueAmount(seconds, rate));
  }
  return entry;
}

}  // namespace chronelle::testing
