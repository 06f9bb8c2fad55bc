#pragma once
// Store-internal state of a PersistentStoreCoordinator, shared by its contexts.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "chronelle/store/EntityLayout.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/Sqlite.h"

namespace chronelle {

class ConnectionLease;
class ObjectContext;
class StoreFileLock;

struct PersistentStoreCoordinator::Impl {
  std::shared_ptr<const ObjectModel> model;
  std::filesystem::path file;
  StoreOptions options;
  std::string storeUUID;
  std::atomic<bool> open{false};
  /// Whether the last commit of this process that checkpointed left every page of the log in
  /// the file (cleared by a commit that did not checkpoint): the log can then be emptied on
  /// close without a sync.
  mutable std::atomic<bool> logCopied{false};

  /// Entity codes (the Z_ENT column), fixed when the store is added.
  std::vector<int> codeByEntity;  ///< by entity index in the model
  std::unordered_map<int, const EntityDescription*> entityByCode;

  /// Bumped by every save that wrote rows; caches derived from the store compare it.
  std::atomic<std::uint64_t> generation{1};

  /// One writer at a time in this process; SQLite's own lock guards against others.
  std::mutex writeMutex;
  /// The coordinator's lock file (it outlives this state); null when the store has none.
  StoreFileLock* fileLock = nullptr;
  /// Marks the store in use by a writer before the first write; call with writeMutex held.
  void markWriting();

  /// Every context created on this coordinator (expired ones are pruned as it goes), so a
  /// save can be merged into the others. Guarded by contextsMutex.
  std::mutex contextsMutex;
  std::vector<std::weak_ptr<ObjectContext>> contexts;

  /// Idle connections, reused so their prepared statements stay warm.
  std::mutex poolMutex;
  std::vector<std::unique_ptr<Connection>> idle;

  /// A connection for one context (or one call); back to the pool when released.
  /// `keepAlive` (may be null) keeps the coordinator alive as long as the lease.
  ConnectionLease acquire(std::shared_ptr<const PersistentStoreCoordinator> keepAlive);
  std::unique_ptr<Connection> openConnection() const;
  void release(std::unique_ptr<Connection> connection);
  void requireStore() const;

  int code(const EntityDescription& entity) const {
    return codeByEntity[static_cast<std::size_t>(entity.layout().index)];
  }
  /// Null for an unknown code.
  const EntityDescription* entityForCode(std::int64_t code) const;
  /// The condition that keeps the rows of the entity (with its descendants when asked) in a
  /// table read as `column` ("t0.Z_ENT", or "+t0.Z_ENT" to keep it off the code's index).
  std::string entityFilter(const EntityDescription& entity, bool withSubentities, const std::string& column) const;

  /// Reserves `count` consecutive primary keys of `table` inside the caller's open write
  /// transaction; returns the first.
  std::int64_t reservePrimaryKeys(Connection& connection, const TableLayout& table, std::int64_t count);

  ObjectID objectID(const EntityDescription& entity, std::int64_t pk) const {
    return ObjectID::permanent(entity.name(), pk, storeUUID);
  }
};

/// A pooled connection held by one user; returns to the pool on destruction. Keeps the
/// coordinator alive while it lives.
class ConnectionLease {
 public:
  ConnectionLease() = default;
  ConnectionLease(PersistentStoreCoordinator::Impl* pool, std::shared_ptr<const PersistentStoreCoordinator> owner,
                  std::unique_ptr<Connection> connection)
      : pool_(pool), owner_(std::move(owner)), connection_(std::move(connection)) {}
  ConnectionLease(ConnectionLease&&) noexcept = default;
  ConnectionLease& operator=(ConnectionLease&& other) noexcept {
    if (this != &other) {
      giveBack();
      pool_ = other.pool_;
      owner_ = std::move(other.owner_);
      connection_ = std::move(other.connection_);
    }
    return *this;
  }
  ~ConnectionLease() { giveBack(); }
  explicit operator bool() const { return static_cast<bool>(connection_); }
  Connection& operator*() const { return *connection_; }
  Connection* operator->() const { return connection_.get(); }

 private:
  void giveBack() {
    if (connection_ && pool_) pool_->release(std::move(connection_));
    connection_.reset();
  }
  PersistentStoreCoordinator::Impl* pool_ = nullptr;
  std::shared_ptr<const PersistentStoreCoordinator> owner_;
  std::unique_ptr<Connection> connection_;
};

/// Schema and row helpers (Schema.cpp).
const char* sqlType(AttributeType type);
/// Creates every table, index and bookkeeping table of the model in an empty database.
void createSchema(Connection& connection, const ObjectModel& model);
/// A column's value as the attribute type keeps it in memory.
Value readColumn(const Statement& statement, int column, AttributeType type);

}  // namespace chronelle
