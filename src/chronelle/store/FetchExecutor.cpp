// Object, ID and count fetches: SQL over saved rows, merged with the context's unsaved
// changes; dictionary fetches read saved rows only.

#include <algorithm>
#include <cmath>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/OrderedUnionSql.h"
#include "chronelle/store/SqlMapper.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/StoredValueOrder.h"

namespace chronelle {

namespace {

struct Query {
  std::string from;   // joins included
  std::string where;  // without WHERE
  std::string order;  // without ORDER BY; ends with the primary key as a tie-break
  std::vector<Value> parameters;
  // A fetch sorted by the span's begin alone whose range of begin is "one range, or other
  // rows": `where` is also `common AND (range OR otherwise)`, to be read as the two apart.
  SqlFragment common;
  std::optional<SqlFragment> range, otherwise;
};

// The rows are to be read in `snapshot` (SqlMapper::predicateSql).
Query buildQuery(const FetchRequest& request, const EntityDescription& entity,
                 const PersistentStoreCoordinator::Impl& store, SqlMapper& mapper, ReadSnapshot& snapshot) {
  Query query;
  // A fetch of the root entity of a table shared by subentities, with them, wants every row:
  // through the entity-code index it would read each row twice and then sort them all. The
  // unary plus keeps the filter off that index (rows of a code no entity has still drop out).
  const bool everyRow = request.includesSubentities && entity.layout().table->root == &entity &&
                        entity.layout().selfAndDescendants.size() > 1;
  query.where = store.entityFilter(entity, request.includesSubentities, everyRow ? "+t0.Z_ENT" : "t0.Z_ENT");
  if (request.predicate) {
    SqlFragment fragment = mapper.predicateSql(*request.predicate, &snapshot);
    query.where += " AND (" + fragment.sql + ")";
    query.parameters = std::move(fragment.parameters);
    if (auto range = mapper.spanRange(*request.predicate)) {
      if (range->beginRange && request.sortDescriptors.size() == 1 &&
          request.sortDescriptors.front().key == entity.rootEntity().span().first) {
        query.common = SqlFragment{query.where, query.parameters};
        query.range = std::move(range->beginRange);
        query.otherwise = std::move(range->otherwise);
      }
      query.where += " AND " + range->sql;
      query.parameters.insert(query.parameters.end(), range->parameters.begin(), range->parameters.end());
    }
  }
  for (const auto& sort : request.sortDescriptors) {
    query.order += mapper.resolve(sort.key).sql + (sort.ascending ? " ASC, " : " DESC, ");
  }
  query.order += request.keysDescending() ? "t0.Z_PK DESC" : "t0.Z_PK";
  query.from = " FROM \"" + entity.layout().table->name + "\" t0" + mapper.joins();
  return query;
}

}  // namespace

const EntityDescription& ObjectContext::Impl::fetchedEntity(const FetchRequest& request) const {
  store->requireStore();
  const EntityDescription* entity = model->entity(request.entityName);
  if (entity == nullptr) {
    throw StoreError(StoreError::kInvalidPredicate, "no entity named '" + request.entityName + "' in model " +
                                                        model->name());
  }
  return *entity;
}

namespace {

// The unsaved objects a fetch of `entity` must look at in memory.
struct Pending {
  std::vector<std::shared_ptr<ManagedObject>> objects;
  std::size_t saved = 0;  // of which have rows (updated or deleted)
};

Pending pendingFor(const ObjectContext::Impl& context, const FetchRequest& request, const EntityDescription& entity) {
  Pending pending;
  for (const auto& [seq, object] : context.changes) {
    const auto& e = object->entity();
    if (request.includesSubentities ? !e.isKindOf(entity) : &e != &entity) continue;
    pending.objects.push_back(object);
    if (!object->state().inserted) ++pending.saved;
  }
  return pending;
}

void sortInMemory(ObjectContext::Impl& context, const FetchRequest& request, ObjectSet& objects) {
  std::vector<std::vector<std::string>> paths;
  for (const auto& sort : request.sortDescriptors) paths.push_back(SqlMapper::split(sort.key));
  struct Keyed {
    std::vector<Value> keys;
    std::shared_ptr<ManagedObject> object;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(objects.size());
  const bool descending = request.keysDescending();
  for (auto& object : objects) {
    ObjectSubject subject(context, *object);
    Keyed k{{}, object};
    for (const auto& path : paths) k.keys.push_back(subject.valueForKeyPath(path));
    keyed.push_back(std::move(k));
  }
  std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const int c = compareStoredValues(a.keys[i], b.keys[i]);
      if (c != 0) return request.sortDescriptors[i].ascending ? c < 0 : c > 0;
    }
    return precedesInKeyOrder(*a.object, *b.object, descending);
  });
  for (std::size_t i = 0; i < objects.size(); ++i) objects[i] = std::move(keyed[i].object);
}

}  // namespace

ObjectSet ObjectContext::Impl::fetchObjects(const FetchRequest& request) {
  const EntityDescription& entity = fetchedEntity(request);
  processPendingChanges();
  const Pending pending = pendingFor(*this, request, entity);
  SqlMapper mapper(entity, *store);
  ReadSnapshot snapshot(db());
  const Query query = buildQuery(request, entity, *store, mapper, snapshot);
  const TableLayout& table = *entity.layout().table;
  // The begin orders two merged searches, so a fetch read as those carries it.
  const int sortColumn = query.range ? table.columnByName.find(table.span.first)->second : -1;
  const std::shared_ptr<const Unfetched> partial = partialRead(request, entity, sortColumn);
  const std::string select = selectColumns(table, partial.get());
  SqlFragment rows{select + query.from + " WHERE " + query.where + " ORDER BY " + query.order, query.parameters};
  if (query.range) {
    const auto at = static_cast<std::size_t>(sortColumn);
    const std::size_t position = partial ? static_cast<std::size_t>(partial->positions[at]) : at + 3;
    rows = orderedUnionSql(select + query.from, query.common, *query.range, *query.otherwise, position + 1,
                           request.sortDescriptors.front().ascending);
  }
  // Each unsaved change can push at most one saved row out of the result, so that many
  // extra rows are enough for the limit to hold after the merge. (A child context does not
  // know its parent's changes before the rows are read, so it reads them all.)
  if (request.fetchLimit > 0 && !parent) rows.sql += " LIMIT " + std::to_string(request.fetchLimit + pending.saved);
  // A fetch that names no properties returns its objects as their rows were when it ran:
  // those it made read the rest at its end, together, in the state of the database the keys
  // were read in (another connection may delete their rows or save them anew in between).
  const bool readsRest = partial && request.propertiesToFetch.empty();
  if (readsRest) snapshot.hold();
  auto statement = db().cached(rows.sql);
  statement->bindAll(rows.parameters);
  ++fetchCount;
  ObjectSet result;
  while (statement->step()) {
    auto object = objectForRow(*statement, table, partial);
    if (object->state().changeSeq == 0) result.push_back(std::move(object));  // changed ones are re-tested below
  }
  if (readsRest && !partial->keys.empty()) readUnfetched(*partial);
  snapshot.release();
  std::vector<std::shared_ptr<ManagedObject>> candidates = pending.objects;
  if (parent) {
    ParentPending fromParent = parentPending(request, entity);
    std::erase_if(result, [&](const auto& object) { return fromParent.hidden.count(object->state().id) > 0; });
    candidates.insert(candidates.end(), fromParent.objects.begin(), fromParent.objects.end());
  }
  if (candidates.empty()) return result;
  for (const auto& object : candidates) {
    if (object->state().deleted || object->state().context != self) continue;
    if (!request.predicate || request.predicate->evaluate(ObjectSubject(*this, *object))) result.push_back(object);
  }
  sortInMemory(*this, request, result);
  if (request.fetchLimit > 0 && result.size() > request.fetchLimit) result.resize(request.fetchLimit);
  return result;
}

std::vector<ObjectID> ObjectContext::Impl::fetchIDs(const FetchRequest& request) {
  const EntityDescription& entity = fetchedEntity(request);
  processPendingChanges();
  std::vector<ObjectID> ids;
  if (parent || !pendingFor(*this, request, entity).objects.empty()) {
    for (const auto& object : fetchObjects(request)) ids.push_back(object->objectID());
    return ids;
  }
  SqlMapper mapper(entity, *store);
  ReadSnapshot snapshot(db());
  const Query query = buildQuery(request, entity, *store, mapper, snapshot);
  std::string sql = "SELECT t0.Z_PK, t0.Z_ENT" + query.from + " WHERE " + query.where + " ORDER BY " + query.order;
  if (request.fetchLimit > 0) sql += " LIMIT " + std::to_string(request.fetchLimit);
  auto statement = db().cached(sql);
  statement->bindAll(query.parameters);
  ++fetchCount;
  while (statement->step()) {
    const EntityDescription* concrete = store->entityForCode(statement->columnInt64(1));
    if (concrete != nullptr) ids.push_back(store->objectID(*concrete, statement->columnInt64(0)));
  }
  snapshot.release();
  return ids;
}

std::size_t ObjectContext::Impl::count(const FetchRequest& request) {
  const EntityDescription& entity = fetchedEntity(request);
  processPendingChanges();
  if (parent) return fetchObjects(request).size();
  const Pending pending = pendingFor(*this, request, entity);
  SqlMapper mapper(entity, *store);
  ReadSnapshot snapshot(db());
  const Query query = buildQuery(request, entity, *store, mapper, snapshot);
  std::size_t total = 0;
  if (pending.objects.empty()) {
    auto statement = db().cached("SELECT COUNT(*)" + query.from + " WHERE " + query.where);
    statement->bindAll(query.parameters);
    ++fetchCount;
    if (statement->step()) total = static_cast<std::size_t>(statement->columnInt64(0));
  } else {
    const auto& registry = byPk[static_cast<std::size_t>(entity.layout().table->index)];
    auto statement = db().cached("SELECT t0.Z_PK" + query.from + " WHERE " + query.where);
    statement->bindAll(query.parameters);
    ++fetchCount;
    while (statement->step()) {
      auto it = registry.find(statement->columnInt64(0));
      if (it == registry.end() || it->second->state().changeSeq == 0) ++total;
    }
    for (const auto& object : pending.objects) {
      if (object->state().deleted || object->state().context != self) continue;
      if (!request.predicate || request.predicate->evaluate(ObjectSubject(*this, *object))) ++total;
    }
  }
  snapshot.release();
  return request.fetchLimit > 0 ? std::min(total, request.fetchLimit) : total;
}

}  // namespace chronelle
