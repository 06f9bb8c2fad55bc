#include "chronelle/store/PersistentStoreCoordinator.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "chronelle/store/CoordinatorImpl.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

namespace {

constexpr const char* kUUIDKey = "NSStoreUUID";
constexpr const char* kModelNameKey = "NSStoreModelName";
constexpr const char* kModelVersionKey = "NSStoreModelVersion";
constexpr const char* kSchemaHashKey = "NSStoreSchemaHash";

std::map<std::string, std::string> readMetadata(Connection& connection) {
  std::map<std::string, std::string> values;
  auto statement = connection.cached("SELECT Z_KEY, Z_VALUE FROM Z_METADATA");
  while (statement->step()) values[statement->columnText(0)] = statement->columnText(1);
  return values;
}

void writeMetadata(Connection& connection, const std::string& key, const std::string& value) {
  auto statement = connection.cached("INSERT OR REPLACE INTO Z_METADATA (Z_KEY, Z_VALUE) VALUES (?, ?)");
  statement->bindText(1, key);
  statement->bindText(2, value);
  statement->run();
}

// Everything but the bookkeeping tables SQLite keeps for itself.
std::vector<std::string> userTables(Connection& connection) {
  std::vector<std::string> names;
  auto statement =
      connection.cached("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'");
  while (statement->step()) names.push_back(statement->columnText(0));
  return names;
}

StoreError openError(int code, const std::filesystem::path& file, const std::string& reason) {
  return StoreError(code, "cannot open the store " + file.string() + ": " + reason,
                    {{"NSFilePath", file.string()}});
}

}  // namespace

// --- Impl ----------------------------------------------------------------------------

std::unique_ptr<Connection> PersistentStoreCoordinator::Impl::openConnection() const {
  auto connection = std::make_unique<Connection>(file, false, options.busyTimeoutMilliseconds);
  // FULL: a save that returned is on disk even after a power cut; WAL lets readers on
  // other connections go on while a context saves.
  connection->exec("PRAGMA synchronous = FULL; PRAGMA foreign_keys = OFF");
  return connection;
}

ConnectionLease PersistentStoreCoordinator::Impl::acquire(std::shared_ptr<const PersistentStoreCoordinator> owner) {
  requireStore();
  {
    std::lock_guard lock(poolMutex);
    if (!idle.empty()) {
      auto connection = std::move(idle.back());
      idle.pop_back();
      return ConnectionLease(this, std::move(owner), std::move(connection));
    }
  }
  return ConnectionLease(this, std::move(owner), openConnection());
}

void PersistentStoreCoordinator::Impl::release(std::unique_ptr<Connection> connection) {
  if (!connection) return;
  if (connection->inTransaction()) return;  // never hand on a connection mid-transaction
  std::lock_guard lock(poolMutex);
  if (idle.size() < 8) idle.push_back(std::move(connection));
}

void PersistentStoreCoordinator::Impl::requireStore() const {
  if (!open.load()) {
    throw StoreError(StoreError::kPersistentStoreOpen, "the coordinator has no persistent store");
  }
}

const EntityDescription* PersistentStoreCoordinator::Impl::entityForCode(std::int64_t code) const {
  auto it = entityByCode.find(static_cast<int>(code));
  return it == entityByCode.end() ? nullptr : it->second;
}

std::string PersistentStoreCoordinator::Impl::codeList(const EntityDescription& entity, bool withSubentities) const {
  if (!withSubentities) return std::to_string(this->code(entity));
  std::string list;
  for (const auto* e : entity.layout().selfAndDescendants) {
    if (!list.empty()) list += ",";
    list += std::to_string(this->code(*e));
  }
  return list;
}

std::int64_t PersistentStoreCoordinator::Impl::reservePrimaryKeys(Connection& connection, const TableLayout& table,
                                                                 std::int64_t count) {
  auto read = connection.cached("SELECT Z_MAX FROM Z_PRIMARYKEY WHERE Z_NAME = ?");
  read->bindText(1, table.name);
  if (!read->step()) throw StoreError(StoreError::kSQLite, "no key counter for table " + table.name);
  const std::int64_t first = read->columnInt64(0) + 1;
  auto write = connection.cached("UPDATE Z_PRIMARYKEY SET Z_MAX = ? WHERE Z_NAME = ?");
  write->bindInt64(1, first + count - 1);
  write->bindText(2, table.name);
  write->run();
  return first;
}

// --- PersistentStoreCoordinator -----------------------------------------------------

PersistentStoreCoordinator::PersistentStoreCoordinator(std::shared_ptr<const ObjectModel> model)
    : impl_(std::make_unique<Impl>()) {
  if (!model || !model->isFinalized()) {
    throw std::invalid_argument("PersistentStoreCoordinator needs a finalised model");
  }
  impl_->model = std::move(model);
}

PersistentStoreCoordinator::~PersistentStoreCoordinator() = default;

void PersistentStoreCoordinator::addPersistentStore(const std::filesystem::path& file, const StoreOptions& options) {
  auto& d = *impl_;
  if (d.open.load()) throw openError(StoreError::kPersistentStoreOpen, file, "a store was already added");
  const ObjectModel& model = *d.model;
  for (const auto& entity : model.entities()) {
    for (const auto& attribute : entity->ownAttributes()) {
      if (attribute.type == AttributeType::transformable &&
          !ValueTransformerRegistry::isRegistered(attribute.valueTransformerName)) {
        throw openError(StoreError::kPersistentStoreOpen, file,
                        "value transformer " + attribute.valueTransformerName + " of " + entity->name() + "." +
                            attribute.name + " is not registered");
      }
    }
  }

  Connection connection(file, true, options.busyTimeoutMilliseconds);
  std::vector<std::string> tables;
  std::map<std::string, std::string> metadata;
  try {
    tables = userTables(connection);
    if (std::find(tables.begin(), tables.end(), "Z_METADATA") != tables.end()) metadata = readMetadata(connection);
  } catch (const StoreError& e) {
    throw openError(StoreError::kPersistentStoreOpen, file, e.what());
  }
  const bool fresh = tables.empty();
  if (!fresh) {
    if (metadata.count(kUUIDKey) == 0) throw openError(StoreError::kPersistentStoreOpen, file, "not a store file");
    if (metadata[kModelNameKey] != model.name()) {
      throw openError(StoreError::kPersistentStoreIncompatibleVersion, file,
                      "written for model " + metadata[kModelNameKey] + ", not " + model.name());
    }
    if (metadata[kSchemaHashKey] != model.schemaHash()) {
      // Stores of another version of the model need a migration, which this engine does
      // not perform yet; refusing leaves the file as it was.
      throw openError(StoreError::kPersistentStoreIncompatibleVersion, file,
                      "written by version " + metadata[kModelVersionKey] + " of model " + model.name() +
                          ", which differs from version " + std::to_string(model.version()));
    }
  }

  try {
    connection.exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = OFF");
    Transaction transaction(connection);
    if (fresh) {
      createSchema(connection, model);
      writeMetadata(connection, kUUIDKey, ObjectID::temporary("Store").storeIdentifier());
      writeMetadata(connection, kModelNameKey, model.name());
      writeMetadata(connection, kModelVersionKey, std::to_string(model.version()));
      writeMetadata(connection, kSchemaHashKey, model.schemaHash());
    }
    // Entity codes: names already recorded keep their code; new ones are appended.
    std::map<std::string, int> codes;
    int maxCode = 0;
    {
      auto statement = connection.cached("SELECT Z_ENT, Z_NAME FROM Z_ENTITIES");
      while (statement->step()) {
        const int code = static_cast<int>(statement->columnInt64(0));
        codes[statement->columnText(1)] = code;
        maxCode = std::max(maxCode, code);
      }
    }
    d.codeByEntity.assign(model.entities().size(), 0);
    for (const auto& entity : model.entities()) {
      auto it = codes.find(entity->name());
      int code = it != codes.end() ? it->second : ++maxCode;
      if (it == codes.end()) {
        auto insert = connection.cached("INSERT INTO Z_ENTITIES (Z_ENT, Z_NAME, Z_SUPER) VALUES (?, ?, ?)");
        insert->bindInt64(1, code);
        insert->bindText(2, entity->name());
        insert->bindText(3, entity->parentName());
        insert->run();
      }
      d.codeByEntity[static_cast<std::size_t>(entity->layout().index)] = code;
      d.entityByCode[code] = entity.get();
    }
    d.storeUUID = readMetadata(connection)[kUUIDKey];
    transaction.commit();
  } catch (const StoreError& e) {
    throw openError(StoreError::kPersistentStoreOpen, file, e.what());
  }
  d.file = file;
  d.options = options;
  d.open.store(true);
}

bool PersistentStoreCoordinator::hasStore() const { return impl_->open.load(); }
const ObjectModel& PersistentStoreCoordinator::model() const { return *impl_->model; }
std::shared_ptr<const ObjectModel> PersistentStoreCoordinator::sharedModel() const { return impl_->model; }
std::string PersistentStoreCoordinator::storeIdentifier() const { return hasStore() ? impl_->storeUUID : ""; }
std::filesystem::path PersistentStoreCoordinator::storeFile() const { return hasStore() ? impl_->file : ""; }

std::optional<ObjectID> PersistentStoreCoordinator::managedObjectIDForURIRepresentation(std::string_view uri) const {
  if (!hasStore()) return std::nullopt;
  auto id = ObjectID::fromURI(uri);
  if (!id || id->isTemporaryID() || id->storeIdentifier() != impl_->storeUUID) return std::nullopt;
  const EntityDescription* entity = impl_->model->entity(id->entityName());
  if (entity == nullptr || entity->isAbstract()) return std::nullopt;
  return id;
}

std::optional<std::string> PersistentStoreCoordinator::metadataValue(const std::string& key) const {
  auto lease = impl_->acquire(nullptr);
  auto statement = lease->cached("SELECT Z_VALUE FROM Z_METADATA WHERE Z_KEY = ?");
  statement->bindText(1, key);
  if (!statement->step()) return std::nullopt;
  return statement->columnText(0);
}

void PersistentStoreCoordinator::setMetadataValue(const std::string& key, const std::string& value) {
  if (key == kUUIDKey || key == kModelNameKey || key == kModelVersionKey || key == kSchemaHashKey) {
    throw std::invalid_argument("metadata key " + key + " belongs to the store");
  }
  auto lease = impl_->acquire(nullptr);
  std::lock_guard lock(impl_->writeMutex);
  Transaction transaction(*lease);
  writeMetadata(*lease, key, value);
  transaction.commit();
}

}  // namespace chronelle
