#include "chronelle/store/StoreMigrationPlan.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "chronelle/store/CoordinatorImpl.h"
#include "chronelle/store/StoreFile.h"

namespace chronelle {

namespace {


// --- What the file holds ---------------------------------------------------------------

struct StoredTable {
  std::map<std::string, std::string> columns;               // name → declared type
  std::map<std::string, std::vector<std::string>> indexes;  // name → columns
  bool has(const std::string& column) const { return columns.count(column) != 0; }
};

struct StoredEntity {
  std::int64_t code = 0;
  std::string parent;
};

struct StoredSchema {
  std::map<std::string, StoredTable> tables;  // the entity tables, not the bookkeeping ones
  std::vector<std::string> sumTables;         // the tables of maintained sums
  std::vector<std::string> sumTriggers;       // and the triggers that keep them
  std::map<std::string, StoredEntity> entities;

  // The table that held the entity's rows: its root's, following the recorded parents.
  std::string tableOf(const std::string& entity) const {
    std::string name = entity;
    for (std::size_t hops = 0; hops <= entities.size(); ++hops) {
      auto it = entities.find(name);
      if (it == entities.end() || it->second.parent.empty()) break;
      name = it->second.parent;
    }
    return storeName(name);
  }
};

bool isBookkeepingTable(const std::string& name) {
  return name == "Z_METADATA" || name == "Z_PRIMARYKEY" || name == "Z_ENTITIES";
}

// Maintained sums are named after their entity table (Z…), key and value, and end so.
bool isSumTable(const std::string& name) { return name.starts_with('Z') && name.ends_with("_SUM"); }

bool isBookkeepingColumn(const std::string& name) { return name == "Z_PK" || name == "Z_ENT" || name == "Z_OPT"; }

StoredSchema readSchema(StoreFileReader& reader) {
  StoredSchema schema;
  for (const auto& name : reader.tables()) {
    if (isBookkeepingTable(name)) continue;
    if (isSumTable(name)) {
      schema.sumTables.push_back(name);
      continue;
    }
    StoredTable& table = schema.tables[name];
    for (auto& row : reader.rows("SELECT name, type FROM pragma_table_info(?)", {name})) {
      table.columns[row[0]] = row[1];
    }
    for (auto& index : reader.rows("SELECT name FROM pragma_index_list(?)", {name})) {
      auto& columns = table.indexes[index[0]];
      for (auto& column : reader.rows("SELECT name FROM pragma_index_info(?)", {index[0]})) columns.push_back(column[0]);
    }
  }
  for (auto& row : reader.rows("SELECT name FROM sqlite_master WHERE type = 'trigger'")) {
    if (isSumTable(row[0].substr(0, row[0].rfind('_')))) schema.sumTriggers.push_back(row[0]);
  }
  for (auto& row : reader.rows("SELECT Z_ENT, Z_NAME, ifnull(Z_SUPER, '') FROM Z_ENTITIES")) {
    schema.entities[row[1]] = StoredEntity{std::stoll(row[0]), row[2]};
  }
  return schema;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

bool sameSqlType(std::string stored, const char* wanted) {
  std::transform(stored.begin(), stored.end(), stored.begin(), [](unsigned char c) { return std::toupper(c); });
  return stored == wanted;
}

const char* typeName(AttributeType type) {
  switch (type) {
    case AttributeType::integer16: return "integer 16";
    case AttributeType::integer32: return "integer 32";
    case AttributeType::integer64: return "integer 64";
    case AttributeType::doubleType: return "double";
    case AttributeType::boolean: return "boolean";
    case AttributeType::string: return "string";
    case AttributeType::date: return "date";
    case AttributeType::binaryData: return "binary data";
    case AttributeType::transformable: return "transformable";
  }
  return "?";
}

// --- Planning ----------------------------------------------------------------------------

// Compares the model with the file and collects the steps of the migration, by phase, and
// the reasons it cannot be done. Only reads.
class Planner {
 public:
  Planner(StoreFileReader& reader, const ObjectModel& model, const ObjectModel* older)
      : reader_(reader), model_(model), older_(older), schema_(readSchema(reader)) {}

  void plan() {
    // Maintained sums are derived from the rows: the stored ones go first (their triggers
    // name columns that may be dropped), the model's are made anew and filled at the end.
    for (const auto& name : schema_.sumTriggers) add(dropSums_, "DROP TRIGGER " + quoted(name));
    for (const auto& name : schema_.sumTables) add(dropSums_, "DROP TABLE " + quoted(name));
    entities();
    std::set<std::string> modelTables;
    for (const auto& entity : model_.entities()) {
      if (entity->superentity() != nullptr) continue;
      const TableLayout& table = *entity->layout().table;
      modelTables.insert(table.name);
      auto stored = schema_.tables.find(table.name);
      if (stored == schema_.tables.end()) {
        for (auto& sql : createTableStatements(table)) add(createTables_, std::move(sql));
      } else {
        columns(table, stored->second);
      }
      for (const auto& sum : table.sums) {
        for (auto& sql : maintainedSumStatements(table, sum)) add(sums_, std::move(sql));
        add(sums_, fillMaintainedSumStatement(table, sum));
      }
    }
    for (const auto& [name, stored] : schema_.tables) {
      if (modelTables.count(name) != 0) continue;
      const std::int64_t rows = reader_.integer("SELECT count(*) FROM " + quoted(name));
      if (rows > 0) {
        if (blamed_.count(name) == 0) {
          problems_.push_back("table " + name + " belongs to no entity of the model but holds " + count(rows, "row"));
        }
        continue;
      }
      add(dropTables_, "DROP TABLE " + quoted(name));
      add(dropTables_, "DELETE FROM Z_PRIMARYKEY WHERE Z_NAME = ?", {Value(name)});
    }
  }

  const std::vector<std::string>& problems() const { return problems_; }

  std::vector<StoreMigration::Step> steps() && {
    std::vector<StoreMigration::Step> all;
    // Indexes on a column must go before the column can; tables are added before the
    // values that may refer to their rows, indexes after the columns they cover.
    for (auto* phase : {&dropSums_, &dropIndexes_, &dropColumns_, &dropTables_, &createTables_, &addColumns_,
                        &fills_, &createIndexes_, &sums_, &entityRows_}) {
      for (auto& step : *phase) all.push_back(std::move(step));
    }
    return all;
  }

 private:
  using Phase = std::vector<StoreMigration::Step>;

  static void add(Phase& phase, std::string sql, std::vector<Value> parameters = {}) {
    phase.push_back(StoreMigration::Step{std::move(sql), std::move(parameters)});
  }

  static std::string count(std::int64_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
  }

  // Codes (as an SQL list) of the entity and its descendants that the file knows; empty
  // when none has ever been stored.
  std::string storedCodes(const EntityDescription& entity) const {
    std::string list;
    for (const auto* e : entity.layout().selfAndDescendants) {
      auto it = schema_.entities.find(e->name());
      if (it == schema_.entities.end()) continue;
      if (!list.empty()) list += ",";
      list += std::to_string(it->second.code);
    }
    return list;
  }

  std::int64_t rows(const std::string& table, const std::string& codes, const std::string& condition = "") {
    return reader_.integer("SELECT count(*) FROM " + quoted(table) + " WHERE Z_ENT IN (" + codes + ")" +
                           (condition.empty() ? "" : " AND " + condition));
  }

  // Entities the file records that the model removed, moved to another table, or made
  // abstract: possible only while no stored object is of that entity.
  void entities() {
    for (const auto& [name, stored] : schema_.entities) {
      const std::string oldTable = schema_.tableOf(name);
      const std::int64_t objects =
          schema_.tables.count(oldTable) != 0 ? rows(oldTable, std::to_string(stored.code)) : 0;
      const EntityDescription* entity = model_.entity(name);
      if (entity == nullptr) {
        if (objects == 0) {
          add(entityRows_, "DELETE FROM Z_ENTITIES WHERE Z_NAME = ?", {Value(name)});
        } else {
          problems_.push_back("entity " + name + " was removed, but the store holds " + count(objects, "object") +
                              " of it");
          blamed_.insert(oldTable);
        }
        continue;
      }
      const std::string& newTable = entity->layout().table->name;
      if (objects > 0 && oldTable != newTable) {
        problems_.push_back("entity " + name + " moved from table " + oldTable + " to " + newTable + ", but its " +
                            count(objects, "stored object") + " cannot move with it");
        blamed_.insert(oldTable);
      } else if (objects > 0 && entity->isAbstract()) {
        problems_.push_back("entity " + name + " became abstract, but " + count(objects, "stored object") +
                            " are of exactly that entity");
      }
      if (stored.parent != entity->parentName()) {
        add(entityRows_, "UPDATE Z_ENTITIES SET Z_SUPER = ? WHERE Z_NAME = ?",
            {Value(entity->parentName()), Value(name)});
      }
    }
  }

  // "Entity.property" that a column of the table stores, for messages.
  static std::string owner(const TableLayout& table, int column) {
    for (const auto* entity : table.root->layout().selfAndDescendants) {
      for (const auto& slot : entity->layout().slots) {
        if (slot.column == column || slot.entityColumn == column) return entity->name() + "." + slot.name;
      }
    }
    return table.name + "." + table.columns[static_cast<std::size_t>(column)].name;
  }

  void columns(const TableLayout& table, const StoredTable& stored) {
    std::set<std::string> dropped;
    for (const auto& [name, type] : stored.columns) {
      if (isBookkeepingColumn(name)) continue;
      auto it = table.columnByName.find(name);
      if (it == table.columnByName.end()) {
        dropped.insert(name);
        add(dropColumns_, "ALTER TABLE " + quoted(table.name) + " DROP COLUMN " + quoted(name));
        continue;
      }
      const char* wanted = sqlType(table.columns[static_cast<std::size_t>(it->second)].type);
      if (!sameSqlType(type, wanted)) {
        problems_.push_back(owner(table, it->second) + " is stored as " + (type.empty() ? "untyped" : type) +
                            ", but the model now keeps it as " + wanted);
      }
    }
    for (const auto& column : table.columns) {
      if (!stored.has(column.name)) {
        add(addColumns_, "ALTER TABLE " + quoted(table.name) + " ADD COLUMN " + quoted(column.name) + " " +
                             sqlType(column.type));
      }
    }
    const auto wanted = tableIndexes(table);
    for (const auto& [name, covered] : stored.indexes) {
      const bool onDropped =
          std::any_of(covered.begin(), covered.end(), [&](const std::string& c) { return dropped.count(c) != 0; });
      const bool ours = name.rfind(table.name + "_", 0) == 0 && name.size() > 6 &&
                        name.compare(name.size() - 6, 6, "_INDEX") == 0;
      if (onDropped || (ours && wanted.count(name) == 0)) add(dropIndexes_, "DROP INDEX " + quoted(name));
    }
    for (const auto& [name, body] : wanted) {
      if (stored.indexes.count(name) == 0) {
        add(createIndexes_, "CREATE INDEX " + quoted(name) + " ON " + quoted(table.name) + " (" + body + ")");
      }
    }
    for (const auto* entity : table.root->layout().selfAndDescendants) values(*entity, table, stored);
  }

  // Values of the stored objects of `entity` for its own properties.
  void values(const EntityDescription& entity, const TableLayout& table, const StoredTable& stored) {
    const std::string codes = storedCodes(entity);
    if (codes.empty()) return;
    const EntityDescription* before = older_ != nullptr ? older_->entity(entity.name()) : nullptr;
    const std::string where = entity.name() + ".";
    for (const auto& attribute : entity.ownAttributes()) {
      const std::string column = storeName(attribute.name);
      const AttributeDescription* was = before != nullptr ? before->attribute(attribute.name) : nullptr;
      if (was != nullptr && was->type != attribute.type &&
          std::string(sqlType(was->type)) == sqlType(attribute.type)) {
        problems_.push_back("attribute " + where + attribute.name + " changed its type from " + typeName(was->type) +
                            " to " + typeName(attribute.type));
      }
      if (before != nullptr && before->relationship(attribute.name) != nullptr) {
        problems_.push_back(where + attribute.name + " changed from a relationship to an attribute");
      }
      const bool newColumn = !stored.has(column);
      const bool newForEntity = newColumn || (before != nullptr && was == nullptr);
      if (!attribute.defaultValue.isNull() && (newForEntity || !attribute.optional)) {
        // Only objects without a value get the default: a column shared with a sibling
        // entity keeps the sibling's values.
        add(fills_,
            "UPDATE " + quoted(table.name) + " SET " + quoted(column) + " = ? WHERE Z_ENT IN (" + codes + ") AND " +
                quoted(column) + " IS NULL",
            {attribute.defaultValue});
      } else if (!attribute.optional && attribute.defaultValue.isNull()) {
        const std::int64_t missing =
            newColumn ? rows(table.name, codes) : rows(table.name, codes, quoted(column) + " IS NULL");
        if (missing > 0) {
          problems_.push_back("attribute " + where + attribute.name + " is mandatory without a default value, but " +
                              count(missing, "stored object") + " have no value for it");
        }
      }
    }
    for (const auto& relationship : entity.ownRelationships()) {
      if (relationship.toMany) continue;
      const PropertySlot& slot = entity.layout().slots[static_cast<std::size_t>(entity.layout().slot(relationship.name))];
      const std::string& column = table.columns[static_cast<std::size_t>(slot.column)].name;
      const bool newColumn = !stored.has(column);
      if (newColumn && !relationship.optional) {
        if (const std::int64_t n = rows(table.name, codes); n > 0) {
          problems_.push_back("relationship " + where + relationship.name + " is new and mandatory, but " +
                              count(n, "stored object") + " have none");
        }
      }
      if (before != nullptr && !newColumn) {
        const RelationshipDescription* was = before->relationship(relationship.name);
        if (before->attribute(relationship.name) != nullptr) {
          problems_.push_back(where + relationship.name + " changed from an attribute to a relationship");
        } else if (was != nullptr && was->destinationEntity != relationship.destinationEntity) {
          if (const std::int64_t n = rows(table.name, codes, quoted(column) + " IS NOT NULL"); n > 0) {
            problems_.push_back("relationship " + where + relationship.name + " now leads to " +
                                relationship.destinationEntity + " instead of " + was->destinationEntity + ", and " +
                                count(n, "stored object") + " have one");
          }
        }
      }
      // A destination that gained subentities: its objects' entity codes are read from
      // the destination's table once.
      const TableLayout& destination = *slot.destination->layout().table;
      if (slot.entityColumn >= 0 && !newColumn && schema_.tables.count(destination.name) != 0) {
        const std::string& entityColumn = table.columns[static_cast<std::size_t>(slot.entityColumn)].name;
        if (!stored.has(entityColumn)) {
          add(fills_, "UPDATE " + quoted(table.name) + " SET " + quoted(entityColumn) + " = (SELECT Z_ENT FROM " +
                          quoted(destination.name) + " WHERE Z_PK = " + quoted(table.name) + "." + quoted(column) +
                          ") WHERE Z_ENT IN (" + codes + ") AND " + quoted(column) + " IS NOT NULL");
        }
      }
    }
  }

  StoreFileReader& reader_;
  const ObjectModel& model_;
  const ObjectModel* older_;
  StoredSchema schema_;
  std::vector<std::string> problems_;
  std::set<std::string> blamed_;  // tables whose rows a problem already names
  Phase dropSums_, dropIndexes_, dropColumns_, dropTables_, createTables_, addColumns_, fills_, createIndexes_, sums_,
      entityRows_;
};

}  // namespace

MigrationPlan planMigration(StoreFileReader& reader, const ObjectModel& model, const ObjectModel* older) {
  Planner planner(reader, model, older);
  planner.plan();
  MigrationPlan plan;
  plan.problems = planner.problems();
  plan.steps = std::move(planner).steps();
  return plan;
}

}  // namespace chronelle
