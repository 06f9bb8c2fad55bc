#include "chronelle/store/StoreMigration.h"

#include <stdexcept>

#include "chronelle/store/Sqlite.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/StoreFile.h"
#include "chronelle/store/StoreMigrationPlan.h"

namespace chronelle {

namespace {

StoreError incompatible(const std::string& reason) {
  return StoreError(StoreError::kPersistentStoreIncompatibleVersion, reason);
}

}  // namespace

std::unique_ptr<StoreMigration> StoreMigration::prepare(StoreFileReader& reader, const ObjectModel& model,
                                                        const StoreOptions& options) {
  return prepare(reader, reader.metadata(), model, options);
}

std::unique_ptr<StoreMigration> StoreMigration::prepare(StoreFileReader& reader,
                                                        std::map<std::string, std::string> metadata,
                                                        const ObjectModel& model, const StoreOptions& options) {
  if (metadata.count(kStoreUUIDKey) == 0) {
    throw StoreError(StoreError::kPersistentStoreOpen, "the file is an SQLite database but not a store");
  }
  const std::string& name = metadata[kStoreModelNameKey];
  if (name != model.name()) throw incompatible("it was written for model " + name + ", not " + model.name());
  if (metadata[kStoreSchemaHashKey] == model.schemaHash()) return nullptr;

  const std::string& versionText = metadata[kStoreModelVersionKey];
  int version = 0;
  try {
    version = std::stoi(versionText);
  } catch (const std::exception&) {
    throw incompatible("its model version '" + versionText + "' is unreadable");
  }
  const std::string written = "it was written by version " + versionText + " of model " + name;
  if (version > model.version()) {
    throw incompatible(written + ", newer than version " + std::to_string(model.version()) +
                       " of this application; open it with the newer application");
  }
  if (version == model.version()) {
    throw incompatible(written + ", the same version as this application's but with another schema");
  }
  if (!options.migratePersistentStoresAutomatically || !options.inferMappingModelAutomatically) {
    throw incompatible(written + " and needs a migration to version " + std::to_string(model.version()) +
                       ", which the store options turn off");
  }

  // The older version helps only if it is exactly what the file was written with.
  auto older = ModelRegistry::find(name, version);
  if (older && older->schemaHash() != metadata[kStoreSchemaHashKey]) older.reset();
  MigrationPlan plan = planMigration(reader, model, older.get());
  if (!plan.problems.empty()) {
    std::string reasons;
    for (const auto& problem : plan.problems) reasons += (reasons.empty() ? "" : "; ") + problem;
    throw incompatible(written + ", which cannot be migrated to version " + std::to_string(model.version()) + ": " +
                       reasons);
  }
  auto migration = std::make_unique<StoreMigration>();
  migration->fromVersion_ = version;
  migration->toVersion_ = model.version();
  migration->steps_ = std::move(plan.steps);
  const char* upsert = "INSERT OR REPLACE INTO Z_METADATA (Z_KEY, Z_VALUE) VALUES (?, ?)";
  migration->steps_.push_back(Step{upsert, {Value(kStoreModelVersionKey), Value(std::to_string(model.version()))}});
  migration->steps_.push_back(Step{upsert, {Value(kStoreSchemaHashKey), Value(model.schemaHash())}});
  return migration;
}

void StoreMigration::run(Connection& connection) const {
  for (const auto& step : steps_) {
    try {
      Statement statement(connection, step.sql);
      statement.bindAll(step.parameters);
      statement.run();
    } catch (const StoreError& e) {
      throw StoreError(StoreError::kMigration, "the migration from version " + std::to_string(fromVersion_) +
                                                   " to version " + std::to_string(toVersion_) +
                                                   " failed and was rolled back: " + e.what());
    }
  }
}

}  // namespace chronelle
