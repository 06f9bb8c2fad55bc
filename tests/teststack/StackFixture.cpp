#include "teststack/StackFixture.h"

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/Injector.h"

namespace chronelle::testing {

Date utc(int hour, int minute, int dayOffset) {
  return Date::fromSecondsSince1970(1'773'100'800.0 + dayOffset * 86400.0 + hour * 3600.0 + minute * 60.0);
}

Date berlinTime(int year, int month, int day, int hour, int minute, int second) {
  return *Calendar("Europe/Berlin").date(DateComponents{year, month, day, hour, minute, second, std::nullopt});
}

StackFixture::StackFixture(Date start, const char* zone) : zone(zone), time(start) {
  NSDictionaryValueTransformer::registerTransformer();
  openStack();
}

StackFixture::~StackFixture() { closeStack(); }

void StackFixture::openStack() {
  UserDefaults::setStandard(std::make_shared<UserDefaults>(directory.file("defaults.json")));
  stack = std::make_shared<CoreDataStack>(ChronelleModel::kName, directory.path() / "store", "Chronelle.sqlite");
  Injector::sharedSyncedContainer().registerInstance<CoreDataStack>(stack);
}

void StackFixture::closeStack() {
  MainQueue::shared().runPending();
  Injector::sharedSyncedContainer().removeAll();
  stack.reset();
  MainQueue::shared().runPending();
  UserDefaults::setStandard(nullptr);
}

std::shared_ptr<Folder> StackFixture::makeFolder(const std::string& name, const std::shared_ptr<Folder>& parent,
                                                 int order) {
  auto folder = context().insert<Folder>(Folder::kEntityName);
  folder->setName(name);
  folder->setOrder(static_cast<std::int16_t>(order));
  if (parent) folder->setParent(parent);
  return folder;
}

std::shared_ptr<Task> StackFixture::makeTask(const std::string& name, const std::shared_ptr<Folder>& parent,
                                             int order) {
  auto task = context().insert<Task>(Task::kEntityName);
  task->setName(name);
  task->setOrder(static_cast<std::int16_t>(order));
  if (parent) task->setParent(parent);
  return task;
}

std::shared_ptr<Session> StackFixture::makeSession(const std::shared_ptr<Task>& task, Date begin,
                                                   std::optional<Date> end) {
  auto session = context().insert<Session>(Session::kEntityName);
  session->setBegin(begin);
  session->setEnd(end);
  if (task) session->setTask(task);
  return session;
}

std::vector<std::shared_ptr<Node>> StackFixture::topLevel(bool archived) {
  using State = NodeFilter::ArchivedStateOption;
  return BaseDataProvider(stack->viewContext())
      .getChildren(nullptr, NodeFilter(NodeFilter::NodeTypeOption::all, archived ? State::archived : State::active));
}

}  // namespace chronelle::testing
