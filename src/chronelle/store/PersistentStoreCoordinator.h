#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "chronelle/store/ObjectID.h"
#include "chronelle/store/ObjectModel.h"

namespace chronelle {

struct StoreOptions {
  // Migrate a store written by an older version of the model on opening.
  bool migratePersistentStoresAutomatically = true;
  // Infer the mapping (new entities, new attributes with defaults, removed attributes).
  bool inferMappingModelAutomatically = true;
  // How long a connection waits for another process's lock before failing, in ms.
  int busyTimeoutMilliseconds = 5000;
};

// Owns the SQLite store file of one model: schema creation, migration, metadata, and the
// connections that contexts use. Shared by every context on it (shared_ptr), which is why
// changes saved by one context reach the others through it. Thread-safe.
class PersistentStoreCoordinator : public std::enable_shared_from_this<PersistentStoreCoordinator> {
 public:
  explicit PersistentStoreCoordinator(std::shared_ptr<const ObjectModel> model);
  ~PersistentStoreCoordinator();

  // Opens (creating when missing, migrating when older) the SQLite store at `file`.
  // Throws StoreError (kPersistentStoreOpen, kPersistentStoreIncompatibleVersion,
  // kMigration) and leaves an existing file unmodified on failure.
  void addPersistentStore(const std::filesystem::path& file, const StoreOptions& options = {});
  bool hasStore() const;

  const ObjectModel& model() const;
  std::shared_ptr<const ObjectModel> sharedModel() const;
  // The UUID recorded in the store's metadata (empty before a store is added).
  std::string storeIdentifier() const;
  std::filesystem::path storeFile() const;

  // The ObjectID named by URI text if it is a permanent ID of this store and entity of
  // this model; absent otherwise (the row need not exist).
  std::optional<ObjectID> managedObjectIDForURIRepresentation(std::string_view uri) const;

  // Application metadata kept in the store's metadata table (e.g. a clean-shutdown mark).
  std::optional<std::string> metadataValue(const std::string& key) const;
  void setMetadataValue(const std::string& key, const std::string& value);

  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace chronelle
