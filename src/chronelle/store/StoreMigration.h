#pragma once
// Store-internal: opening a store file written by another version of its model.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/store/EntityLayout.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/Value.h"

namespace chronelle {

class Connection;
class StoreFileReader;

/// Keys of the metadata the store keeps for itself.
///@{
inline constexpr const char* kStoreUUIDKey = "NSStoreUUID";
inline constexpr const char* kStoreModelNameKey = "NSStoreModelName";
inline constexpr const char* kStoreModelVersionKey = "NSStoreModelVersion";
inline constexpr const char* kStoreSchemaHashKey = "NSStoreSchemaHash";
///@}

/// Schema statements shared by store creation and migration (Schema.cpp).
/// The name of the index on `column` of `table`.
std::string indexName(const std::string& table, const std::string& column);
/// The indexes a model table has, name → what it indexes (quoted column names, or the
/// length of a declared span).
std::map<std::string, std::string> tableIndexes(const TableLayout& table);
/// The SQL of a declared span's length, end − begin, as its index holds it (unqualified
/// columns of the table).
std::string spanLengthSql(const TableLayout& table);
/// CREATE TABLE, its indexes and its primary-key counter.
std::vector<std::string> createTableStatements(const TableLayout& table);
/// The table of a maintained sum and the triggers on `table` that keep it; the table starts
/// empty.
std::vector<std::string> maintainedSumStatements(const TableLayout& table, const MaintainedSumLayout& sum);
/// Fills the empty table of a maintained sum from the rows of `table`.
std::string fillMaintainedSumStatement(const TableLayout& table, const MaintainedSumLayout& sum);

/// The inferred migration of a store written by an older version of the model.
///
/// The mapping is inferred from what the file holds: its tables and their columns with
/// their declared types, its indexes, its entity table (names, codes, parents) and its
/// rows. The file is what will be migrated, so it is the ground truth; a registered model
/// of the older version may differ from what was really written, and stores often outlive
/// the registration of their version. When the registry does hold the older version and
/// its schema hash equals the one recorded in the file, it adds what the file cannot say:
/// attribute types that share an SQL type (integer, boolean, date), and the destination of
/// a to-one relationship.
///
/// Inferred: new entities (new tables, or new entity codes in an existing table), new
/// attributes (new columns, filled with their default value), new to-one relationships
/// (new foreign-key columns with their index), removed attributes and relationships
/// (their indexes, then their columns dropped), removed or moved entities without stored
/// objects, attributes that became mandatory and have a default value for the objects that
/// have none. Anything else is a reason the migration cannot be done.
class StoreMigration {
 public:
  /// Decides, from the store read through `reader`, what opening it with `model` needs.
  /// The reader must see a non-empty database. Returns null when the store already has the
  /// model's schema. Throws StoreError with a one-line reason:
  /// - kPersistentStoreOpen when the database is not a store;
  /// - kPersistentStoreIncompatibleVersion when it belongs to another model, to a newer
  ///   version, to the same version with another schema, needs a migration that `options`
  ///   turn off, or cannot be migrated (every reason found is listed).
  /// Only reads.
  static std::unique_ptr<StoreMigration> prepare(StoreFileReader& reader, const ObjectModel& model,
                                                 const StoreOptions& options);
  /// The same, with the store's metadata (`StoreFileReader::metadata`) already read.
  static std::unique_ptr<StoreMigration> prepare(StoreFileReader& reader, std::map<std::string, std::string> metadata,
                                                 const ObjectModel& model, const StoreOptions& options);

  /// Runs the migration inside the caller's open write transaction and records the model's
  /// version and schema hash. Throws StoreError kMigration; the caller rolls back.
  void run(Connection& connection) const;

  int fromVersion() const { return fromVersion_; }

  struct Step {
    std::string sql;
    std::vector<Value> parameters;
  };

 private:
  int fromVersion_ = 0;
  int toVersion_ = 0;
  std::vector<Step> steps_;
};

}  // namespace chronelle
