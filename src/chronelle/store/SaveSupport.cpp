#include "chronelle/store/SaveSupport.h"

#include <map>

#include "chronelle/store/StoreError.h"

namespace chronelle {

namespace {

bool typeMatches(AttributeType type, const Value& value) {
  switch (type) {
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64: return value.getIf<std::int64_t>() != nullptr;
    case AttributeType::doubleType: return value.getIf<double>() != nullptr;
    case AttributeType::boolean: return value.getIf<bool>() != nullptr;
    case AttributeType::string: return value.getIf<std::string>() != nullptr;
    case AttributeType::date: return value.getIf<Date>() != nullptr;
    case AttributeType::binaryData:
    case AttributeType::transformable: return value.getIf<Blob>() != nullptr;
  }
  return false;
}

StoreError validationError(int code, const std::string& message, ManagedObject& object, const std::string& key) {
  return StoreError(code, message,
                    {{StoreError::kValidationObjectKey, object.shared_from_this()},
                     {StoreError::kValidationKeyKey, key}});
}

void validateObject(ManagedObject& object, std::vector<StoreError>& errors) {
  auto& state = object.state();
  const auto& slots = state.layout->slots;
  const auto& values = state.values();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const auto& slot = slots[i];
    const Value& value = values[i];
    const bool optional = slot.isRelationship() ? slot.relationship->optional : slot.attribute->optional;
    if (value.isNull() && !optional) {
      errors.push_back(validationError(StoreError::kValidationMissingMandatoryProperty,
                                       slot.name + " is a required value.", object, slot.name));
      continue;
    }
    if (!slot.isRelationship() && !value.isNull() && !typeMatches(slot.attribute->type, value)) {
      errors.push_back(validationError(StoreError::kValidationValueType,
                                       slot.name + " has a value of the wrong type: " + value.description(), object,
                                       slot.name));
      continue;
    }
    try {
      object.validateValue(slot.name, value);
    } catch (const StoreError& error) {
      errors.push_back(error);
    }
  }
}

void validateDeletion(ObjectContext::Impl& context, ManagedObject& object, std::vector<StoreError>& errors) {
  const auto& layout = *object.state().layout;
  for (std::size_t i = 0; i < layout.slots.size(); ++i) {
    const auto& slot = layout.slots[i];
    if (!slot.isRelationship() || slot.relationship->deleteRule != DeleteRule::deny) continue;
    auto target = context.relatedObject(object, static_cast<int>(i));
    if (target && !target->isDeleted()) {
      errors.push_back(validationError(StoreError::kValidationDeleteDeny,
                                       "the object cannot be deleted while " + slot.name + " is set", object, slot.name));
    }
  }
  for (std::size_t i = 0; i < layout.toMany.size(); ++i) {
    const auto& toMany = layout.toMany[i];
    if (toMany.relationship->deleteRule != DeleteRule::deny) continue;
    if (!context.relatedObjects(object, static_cast<int>(i)).empty()) {
      errors.push_back(validationError(StoreError::kValidationDeleteDeny,
                                       "the object cannot be deleted while " + toMany.relationship->name +
                                           " is not empty",
                                       object, toMany.relationship->name));
    }
  }
}

}  // namespace

void validateChanges(ObjectContext::Impl& context) {
  std::vector<StoreError> errors;
  // A list of the changed objects, not the map: validation hooks may read relationships,
  // which can register more objects while we iterate.
  std::vector<std::shared_ptr<ManagedObject>> objects;
  objects.reserve(context.changes.size());
  for (const auto& entry : context.changes) objects.push_back(entry.second);
  for (auto& object : objects) {
    const auto& state = object->state();
    if (state.deleted) {
      validateDeletion(context, *object, errors);
    } else if (state.inserted || state.isUpdated()) {
      validateObject(*object, errors);
    }
  }
  if (errors.empty()) return;
  if (errors.size() == 1) throw errors.front();
  const std::string message = "Multiple validation errors occurred.";
  throw StoreError(StoreError::kMultipleValidationErrors, message, {{StoreError::kDetailedErrorsKey, errors}});
}

SavePlan classifyChanges(const ObjectContext::Impl& context) {
  SavePlan plan;
  for (const auto& [seq, object] : context.changes) {
    const auto& state = object->state();
    if (state.deleted) {
      if (!state.inserted) plan.deletes.push_back(object.get());
    } else if (state.inserted) {
      plan.inserts.push_back(object.get());
    } else if (state.hasSlotChanges()) {
      plan.updates.push_back(object.get());
    }
  }
  return plan;
}

namespace {

class RowWriter {
 public:
  RowWriter(ObjectContext::Impl& context, SavePlan& plan) : context_(context), plan_(plan), db_(context.db()) {}

  void assignKeys() {
    std::map<int, std::vector<ManagedObject*>> byTable;
    for (auto* object : plan_.inserts) {
      if (object->state().id.isTemporaryID()) byTable[object->state().layout->table->index].push_back(object);
    }
    for (auto& [index, members] : byTable) {
      std::int64_t pk = context_.store->reservePrimaryKeys(db_, *members.front()->state().layout->table,
                                                           static_cast<std::int64_t>(members.size()));
      for (auto* object : members) {
        plan_.newKeys[object->state().id.storeIdentifier()] = pk;
        plan_.assigned.emplace_back(object, context_.store->objectID(object->entity(), pk));
        ++pk;
      }
    }
  }

  void insert(ManagedObject& object) {
    auto& state = object.state();
    const auto& layout = *state.layout;
    std::string& sql = insertSql_[&layout];
    if (sql.empty()) {
      std::string columns = "Z_PK, Z_ENT, Z_OPT", marks = "?, ?, ?";
      for (const auto& slot : layout.slots) {
        columns += ", \"" + layout.table->columns[static_cast<std::size_t>(slot.column)].name + "\"";
        marks += ", ?";
        if (slot.entityColumn >= 0) {
          columns += ", \"" + layout.table->columns[static_cast<std::size_t>(slot.entityColumn)].name + "\"";
          marks += ", ?";
        }
      }
      sql = "INSERT INTO \"" + layout.table->name + "\" (" + columns + ") VALUES (" + marks + ")";
    }
    // One statement per entity for the whole save: rows of a bulk insert only rebind.
    auto found = insertStatements_.find(&layout);
    if (found == insertStatements_.end()) found = insertStatements_.emplace(&layout, db_.cached(sql)).first;
    Statement& statement = *found->second;
    statement.reset();
    statement.bindInt64(1, primaryKey(state.id));
    statement.bindInt64(2, context_.store->code(*state.entity));
    statement.bindInt64(3, 1);
    int index = 4;
    for (std::size_t i = 0; i < layout.slots.size(); ++i) bindSlot(statement, index, layout.slots[i], state.values()[i]);
    statement.run();
    plan_.versions.emplace_back(&object, 1);
  }

  void update(ManagedObject& object) {
    auto& state = object.state();
    const auto& layout = *state.layout;
    std::string sql = "UPDATE \"" + layout.table->name + "\" SET Z_OPT = ?";
    for (std::size_t i = 0; i < layout.slots.size(); ++i) {
      if (state.changed[i]) appendAssignments(sql, layout, layout.slots[i]);
    }
    sql += " WHERE Z_PK = ? AND Z_OPT = ?";
    auto statement = db_.cached(sql);
    statement->bindInt64(1, state.version + 1);
    int index = 2;
    for (std::size_t i = 0; i < layout.slots.size(); ++i) {
      if (state.changed[i]) bindSlot(*statement, index, layout.slots[i], state.values()[i]);
    }
    statement->bindInt64(index++, state.id.primaryKey());
    statement->bindInt64(index, state.version);
    statement->run();
    if (db_.changes() == 1) {
      plan_.versions.emplace_back(&object, state.version + 1);
      return;
    }
    resolveConflict(object);
  }

  void remove(ManagedObject& object) {
    auto& state = object.state();
    const TableLayout& table = *state.layout->table;
    auto statement = db_.cached("DELETE FROM \"" + table.name + "\" WHERE Z_PK = ? AND Z_OPT = ?");
    statement->bindInt64(1, state.id.primaryKey());
    statement->bindInt64(2, state.version);
    statement->run();
    if (db_.changes() == 1) return;
    auto current = readRow(object);
    if (!current) return;  // deleted elsewhere already: nothing left to do
    if (context_.mergePolicy == MergePolicy::error) conflict(object);
    auto force = db_.cached("DELETE FROM \"" + table.name + "\" WHERE Z_PK = ?");
    force->bindInt64(1, state.id.primaryKey());
    force->run();
  }

 private:
  std::int64_t primaryKey(const ObjectID& id) const {
    if (!id.isTemporaryID()) return id.primaryKey();
    auto it = plan_.newKeys.find(id.storeIdentifier());
    if (it == plan_.newKeys.end()) {
      throw StoreError(StoreError::kValidationValueType,
                       "a relationship refers to an unsaved object that is not part of this save: " +
                           id.uriRepresentation());
    }
    return it->second;
  }

  void bindSlot(Statement& statement, int& index, const PropertySlot& slot, const Value& raw) {
    if (!slot.isRelationship()) {
      statement.bind(index++, raw);
      return;
    }
    const auto* id = raw.getIf<ObjectID>();
    ObjectID resolved;
    if (id != nullptr && id->isTemporaryID()) {
      resolved = context_.canonical(*id);
      id = &resolved;
    }
    if (id == nullptr) {
      statement.bindNull(index++);
      if (slot.entityColumn >= 0) statement.bindNull(index++);
      return;
    }
    statement.bindInt64(index++, primaryKey(*id));
    if (slot.entityColumn >= 0) {
      const EntityDescription* target = context_.model->entity(id->entityName());
      statement.bindInt64(index++, context_.store->code(*target));
    }
  }

  static void appendAssignments(std::string& sql, const EntityDescription::Layout& layout, const PropertySlot& slot) {
    sql += ", \"" + layout.table->columns[static_cast<std::size_t>(slot.column)].name + "\" = ?";
    if (slot.entityColumn >= 0) {
      sql += ", \"" + layout.table->columns[static_cast<std::size_t>(slot.entityColumn)].name + "\" = ?";
    }
  }

  struct StoredRow {
    std::int64_t version;
    std::vector<Value> values;
  };
  std::optional<StoredRow> readRow(ManagedObject& object) {
    auto& state = object.state();
    const TableLayout& table = *state.layout->table;
    auto statement = context_.rowByKey(table, state.id.primaryKey());
    if (!statement->step()) return std::nullopt;
    return StoredRow{statement->columnInt64(2), context_.decodeRow(*state.layout, *statement)};
  }

  [[noreturn]] void conflict(ManagedObject& object) {
    throw StoreError(StoreError::kOptimisticLockingFailure,
                     "optimistic locking failure: " + object.objectID().uriRepresentation() +
                         " was changed in the store since it was read",
                     {{"conflictList", std::vector<std::shared_ptr<ManagedObject>>{object.shared_from_this()}}});
  }

  // Another context saved the row since this one read it. Property by property: a side
  // that alone changed a property wins; when both did, the policy decides.
  void resolveConflict(ManagedObject& object) {
    if (context_.mergePolicy == MergePolicy::error) conflict(object);
    auto stored = readRow(object);
    if (!stored) conflict(object);  // deleted elsewhere: there is nothing to merge into
    auto& state = object.state();
    const auto& layout = *state.layout;
    std::vector<Value> merged(layout.slots.size());
    for (std::size_t i = 0; i < layout.slots.size(); ++i) {
      const bool mine = state.changed[i];
      const bool theirs = !(stored->values[i] == state.saved()[i]);
      const bool keepMine = mine && (!theirs || context_.mergePolicy == MergePolicy::mergeByPropertyObjectTrump);
      merged[i] = keepMine ? state.values()[i] : stored->values[i];
    }
    std::string sql = "UPDATE \"" + layout.table->name + "\" SET Z_OPT = ?";
    for (const auto& slot : layout.slots) appendAssignments(sql, layout, slot);
    sql += " WHERE Z_PK = ?";
    auto statement = db_.cached(sql);
    statement->bindInt64(1, stored->version + 1);
    int index = 2;
    for (std::size_t i = 0; i < layout.slots.size(); ++i) bindSlot(*statement, index, layout.slots[i], merged[i]);
    statement->bindInt64(index, state.id.primaryKey());
    statement->run();
    plan_.versions.emplace_back(&object, stored->version + 1);
    plan_.merged.push_back(SavePlan::Merge{&object, std::move(merged)});
  }

  ObjectContext::Impl& context_;
  SavePlan& plan_;
  Connection& db_;
  std::map<const EntityDescription::Layout*, std::string> insertSql_;
  std::map<const EntityDescription::Layout*, CachedStatement> insertStatements_;
};

}  // namespace

void writeChanges(ObjectContext::Impl& context, SavePlan& plan) {
  RowWriter writer(context, plan);
  writer.assignKeys();
  for (auto* object : plan.inserts) writer.insert(*object);
  for (auto* object : plan.updates) writer.update(*object);
  for (auto* object : plan.deletes) writer.remove(*object);
}

}  // namespace chronelle
