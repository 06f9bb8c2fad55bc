#include "ReportsFixture.h"

#include "chronelle/platform/MainQueue.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Money.h"

namespace chronelle::testing {

ReportsFixture::ReportsFixture() : StackFixture(berlinTime(2026, 3, 29, 15, 0), "Europe/Berlin") {
  Injector::sharedSyncedContainer().registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>());
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
                                                   std::optional<Date> end, bool billable, double rate, int status) {
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

using Billing = SessionQuery3::BillingStatusOption;

ReportNumbersFixture::ReportNumbersFixture() : data(ReportDataSet::make(seconds(time.now()))) {
  for (const auto& info : data.tasks) {
    std::shared_ptr<Folder> parent;
    std::string path;
    for (const auto& name : info.folders) {
      path += (path.empty() ? "" : "/") + name;
      auto& folder = folders[path];
      if (!folder) folder = makeFolder(name, parent);
      parent = folder;
    }
    auto task = makeTask(info.name, parent);
    task->setArchived(info.archived);
    tasks.push_back(task);
  }
  folders["old"]->setArchived(true);
  for (const auto& entry : data.entries) {
    const auto task = entry.task >= 0 ? tasks[static_cast<std::size_t>(entry.task)] : nullptr;
    std::optional<Date> end;
    if (entry.end) end = Date::fromSecondsSince1970(static_cast<double>(*entry.end));
    auto session = makeEntry(task, Date::fromSecondsSince1970(static_cast<double>(entry.begin)), end, entry.billable,
                             entry.rate, entry.status);
    session->setConfirmedRevenue(entry.storedRevenue);
    if (!entry.end) running = session;
  }
  save();
}

std::vector<ReportNumbersFixture::Case> ReportNumbersFixture::cases() const {
  struct Period {
    const char* name;
    ReportScopeType type;
    Date reference;
    std::optional<DateInterval> custom;
  };
  const Period periods[] = {
      {"day of the clock change", ReportScopeType::daily, berlinTime(2026, 3, 29, 12), std::nullopt},
      {"first of March", ReportScopeType::daily, berlinTime(2026, 3, 1, 8), std::nullopt},
      {"week of the clock change", ReportScopeType::weekly, berlinTime(2026, 3, 26), std::nullopt},
      {"March", ReportScopeType::monthly, berlinTime(2026, 3, 10), std::nullopt},
      {"February", ReportScopeType::monthly, berlinTime(2026, 2, 10), std::nullopt},
      {"2026", ReportScopeType::yearly, berlinTime(2026, 6, 1), std::nullopt},
      {"custom across the clock change", ReportScopeType::custom, Date(),
       DateInterval(berlinTime(2026, 3, 27, 13, 17, 5), berlinTime(2026, 4, 2, 8))},
  };
  std::vector<Case> result;
  for (const auto& period : periods) {
    ReportScope3 base(berlin());
    base.referenceDate = period.reference;
    base.type = period.type;
    if (period.custom) base = base.customScope(*period.custom);
    const std::string name = period.name;
    result.push_back({name, base, {}});
    result.push_back({name + ", work folder", base.scopeByAdusting(NodeSet{folders.at("work")}),
                      {std::set<int>{0, 1, 2}, std::nullopt, std::nullopt}});
    result.push_back({name + ", billed or non-billable",
                      base.scopeByAdding(Billing::billed).scopeByAdding(Billing::nonBillable),
                      {std::nullopt, std::nullopt, std::set<Billing>{Billing::billed, Billing::nonBillable}}});
    result.push_back({name + ", active only", base.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::activeOnly),
                      {std::nullopt, SessionQuery3::ArchiveFilterOption::activeOnly, std::nullopt}});
    result.push_back({name + ", archived only",
                      base.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::archivedOnly),
                      {std::nullopt, SessionQuery3::ArchiveFilterOption::archivedOnly, std::nullopt}});
  }
  return result;
}

int ReportNumbersFixture::taskIndex(const ObjectID& id) const {
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    if (tasks[i]->objectID() == id) return static_cast<int>(i);
  }
  return -1;
}

std::vector<ObjectID> ReportNumbersFixture::folderIDs(int task) const {
  std::vector<ObjectID> ids;
  std::string path;
  for (const auto& name : data.tasks[static_cast<std::size_t>(task)].folders) {
    path += (path.empty() ? "" : "/") + name;
    ids.push_back(folders.at(path)->objectID());
  }
  return ids;
}

}  // namespace chronelle::testing
