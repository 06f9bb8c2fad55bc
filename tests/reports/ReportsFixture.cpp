#include "ReportsFixture.h"

#include <cstdlib>
#include <ctime>

#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Money.h"

namespace chronelle::testing {

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* current = std::getenv("TZ")) previous_ = current;
  ::setenv("TZ", zone, 1);
  ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_) {
    ::setenv("TZ", previous_->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

Date berlinTime(int year, int month, int day, int hour, int minute, int second) {
  DateComponents components;
  components.year = year;
  components.month = month;
  components.day = day;
  components.hour = hour;
  components.minute = minute;
  components.second = second;
  return *Calendar("Europe/Berlin").date(components);
}

ReportsFixture::ReportsFixture() : time(berlinTime(2026, 3, 29, 15, 0)) {
  NSDictionaryValueTransformer::registerTransformer();
  ChronelleModel::registerModel();
  UserDefaults::setStandard(std::make_shared<UserDefaults>(directory.file("defaults.json")));
  stack = std::make_shared<CoreDataStack>(ChronelleModel::kName, directory.path() / "store", "Chronelle.sqlite");
  Injector::sharedSyncedContainer().registerInstance<CoreDataStack>(stack);
  Injector::sharedSyncedContainer().registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>());
  provider = std::make_shared<BaseDataProvider>(stack->viewContext());
}

ReportsFixture::~ReportsFixture() {
  MainQueue::shared().runPending();
  provider.reset();
  Injector::sharedSyncedContainer().removeAll();
  UserDefaults::setStandard(nullptr);
}

std::shared_ptr<Folder> ReportsFixture::makeFolder(const std::string& name, const std::shared_ptr<Folder>& parent) {
  auto folder = context().insert<Folder>(Folder::kEntityName);
  folder->setName(name);
  if (parent) folder->setParent(parent);
  return folder;
}

std::shared_ptr<Task> ReportsFixture::makeTask(const std::string& name, const std::shared_ptr<Folder>& parent) {
  auto task = context().insert<Task>(Task::kEntityName);
  task->setName(name);
  if (parent) task->setParent(parent);
  return task;
}

std::shared_ptr<Session> ReportsFixture::makeEntry(const std::shared_ptr<Task>& task, Date begin,
                                                   std::optional<Date> end, bool billable, double rate, int status) {
  auto entry = context().insert<Session>(Session::kEntityName);
  entry->setBegin(begin);
  entry->setEnd(end);
  if (task) entry->setTask(task);
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
