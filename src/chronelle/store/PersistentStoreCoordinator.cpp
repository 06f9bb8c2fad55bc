#include "chronelle/store/PersistentStoreCoordinator.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "chronelle/store/CoordinatorImpl.h"
#include "chronelle/store/KeptLogVfs.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/StoreFile.h"
#include "chronelle/store/StoreFileLock.h"
#include "chronelle/store/StoreMigration.h"

namespace chronelle {

namespace {

constexpr const char* kUUIDKey = kStoreUUIDKey;
constexpr const char* kModelNameKey = kStoreModelNameKey;
constexpr const char* kModelVersionKey = kStoreModelVersionKey;
constexpr const char* kSchemaHashKey = kStoreSchemaHashKey;

void writeMetadata(Connection& connection, const std::string& key, const std::string& value) {
  auto statement = connection.cached("INSERT OR REPLACE INTO Z_METADATA (Z_KEY, Z_VALUE) VALUES (?, ?)");
  statement->bindText(1, key);
  statement->bindText(2, value);
  statement->run();
}

// The write-ahead log stays beside the store file between processes: a process that opens
// the store, commits and closes then syncs its commit and nothing else, where creating the
// log (its header, its directory entry) and checkpointing it into the file on close (the log,
// then the file) would cost four more syncs. Every commit in the log was synced when it was
// made, so the log is as durable as the file; the next connection of any process reads it
// back. It is kept small, because opening a store reads all of it: a commit that leaves more
// than kLogCheckpointPages pages in it also copies it into the file, a log file is cut back
// to kLogLimitBytes when it starts over, and a coordinator that closes with a larger one
// (after an import) empties it. A coordinator also empties a log that such a copy left wholly
// in the file, which costs no sync: the next process rebuilds its index of the log from the
// frames and cannot know they were copied, so it would copy (and sync) them all again at its
// first commit, and so would every process after it until the log outgrew kLogLimitBytes.
// Emptying keeps the log's size (KeptLogVfs), so commits overwrite it rather than grow it.
constexpr int kLogCheckpointPages = 128;
constexpr std::uintmax_t kLogLimitBytes = KeptLogVfs::kMostBytesKept;

// Every connection to the store, the one that sets it up (`switchToWal` for a file not yet
// in WAL mode, which keeps the mode once switched) and the pooled ones.
void setUpConnection(Connection& connection, const StoreOptions& options, bool switchToWal,
                     std::atomic<bool>& logCopied) {
  // FULL: a save that returned is on disk even after a power cut; WAL lets readers on other
  // connections go on while a context saves.
  const std::int64_t mapped = options.mappedFileBytes;
  connection.exec(std::string(switchToWal ? "PRAGMA journal_mode = WAL; " : "") +
                  "PRAGMA synchronous = FULL; PRAGMA foreign_keys = OFF; PRAGMA journal_size_limit = " +
                  std::to_string(kLogLimitBytes) +
                  (mapped > 0 ? "; PRAGMA mmap_size = " + std::to_string(mapped) : std::string()));
  connection.checkpointLogOver(kLogCheckpointPages, &logCopied);
}

std::uintmax_t logSize(const std::filesystem::path& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file.string() + "-wal", error);
  return error ? 0 : size;
}

StoreError openError(int code, const std::filesystem::path& file, const std::string& reason) {
  return StoreError(code, "cannot open the store " + file.string() + ": " + reason,
                    {{"NSFilePath", file.string()}});
}

// The same failure, about the file; an SQLite failure while reading it means the file is
// not a usable store.
StoreError openError(const StoreError& error, const std::filesystem::path& file) {
  return openError(error.code() == StoreError::kSQLite ? StoreError::kPersistentStoreOpen : error.code(), file,
                   error.what());
}

// A mark of the model's name and schema for the file header's `user_version` field. Every
// open that finds or makes the store current for this model writes it there, so a later
// open that reads it back from the header knows the store was last set up for this very
// schema without reading the schema through SQLite first.
std::uint32_t schemaMark(const ObjectModel& model) {
  std::uint32_t hash = 2166136261u;  // FNV-1a: stable across runs and platforms
  const auto add = [&](std::string_view text) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 16777619u;
    }
  };
  add(model.name());
  add(std::string_view("\0", 1));
  add(model.schemaHash());
  hash &= 0x7FFFFFFFu;  // the field is a signed 32-bit integer; keep it positive
  return hash == 0 ? 1 : hash;
}

// Decides whether the existing file at `file` can be opened, without writing to it (see
// StoreFile.h), and returns what its header says. Throws the failure as an open error.
StoreFileHeader inspectWithoutWriting(const std::filesystem::path& file, const ObjectModel& model,
                                      const StoreOptions& options) {
  StoreFileHeader header;
  try {
    if (inspectStoreFile(file, &header) != StoreFileKind::sqlite) return header;
  } catch (const StoreError& e) {
    throw openError(e, file);
  }
  // A file in WAL mode marked for this model was current when it was last opened: opening it
  // for writing changes nothing before the schema is checked again inside the write
  // transaction, so the read-only look (a second connection reading the whole schema) would
  // only repeat that check. Anything else is looked at first: a newer, older or foreign store
  // is refused or migrated before SQLite may write to it.
  if (header.wal && header.userVersion == schemaMark(model)) return header;
  // The first look may read the file as immutable, which a process that starts using the
  // store at that very moment could change under it; an SQLite failure is confirmed by a
  // second look through SQLite's locks before the file is called broken.
  for (const bool immutable : {true, false}) {
    try {
      auto reader = StoreFileReader::openReadOnly(file, immutable, options.busyTimeoutMilliseconds);
      if (!reader->tables().empty()) StoreMigration::prepare(*reader, model, options);
      return header;
    } catch (const StoreError& e) {
      if (e.code() != StoreError::kSQLite || !immutable) throw openError(e, file);
    }
  }
  return header;
}

// Writes the model's mark into the header of a store that is now current for it, inside the
// caller's setup transaction, unless it is there already.
void markSchema(Connection& connection, const ObjectModel& model) {
  const std::uint32_t mark = schemaMark(model);
  {
    auto read = connection.cached("PRAGMA user_version");
    if (read->step() && read->columnInt64(0) == static_cast<std::int64_t>(mark)) return;
  }
  try {
    connection.exec("PRAGMA user_version = " + std::to_string(mark));
  } catch (const StoreError&) {
    // A store the process may only read cannot take the mark: it opens as before, with the
    // read-only look every time.
  }
}

}  // namespace

// --- Impl ----------------------------------------------------------------------------

std::unique_ptr<Connection> PersistentStoreCoordinator::Impl::openConnection() const {
  auto connection = std::make_unique<Connection>(file, false, options.busyTimeoutMilliseconds);
  connection->leaveLogOnClose();
  setUpConnection(*connection, options, false, logCopied);
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

void PersistentStoreCoordinator::Impl::markWriting() {
  if (fileLock) fileLock->markWriting();
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

std::string PersistentStoreCoordinator::Impl::entityFilter(const EntityDescription& entity, bool withSubentities,
                                                          const std::string& column) const {
  if (!withSubentities) return column + " = " + std::to_string(this->code(entity));
  std::vector<int> codes;
  for (const auto* e : entity.layout().selfAndDescendants) codes.push_back(this->code(*e));
  std::sort(codes.begin(), codes.end());
  if (codes.size() == 1) return column + " = " + std::to_string(codes.front());
  // A contiguous run of codes is one range test per row; SQLite checks a list of several codes
  // by probing a temporary table for every row.
  if (codes.back() - codes.front() + 1 == static_cast<int>(codes.size())) {
    return column + " BETWEEN " + std::to_string(codes.front()) + " AND " + std::to_string(codes.back());
  }
  std::string list;
  for (int code : codes) list += (list.empty() ? "" : ",") + std::to_string(code);
  return column + " IN (" + list + ")";
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

PersistentStoreCoordinator::~PersistentStoreCoordinator() {
  // Every lease is gone (each keeps the coordinator alive), so the pool holds every
  // connection still open. Emptying a log that is all in the file only cuts it. Without
  // waiting: a log another process is still reading is left for a later close or commit.
  if (!impl_->open.load() || (!impl_->logCopied.load() && logSize(impl_->file) <= kLogLimitBytes)) return;
  try {
    auto lease = impl_->acquire(nullptr);
    lease->setBusyTimeout(0);
    lease->checkpointAndEmptyLog();
  } catch (const std::exception&) {
    // Closing goes on: every commit is in the log, which the next user reads.
  }
}

bool PersistentStoreCoordinator::checkpointStoreFile() {
  auto lease = impl_->acquire(nullptr);
  return lease->checkpointAndEmptyLog();
}

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

  const StoreFileHeader header = inspectWithoutWriting(file, model, options);

  // The file is new, empty, current, or can be migrated: open it for writing. Another
  // process may have set it up or migrated it since the look above, so the decision is
  // taken again inside the write transaction.
  // The connection that set the store up becomes the first of the pool: closing it would
  // make SQLite delete the -wal and -shm files only for the first query to create them again.
  std::unique_ptr<Connection> setup;
  try {
    // A refused store is left as it was found: with the log it had, or without the log and
    // shared-memory files that this open made (SQLite removes them when it closes as the last
    // connection of any process).
    std::error_code noLog;
    const bool logFound = std::filesystem::exists(file.string() + "-wal", noLog);
    setup = std::make_unique<Connection>(file, true, options.busyTimeoutMilliseconds);
    Connection& connection = *setup;
    if (logFound) connection.leaveLogOnClose();
    setUpConnection(connection, options, !header.wal, d.logCopied);
    Transaction transaction(connection);
    StoreFileReader reader(connection.handle());
    // The metadata is read once: it decides between creating, migrating and using the store,
    // and names the store (a migration keeps its UUID).
    auto metadata = reader.metadata();
    if (metadata.empty() && reader.tables().empty()) {
      metadata[kUUIDKey] = ObjectID::temporary("Store").storeIdentifier();
      createSchema(connection, model);
      writeMetadata(connection, kUUIDKey, metadata[kUUIDKey]);
      writeMetadata(connection, kModelNameKey, model.name());
      writeMetadata(connection, kModelVersionKey, std::to_string(model.version()));
      writeMetadata(connection, kSchemaHashKey, model.schemaHash());
    } else if (auto migration = StoreMigration::prepare(reader, metadata, model, options)) {
      migration->run(connection);
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
    d.storeUUID = metadata[kUUIDKey];
    // A header read with the mark needs no second look: only this schema writes it, and a
    // store changed by another version since would have been refused above.
    const bool fileWithoutMark = header.userVersion != schemaMark(model);
    if (fileWithoutMark) markSchema(connection, model);
    transaction.commit();
    // A new or migrated store is written into the file at once, and so is a mark that only the
    // log holds: the file alone is then a complete store of this version, and the next open
    // finds the mark in its header. A reader of another process may keep the log from being
    // emptied; the next open tries again.
    if (fileWithoutMark) connection.checkpointAndEmptyLog();
    if (!logFound) connection.leaveLogOnClose();
  } catch (const StoreError& e) {
    throw openError(e, file);
  }
  d.file = file;
  d.options = options;
  d.release(std::move(setup));
  lock_ = StoreFileLock::acquire(file);
  d.fileLock = lock_.get();
  openedAfterUncleanShutdown_ = lock_ && lock_->previousUserDidNotClose();
  d.open.store(true);
}

bool PersistentStoreCoordinator::openedAfterUncleanShutdown() const { return openedAfterUncleanShutdown_; }

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
  impl_->markWriting();
  Transaction transaction(*lease);
  writeMetadata(*lease, key, value);
  transaction.commit();
}

}  // namespace chronelle
