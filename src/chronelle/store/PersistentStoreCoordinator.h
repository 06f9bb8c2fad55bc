#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "chronelle/store/ObjectID.h"
#include "chronelle/store/ObjectModel.h"

namespace chronelle {

class StoreFileLock;

/// How `addPersistentStore` opens a store.
struct StoreOptions {
  /// Migrate a store written by an older version of the model on opening.
  bool migratePersistentStoresAutomatically = true;
  /// Infer the mapping (new entities, new attributes with defaults, removed attributes).
  bool inferMappingModelAutomatically = true;
  /// How long a connection waits for another process's lock before failing, in ms.
  int busyTimeoutMilliseconds = 5000;
  /// Bytes of the store file each connection reads through a memory mapping instead of
  /// copying each page it reads into its cache; 0 (the default) maps nothing. Worth it for a
  /// process that lives a moment and reads a few thousand pages; in a long-lived one every
  /// page ever read stays in its resident size.
  std::int64_t mappedFileBytes = 0;
};

/// Owns the SQLite store file of one model: schema creation, migration, metadata, and the
/// connections that contexts use. Shared by every context on it (shared_ptr), which is why
/// changes saved by one context reach the others through it. Thread-safe.
class PersistentStoreCoordinator : public std::enable_shared_from_this<PersistentStoreCoordinator> {
 public:
  /// A coordinator for the finalised `model`, without a store yet.
  explicit PersistentStoreCoordinator(std::shared_ptr<const ObjectModel> model);
  /// Closes the store; a log grown past a limit (a large import) is emptied first, unless
  /// another process is reading it.
  ~PersistentStoreCoordinator();

  /// Opens the SQLite store at `file`: creates it when missing or empty, migrates it in one
  /// transaction when an older version of the model wrote it (see StoreMigration.h).
  /// Throws StoreError with a one-line reason and leaves an existing file unmodified:
  /// - kPersistentStoreOpen: not a store (a directory, not SQLite, only zero bytes,
  ///   truncated, an SQLite database of something else), or SQLite cannot open it;
  /// - kPersistentStoreIncompatibleVersion: written for another model or by a newer
  ///   version, or a migration that cannot be inferred (the reasons are listed);
  /// - kMigration: the migration failed while running and was rolled back.
  /// Takes the store's lock file (`<file>-lock`) once the store is open. The store's
  /// write-ahead log (`<file>-wal`) stays beside the file between processes and may hold
  /// the newest commits: a copy of the store is the file with its log (or the file after
  /// `checkpointStoreFile`).
  void addPersistentStore(const std::filesystem::path& file, const StoreOptions& options = {});
  /// True once `addPersistentStore` succeeded.
  bool hasStore() const;

  /// True when the previous user of the store file ended without closing it (a crash or a
  /// kill) and this coordinator is the only one that has it open now: derived values that
  /// the data layer keeps up to date on every save may then be stale and worth repairing.
  /// False before a store is added, for a new store, after a clean close, and when other
  /// coordinators (in this or another process) had the store open when this one opened it.
  /// A coordinator marks the store closed when it is destroyed as its last user.
  bool openedAfterUncleanShutdown() const;

  /// Copies every commit that the write-ahead log still holds into the store file and
  /// empties the log, so that the file alone holds the whole store (before it is copied or
  /// checked on its own). Commits are durable without it. Waits for other connections up to
  /// the busy timeout; false when one of them (a read still running in another process)
  /// kept the log from being emptied. Throws StoreError: kPersistentStoreOpen without a
  /// store, kSQLite on an I/O failure. Any thread.
  bool checkpointStoreFile();

  /// The model, as given.
  const ObjectModel& model() const;
  /// The model, shared.
  std::shared_ptr<const ObjectModel> sharedModel() const;
  /// The UUID recorded in the store's metadata (empty before a store is added).
  std::string storeIdentifier() const;
  /// The store file; empty before a store is added.
  std::filesystem::path storeFile() const;

  /// The ObjectID named by URI text if it is a permanent ID of this store and entity of
  /// this model; absent otherwise (the row need not exist).
  std::optional<ObjectID> managedObjectIDForURIRepresentation(std::string_view uri) const;

  /// Application metadata kept in the store's metadata table (e.g. a clean-shutdown mark).
  ///@{
  std::optional<std::string> metadataValue(const std::string& key) const;
  void setMetadataValue(const std::string& key, const std::string& value);
  ///@}

  struct Impl;
  /// Store-internal: the engine's state (declared in a header that is not installed).
  Impl& impl() const { return *impl_; }

 private:
  /// Declared first so that it is released last, after every connection is closed.
  std::unique_ptr<StoreFileLock> lock_;
  bool openedAfterUncleanShutdown_ = false;
  std::unique_ptr<Impl> impl_;
};

}  // namespace chronelle
