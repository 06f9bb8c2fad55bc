// Several saves in one store transaction: each writes its rows in a savepoint of it and
// commits in memory at once, so the next one (and the fetches between them) build on it;
// what the in-memory commits changed is journaled, so a failed transaction puts the
// context back, and the merges and "did save" posts wait for the commit.

#include <mutex>
#include <utility>

#include "chronelle/store/ContextImpl.h"

namespace chronelle {

namespace {

// What an in-memory commit changes of one object.
struct JournaledState {
  std::shared_ptr<ManagedObject> object;
  ObjectID id;
  bool registered = false;
  std::vector<Value> values, savedCopy;
  bool savedIsValues = false;
  std::vector<std::uint8_t> changed;
  std::size_t changedCount = 0;
  bool toManyChanged = false;
  std::int64_t version = 0;
  bool inserted = false, deleted = false, fault = false, deletionProcessed = false;
  std::uint64_t changeSeq = 0;
  bool pendingInsert = false, pendingUpdate = false, pendingDelete = false;

  JournaledState(ManagedObject& of, const ObjectContext* context) : object(of.shared_from_this()) {
    auto& s = of.state();
    id = s.id;
    registered = s.context == context;
    values = s.values();
    savedCopy = s.savedCopy();
    savedIsValues = s.savedIsValues();
    changed = s.changed;
    changedCount = s.changedCount;
    toManyChanged = s.toManyChanged;
    version = s.version;
    inserted = s.inserted;
    deleted = s.deleted;
    fault = s.fault;
    deletionProcessed = s.deletionProcessed;
    changeSeq = s.changeSeq;
    pendingInsert = s.pendingInsert;
    pendingUpdate = s.pendingUpdate;
    pendingDelete = s.pendingDelete;
  }

  void restore(ManagedObject::State& s) && {
    s.id = std::move(id);
    s.setValues(std::move(values));
    s.restoreSaved(std::move(savedCopy), savedIsValues);
    s.changed = std::move(changed);
    s.changedCount = changedCount;
    s.toManyChanged = toManyChanged;
    s.version = version;
    s.inserted = inserted;
    s.deleted = deleted;
    s.fault = fault;
    s.deletionProcessed = deletionProcessed;
    s.changeSeq = changeSeq;
    s.pendingInsert = pendingInsert;
    s.pendingUpdate = pendingUpdate;
    s.pendingDelete = pendingDelete;
  }
};

}  // namespace

struct ObjectContext::Impl::OpenTransaction {
  std::vector<JournaledState> journal;
  std::vector<std::function<void()>> announcements;
};

void ObjectContext::Impl::EndTransaction::operator()(OpenTransaction* open) const { delete open; }

void ObjectContext::Impl::performInTransaction(const std::function<void()>& block) {
  if (parent || openTransaction) {
    block();
    return;
  }
  store->requireStore();
  std::vector<std::function<void()>> announcements;
  {
    std::lock_guard lock(store->writeMutex);
    openTransaction.reset(new OpenTransaction());
    Transaction transaction(db());
    try {
      block();
      transaction.commit();
    } catch (...) {
      auto open = std::move(openTransaction);
      // Newest first, so an object saved twice ends with the state it had before the first.
      for (auto it = open->journal.rbegin(); it != open->journal.rend(); ++it) {
        auto& state = it->object->state();
        if (state.context == self) unregister(*it->object);
        if (state.id.isTemporaryID() == false && it->id.isTemporaryID()) aliases.erase(it->id.storeIdentifier());
        const bool registered = it->registered;
        auto object = it->object;
        std::move(*it).restore(state);
        if (registered) registerObject(object);
      }
      // The change list holds the restored objects that had changes, under their positions.
      std::erase_if(changes, [&](const auto& entry) { return entry.second->state().changeSeq != entry.first; });
      for (const auto& entry : open->journal) {
        const auto seq = entry.object->state().changeSeq;
        if (seq != 0) changes.emplace(seq, entry.object);
      }
      // Caches filled inside the transaction may hold rows it took back.
      store->generation.fetch_add(1);
      throw;
    }
    announcements = std::move(openTransaction->announcements);
    openTransaction.reset();
  }
  store->generation.fetch_add(1);
  for (auto& announce : announcements) announce();
}

void ObjectContext::Impl::writeInTransaction(const std::function<void()>& write) {
  if (openTransaction) {
    Connection& connection = db();
    connection.cached("SAVEPOINT save")->run();
    try {
      write();
    } catch (...) {
      connection.exec("ROLLBACK TO save");
      connection.exec("RELEASE save");
      throw;
    }
    connection.cached("RELEASE save")->run();
    return;
  }
  std::lock_guard lock(store->writeMutex);
  store->markWriting();
  Transaction transaction(db());
  write();
  transaction.commit();
}

void ObjectContext::Impl::journalBeforeCommit(const std::vector<ManagedObject*>& objects) {
  if (!openTransaction) return;
  auto& journal = openTransaction->journal;
  for (auto* object : objects) journal.emplace_back(*object, self);
  for (const auto& [seq, object] : changes) journal.emplace_back(*object, self);
}

void ObjectContext::Impl::announceAfterCommit(std::function<void()> announce) {
  if (openTransaction) {
    openTransaction->announcements.push_back(std::move(announce));
  } else {
    announce();
  }
}

}  // namespace chronelle
