#include "chronelle/store/SqlMapper.h"

#include <algorithm>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/StoreMigration.h"

namespace chronelle {

namespace {

[[noreturn]] void badKeyPath(const EntityDescription& entity, std::span<const std::string> path, const char* why) {
  std::string text;
  for (const auto& component : path) text += (text.empty() ? "" : ".") + component;
  throw StoreError(StoreError::kInvalidPredicate,
                   "key path " + text + " of entity " + entity.name() + ": " + why, {{"keyPath", text}});
}

std::string column(const std::string& alias, const TableLayout& table, int index) {
  return alias + ".\"" + table.columns[static_cast<std::size_t>(index)].name + "\"";
}

}  // namespace

SqlFragment SqlMapper::predicateSql(const Predicate& predicate, ReadSnapshot* snapshot) {
  if (snapshot == nullptr) return predicate.toSql(*this);
  Predicate::NumberGuards guards;
  SqlFragment guarded = predicate.toSql(*this, guards);
  // One value per guarded column that an index can answer: numbers order before every text
  // and blob, so the greatest value is below '' exactly when there is none (NULL when the
  // column holds nothing but NULL).
  const TableLayout& table = *entity_.layout().table;
  std::vector<std::string> candidates;
  std::string check;
  for (const ColumnLayout& column : table.columns) {
    const std::string type = sqlType(column.type);
    if (!column.indexed || (type != "INTEGER" && type != "REAL")) continue;
    std::string sql = "t0.\"" + column.name + "\"";
    if (std::find(guards.written.begin(), guards.written.end(), sql) == guards.written.end()) continue;
    check += std::string(check.empty() ? "SELECT " : ", ") + "IFNULL((SELECT MAX(\"" + column.name + "\") FROM \"" +
             table.name + "\") < '', 1)";
    candidates.push_back(std::move(sql));
  }
  if (candidates.empty()) return guarded;
  snapshot->hold();
  Predicate::NumberGuards known;
  {
    auto numbersOnly = snapshot->connection().cached(check);
    if (numbersOnly->step()) {
      for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (numbersOnly->columnInt64(static_cast<int>(i)) != 0) known.omitted.push_back(std::move(candidates[i]));
      }
    }
  }
  return known.omitted.empty() ? guarded : predicate.toSql(*this, known);
}

std::optional<SpanRangeFragment> SqlMapper::spanRange(const Predicate& predicate) const {
  const TableLayout& table = *entity_.layout().table;
  if (table.span.first.empty()) return std::nullopt;
  const auto& keys = entity_.rootEntity().span();
  // Each one step in the index of the span's length.
  const std::string longest = "(SELECT MAX(" + spanLengthSql(table) + ") FROM \"" + table.name + "\")";
  const std::string shortest = "(SELECT MIN(" + spanLengthSql(table) + ") FROM \"" + table.name + "\")";
  const AttributeDescription* begin = entity_.rootEntity().attribute(keys.first);
  return predicate.spanRangeSql(keys.first, keys.second, "t0.\"" + table.span.first + "\"",
                                "t0.\"" + table.span.second + "\"", longest, shortest, begin && !begin->optional);
}

std::vector<std::string> SqlMapper::split(const std::string& keyPath) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto dot = keyPath.find('.', start);
    parts.push_back(keyPath.substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

SqlMapper::Column SqlMapper::resolve(std::span<const std::string> path) {
  if (path.empty() || path.size() > 2) badKeyPath(entity_, path, "key paths have one or two components");
  const auto& layout = entity_.layout();
  const int first = layout.slot(path[0]);
  if (first < 0) {
    badKeyPath(entity_, path, layout.toManyIndex(path[0]) >= 0 ? "to-many relationships cannot be compared"
                                                              : "no such property");
  }
  const PropertySlot* slot = &layout.slots[static_cast<std::size_t>(first)];
  std::string alias = "t0";
  if (path.size() == 2) {
    if (!slot->isRelationship()) badKeyPath(entity_, path, "only a to-one relationship can be followed");
    const EntityDescription& destination = *slot->destination;
    const int second = destination.layout().slot(path[1]);
    if (second < 0) badKeyPath(entity_, path, "no such property at the destination");
    auto it = aliases_.find(slot->name);
    if (it == aliases_.end()) {
      const std::string joined = "t" + std::to_string(aliases_.size() + 1);
      const TableLayout& table = *destination.layout().table;
      joins_ += " LEFT JOIN \"" + table.name + "\" " + joined + " ON " + joined +
                ".Z_PK = " + column("t0", *layout.table, slot->column);
      it = aliases_.emplace(slot->name, joined).first;
    }
    alias = it->second;
    slot = &destination.layout().slots[static_cast<std::size_t>(second)];
  }
  const TableLayout& table = *(path.size() == 2 ? layout.slots[static_cast<std::size_t>(first)].destination->layout().table
                                                : layout.table);
  Column result;
  result.slot = slot;
  result.sql = column(alias, table, slot->column);
  if (slot->entityColumn >= 0) result.entitySql = column(alias, table, slot->entityColumn);
  return result;
}

Value ObjectSubject::valueForKeyPath(std::span<const std::string> path) const {
  const EntityDescription& entity = object_.entity();
  if (path.empty() || path.size() > 2) badKeyPath(entity, path, "key paths have one or two components");
  const auto& layout = entity.layout();
  const int first = layout.slot(path[0]);
  if (first < 0) badKeyPath(entity, path, "no such property");
  auto& state = object_.state();
  if (path.size() == 1) return state.fault ? Value() : context_.canonical(state.value(static_cast<std::size_t>(first)));
  const PropertySlot& slot = layout.slots[static_cast<std::size_t>(first)];
  if (!slot.isRelationship()) badKeyPath(entity, path, "only a to-one relationship can be followed");
  if (slot.destination->layout().slot(path[1]) < 0) badKeyPath(entity, path, "no such property at the destination");
  if (state.fault) return Value();
  auto related = context_.relatedObject(object_, first);
  if (!related || related->isFault()) return Value();
  const int second = related->entity().layout().slot(path[1]);
  return context_.canonical(related->state().value(static_cast<std::size_t>(second)));
}

}  // namespace chronelle
