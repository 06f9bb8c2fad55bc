#pragma once
// A store of the application's model in a temporary directory, with the services the model
// resolves from the shared container (the palette and a running-entry source the test
// controls) and a manual clock.

#include <memory>
#include <optional>
#include <string>

#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/CurrentTimeEntrySource.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "testsupport/ManualTime.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {

// Stands in for the timer: runs whatever entry the test puts in `entry`.
class FakeTimeEntrySource : public CurrentTimeEntrySource {
 public:
  std::shared_ptr<Session> currentTimeEntry() const override { return entry; }
  std::shared_ptr<Session> entry;
};

// 2026-03-02 09:00:00 UTC, a Monday.
inline Date at(int hour, int minute = 0, int second = 0) {
  return Date::fromSecondsSince1970(1'772'442'000.0 + (hour - 9) * 3600.0 + minute * 60.0 + second);
}

struct ModelStore {
  ModelStore() {
    NSDictionaryValueTransformer::registerTransformer();
    ChronelleModel::registerModel();
    services.registerInstance<ColorSetManager>(palette);
    services.registerInstance<CurrentTimeEntrySource>(timer);
    reopen();
  }
  ~ModelStore() {  // later tests must not see this test's services
    services.registerInstance<CurrentTimeEntrySource>(std::shared_ptr<CurrentTimeEntrySource>());
    services.registerInstance<ColorSetManager>(std::shared_ptr<ColorSetManager>());
  }

  // Saves nothing; drops the context and coordinator and opens the file again.
  void reopen() {
    context.reset();
    coordinator.reset();
    const auto model = ModelRegistry::find(ChronelleModel::kName);
    coordinator = std::make_shared<PersistentStoreCoordinator>(model);
    coordinator->addPersistentStore(directory.file("Chronelle.sqlite"));
    context = ObjectContext::create(ConcurrencyType::mainQueue, coordinator);
  }

  using Parent = const std::shared_ptr<Node>&;
  template <class T>
  std::shared_ptr<T> node(const std::string& name, Parent parent) {
    auto node = context->insert<T>(T::kEntityName);
    node->setName(name);
    if (parent) node->setParent(parent);
    return node;
  }
  auto folder(const std::string& name, Parent parent = {}) { return node<Folder>(name, parent); }
  auto task(const std::string& name, Parent parent = {}) { return node<Task>(name, parent); }
  std::shared_ptr<Session> session(const std::shared_ptr<Task>& task, Date begin,
                                   std::optional<Date> end = std::nullopt) {
    auto session = context->insert<Session>(Session::kEntityName);
    session->setBegin(begin);
    session->setEnd(end);
    if (task) session->setTask(task);
    return session;
  }
  std::size_t count(const std::string& entity) const {
    return context->count(FetchRequest(entity));
  }

  TempDirectory directory;
  ManualTime time{at(12)};
  std::shared_ptr<FakeTimeEntrySource> timer = std::make_shared<FakeTimeEntrySource>();
  std::shared_ptr<ColorSetManager> palette = std::make_shared<ColorSetManager>(
      std::make_shared<UserDefaults>(directory.file("defaults.json")));
  Container& services = Injector::sharedSyncedContainer();
  std::shared_ptr<PersistentStoreCoordinator> coordinator;
  std::shared_ptr<ObjectContext> context;
};

}  // namespace chronelle::testing
