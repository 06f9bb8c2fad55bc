#include "ListFixture.h"

#include <cstdlib>

#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/Injector.h"

namespace chronelle::testing {

ListFixture::ListFixture() {
  if (const char* zone = std::getenv("TZ")) previousZone = zone;
  ::setenv("TZ", "Europe/Berlin", 1);
  NSDictionaryValueTransformer::registerTransformer();
  ChronelleModel::registerModel();
  UserDefaults::setStandard(std::make_shared<UserDefaults>(directory.file("defaults.json")));
  stack = std::make_shared<CoreDataStack>(ChronelleModel::kName, directory.path() / "store", "Chronelle.sqlite");
  Injector::sharedSyncedContainer().registerInstance<CoreDataStack>(stack);
  provider = std::make_shared<MainDataProvider>();
  Injector::sharedSyncedContainer().registerInstance<MainDataProvider>(provider);
}

ListFixture::~ListFixture() {
  MainQueue::shared().runPending();
  Injector::sharedSyncedContainer().removeAll();
  UserDefaults::setStandard(nullptr);
  if (previousZone) {
    ::setenv("TZ", previousZone->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
}

Date ListFixture::local(int day, int hour, int minute) {
  return *Calendar("Europe/Berlin").date(DateComponents{2026, 3, day, hour, minute, 0, std::nullopt});
}

std::shared_ptr<Task> ListFixture::makeTask(const std::string& name) {
  auto task = context().insert<Task>(Task::kEntityName);
  task->setName(name);
  return task;
}

std::shared_ptr<Session> ListFixture::makeSession(const std::shared_ptr<Task>& task, Date begin,
                                                  std::optional<Date> end) {
  auto session = context().insert<Session>(Session::kEntityName);
  session->setBegin(begin);
  session->setEnd(end);
  session->setTask(task);
  return session;
}

std::unique_ptr<SessionFetchedResultsController3> ListFixture::makeList(SessionQuery3 query) {
  auto list = std::make_unique<SessionFetchedResultsController3>(std::move(query), calendar);
  list->setDelegate(delegate);
  list->performFetch();
  return list;
}

std::string ListFixture::describe(const SessionFragment& fragment) const {
  return calendar.format(fragment.from(), "dd HH:mm:ss") + "-" +
         (fragment.to() ? calendar.format(*fragment.to(), "dd HH:mm:ss") : "open") + " " + toString(fragment.edge());
}

std::string ListFixture::describe(const std::vector<SessionsSectionInfo>& sections) const {
  std::string text;
  for (const auto& section : sections) {
    text += (text.empty() ? "" : " | ") + section.name + ":";
    for (const auto& fragment : section.objects.value_or(std::vector<std::shared_ptr<SessionFragment>>{})) {
      text += " [" + describe(*fragment) + "]";
    }
  }
  return text;
}

}  // namespace chronelle::testing
