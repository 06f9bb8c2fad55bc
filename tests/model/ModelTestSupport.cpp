#include "ModelTestSupport.h"

#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/support/Injector.h"

namespace chronelle::testing {

ModelStore::ModelStore(bool withTimer) {
  NSDictionaryValueTransformer::registerTransformer();
  ChronelleModel::registerModel();
  palette = std::make_shared<ColorSetManager>(
      std::make_shared<UserDefaults>(directory.file("defaults.json")));
  Container& services = Injector::sharedSyncedContainer();
  services.registerInstance<ColorSetManager>(palette);
  services.registerInstance<CurrentTimeEntrySource>(withTimer ? timer : nullptr);
  reopen();
}

ModelStore::~ModelStore() {
  // Later tests must not see this test's services.
  Container& services = Injector::sharedSyncedContainer();
  services.registerInstance<CurrentTimeEntrySource>(std::shared_ptr<CurrentTimeEntrySource>());
  services.registerInstance<ColorSetManager>(std::shared_ptr<ColorSetManager>());
}

void ModelStore::reopen() {
  context.reset();
  coordinator.reset();
  coordinator =
      std::make_shared<PersistentStoreCoordinator>(ModelRegistry::find(ChronelleModel::kName));
  coordinator->addPersistentStore(directory.file("Chronelle.sqlite"));
  context = ObjectContext::create(ConcurrencyType::mainQueue, coordinator);
}

std::shared_ptr<Folder> ModelStore::folder(const std::string& name,
                                           const std::shared_ptr<Node>& parent) {
  auto folder = context->insert<Folder>(Folder::kEntityName);
  folder->setName(name);
  if (parent) folder->setParent(parent);
  return folder;
}

std::shared_ptr<Task> ModelStore::task(const std::string& name,
                                       const std::shared_ptr<Node>& parent) {
  auto task = context->insert<Task>(Task::kEntityName);
  task->setName(name);
  if (parent) task->setParent(parent);
  return task;
}

std::shared_ptr<Session> ModelStore::session(const std::shared_ptr<Task>& task, Date begin,
                                             std::optional<Date> end) {
  auto session = context->insert<Session>(Session::kEntityName);
  session->setBegin(begin);
  session->setEnd(end);
  if (task) session->setTask(task);
  return session;
}

std::size_t ModelStore::count(const std::string& entity) const {
  return context->count(FetchRequest(entity));
}

}  // namespace chronelle::testing
