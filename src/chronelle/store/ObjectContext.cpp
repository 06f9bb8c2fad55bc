#include "chronelle/store/ObjectContext.h"

#include <algorithm>
#include <future>
#include <stdexcept>

#include "chronelle/platform/Logger.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/SerialQueue.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

ObjectContext::ObjectContext() : impl_(std::make_unique<Impl>()) {}

ObjectContext::~ObjectContext() {
  impl_->detachAll();
  // Tasks queued by perform() hold only a weak reference and find the context gone.
  impl_->worker.reset();
}

std::shared_ptr<ObjectContext> ObjectContext::create(ConcurrencyType type,
                                                     std::shared_ptr<PersistentStoreCoordinator> coordinator) {
  if (!coordinator) throw std::invalid_argument("ObjectContext::create needs a coordinator");
  std::shared_ptr<ObjectContext> context(new ObjectContext());
  auto& d = *context->impl_;
  d.self = context.get();
  d.type = type;
  d.store = &coordinator->impl();
  d.model = coordinator->sharedModel();
  d.coordinator = std::move(coordinator);
  std::size_t tables = 0;
  for (const auto& entity : d.model->entities()) tables += entity->superentity() == nullptr ? 1 : 0;
  d.byPk.resize(tables);
  {
    std::lock_guard lock(d.store->contextsMutex);
    auto& all = d.store->contexts;
    std::erase_if(all, [](const auto& weak) { return weak.expired(); });
    all.push_back(context);
  }
  return context;
}

std::shared_ptr<ObjectContext> ObjectContext::createChild(ConcurrencyType type, std::shared_ptr<ObjectContext> parent) {
  if (!parent) throw std::invalid_argument("ObjectContext::createChild needs a parent");
  auto context = create(type, parent->coordinator());
  context->impl_->parent = std::move(parent);
  return context;
}

ConcurrencyType ObjectContext::concurrencyType() const { return impl_->type; }
std::shared_ptr<PersistentStoreCoordinator> ObjectContext::coordinator() const { return impl_->coordinator; }
std::shared_ptr<ObjectContext> ObjectContext::parent() const { return impl_->parent; }

// --- Objects -----------------------------------------------------------------------------

std::shared_ptr<ManagedObject> ObjectContext::insertNewObject(const std::string& entityName) {
  const EntityDescription* entity = impl_->model->entity(entityName);
  if (entity == nullptr) throw std::invalid_argument("no entity named '" + entityName + "'");
  return impl_->insert(*entity);
}

void ObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object) {
  if (!object) return;
  impl_->deleteObject(*object);
}

std::shared_ptr<ManagedObject> ObjectContext::existingObject(const ObjectID& id) {
  if (auto object = impl_->registered(id)) return object;
  if (!id.isTemporaryID()) impl_->store->requireStore();
  if (auto object = impl_->objectWithID(id)) return object;
  throw StoreError(StoreError::kObjectNotFound, "no object with ID " + id.uriRepresentation(),
                   {{"objectID", id}});
}

std::shared_ptr<ManagedObject> ObjectContext::registeredObject(const ObjectID& id) const { return impl_->registered(id); }

void ObjectContext::obtainPermanentIDs(const ObjectSet& objects) { impl_->obtainPermanentIDs(objects); }

// --- Fetching ------------------------------------------------------------------------------

ObjectSet ObjectContext::fetch(const FetchRequest& request) { return impl_->fetchObjects(request); }
std::vector<ObjectID> ObjectContext::fetchObjectIDs(const FetchRequest& request) { return impl_->fetchIDs(request); }
std::vector<ResultDictionary> ObjectContext::fetchDictionaries(const FetchRequest& request) {
  std::vector<ResultDictionary> rows;
  impl_->enumerateDictionaries(request, [&](const ResultDictionary& row) { rows.push_back(row); });
  return rows;
}
void ObjectContext::enumerateDictionaries(const FetchRequest& request,
                                          const std::function<void(const ResultDictionary&)>& row) {
  impl_->enumerateDictionaries(request, row);
}
void ObjectContext::enumerateRows(const FetchRequest& request, const std::function<void(const FetchedRow&)>& row) {
  impl_->enumerateRows(request, row);
}
std::size_t ObjectContext::count(const FetchRequest& request) { return impl_->count(request); }
std::size_t ObjectContext::storeFetchCount() const { return impl_->fetchCount.load(); }

// --- Changes -------------------------------------------------------------------------------

bool ObjectContext::hasChanges() const {
  return std::any_of(impl_->changes.begin(), impl_->changes.end(),
                     [](const auto& entry) { return entry.second->state().hasChanges(); });
}

ObjectSet ObjectContext::insertedObjects() const {
  ObjectSet result;
  for (const auto& [seq, object] : impl_->changes) {
    if (object->state().inserted && !object->state().deleted) result.push_back(object);
  }
  return result;
}

ObjectSet ObjectContext::updatedObjects() const {
  ObjectSet result;
  for (const auto& [seq, object] : impl_->changes) {
    if (object->state().isUpdated()) result.push_back(object);
  }
  return result;
}

ObjectSet ObjectContext::deletedObjects() const {
  ObjectSet result;
  for (const auto& [seq, object] : impl_->changes) {
    if (object->state().deleted && !object->state().inserted) result.push_back(object);
  }
  return result;
}

void ObjectContext::processPendingChanges() { impl_->processPendingChanges(); }
void ObjectContext::save(const SaveOptions& options) { impl_->save(options); }
void ObjectContext::performInTransaction(const std::function<void()>& block) { impl_->performInTransaction(block); }
void ObjectContext::rollback() { impl_->rollback(); }

void ObjectContext::refresh(const std::shared_ptr<ManagedObject>& object, bool mergeChanges) {
  if (object) impl_->refresh(*object, mergeChanges);
}

void ObjectContext::reset() { impl_->reset(); }

MergePolicy ObjectContext::mergePolicy() const { return impl_->mergePolicy; }
void ObjectContext::setMergePolicy(MergePolicy policy) { impl_->mergePolicy = policy; }
bool ObjectContext::automaticallyMergesChangesFromParent() const { return impl_->automaticallyMerges; }
void ObjectContext::setAutomaticallyMergesChangesFromParent(bool on) { impl_->automaticallyMerges = on; }
UndoManager* ObjectContext::undoManager() const { return impl_->undoManager.get(); }
void ObjectContext::setUndoManager(std::shared_ptr<UndoManager> undoManager) {
  impl_->undoManager = std::move(undoManager);
}

// --- Queue -----------------------------------------------------------------------------------

void ObjectContext::performAndWait(const std::function<void()>& fn) {
  auto& d = *impl_;
  if (d.type == ConcurrencyType::mainQueue) {
    MainQueue& queue = MainQueue::shared();
    if (queue.isMainThread()) {
      fn();
      return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    queue.post([&] {
      try {
        fn();
        done.set_value();
      } catch (...) {
        done.set_exception(std::current_exception());
      }
    });
    finished.get();
    return;
  }
  if (d.queueOwner.load() == std::this_thread::get_id()) {
    fn();  // re-entrant: already on this context's queue
    return;
  }
  std::lock_guard lock(d.queueMutex);
  d.queueOwner.store(std::this_thread::get_id());
  struct Release {
    Impl& d;
    ~Release() { d.queueOwner.store(std::thread::id()); }
  } release{d};
  fn();
}

void ObjectContext::perform(std::function<void()> fn) {
  std::weak_ptr<ObjectContext> weak = weak_from_this();
  auto task = [weak, fn = std::move(fn)] {
    auto context = weak.lock();
    if (!context) return;
    try {
      context->performAndWait(fn);
    } catch (const std::exception& e) {
      // Nobody waits for a perform(): its failure can only be reported.
      Logger("Store").log(LogLevel::error, "Uncaught error in a context's perform block",
                          {{"error", MetadataValue::string(e.what())}});
    }
  };
  if (impl_->type == ConcurrencyType::mainQueue) {
    MainQueue::shared().post(std::move(task));
    return;
  }
  if (!impl_->worker) impl_->worker = std::make_unique<SerialQueue>();
  impl_->worker->post(std::move(task));
}

}  // namespace chronelle
