// Objects fetched with some of their properties only (those the fetch names, or none when
// the context already holds many objects of the table): which columns the fetch reads, and
// the others read for every object it made at once: the first time one of them is used, or,
// for a fetch that names none, as soon as the fetch has made them.

#include <algorithm>

#include "chronelle/platform/Logger.h"
#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

std::shared_ptr<const ObjectContext::Impl::Unfetched> ObjectContext::Impl::partialRead(
    const FetchRequest& request, const EntityDescription& entity, int sortColumn) const {
  const auto& layout = entity.layout();
  // A child context reads saved rows only where its parent has no changes; what it reads
  // later could be newer than its parent's view, so it reads whole rows at once.
  if (parent) return nullptr;
  // A context that holds many objects of the table (a list opened again, a report over
  // entries already shown) reads keys and versions only: an object it holds unchanged since
  // needs no more, and the ones new here read the rest together at the fetch's end. One that
  // holds few (a short-lived process, a first list) reads whole rows: a second statement to
  // prepare would cost it more than the columns it might skip.
  constexpr std::size_t kFewestRegistered = 32;
  if (request.propertiesToFetch.empty() &&
      byPk[static_cast<std::size_t>(layout.table->index)].size() < kFewestRegistered) {
    return nullptr;
  }
  auto unfetched = std::make_shared<Unfetched>();
  unfetched->table = layout.table.get();
  // The columns read are marked first (0), then numbered in the order they are selected.
  unfetched->positions.assign(layout.table->columns.size(), -1);
  if (sortColumn >= 0) unfetched->positions[static_cast<std::size_t>(sortColumn)] = 0;
  for (const auto& property : request.propertiesToFetch) {
    const auto* name = std::get_if<std::string>(&property);
    if (name == nullptr) {
      throw StoreError(StoreError::kInvalidPredicate, "an object fetch of " + entity.name() +
                                                          " cannot compute expressions; fetch dictionaries for them");
    }
    const PropertySlot* slot = nullptr;
    for (const EntityDescription* kind : layout.selfAndDescendants) {
      const auto& candidate = kind->layout();
      if (const int index = candidate.slot(*name); index >= 0) {
        slot = &candidate.slots[static_cast<std::size_t>(index)];
        break;
      }
      if (!request.includesSubentities) break;
    }
    if (slot == nullptr) {
      throw StoreError(StoreError::kInvalidPredicate,
                       "no attribute or to-one relationship '" + *name + "' to fetch in " + entity.name());
    }
    unfetched->positions[static_cast<std::size_t>(slot->column)] = 0;
    if (slot->entityColumn >= 0) unfetched->positions[static_cast<std::size_t>(slot->entityColumn)] = 0;
  }
  placeColumns(*unfetched);
  // Each entity of the table: which of its slots the rows carry (a to-one naming a concrete
  // entity needs that column too).
  unfetched->fetchedSlots.resize(model->entities().size());
  for (const EntityDescription* kind : layout.table->root->layout().selfAndDescendants) {
    const auto& kindLayout = kind->layout();
    auto& slots = unfetched->fetchedSlots[static_cast<std::size_t>(kindLayout.index)];
    for (const auto& s : kindLayout.slots) {
      slots.push_back(unfetched->carries(s.column) && (s.entityColumn < 0 || unfetched->carries(s.entityColumn)));
    }
  }
  return unfetched;
}

void ObjectContext::Impl::placeColumns(Unfetched& unfetched) {
  // Only the columns read are selected (a NULL in the place of each other one would cost
  // SQLite a step per row for every one of them).
  int next = 3;
  for (int& position : unfetched.positions) {
    if (position >= 0) position = next++;
  }
}

std::string ObjectContext::Impl::selectColumns(const TableLayout& table, const Unfetched* unfetched) {
  if (unfetched == nullptr) {
    std::string sql = selectRows(table);
    sql.resize(sql.find(" FROM "));
    return sql;
  }
  std::string sql = "SELECT t0.Z_PK, t0.Z_ENT, t0.Z_OPT";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (unfetched->carries(static_cast<int>(i))) sql += ", t0.\"" + table.columns[i].name + "\"";
  }
  return sql;
}

void ManagedObject::State::loadUnfetched(State& state) {
  const auto unfetched = state.unfetched_;  // kept while the objects let go of it
  if (state.context == nullptr) {
    // No longer in a context (it was destroyed or reset): nothing to read from, so the
    // values not read stay absent.
    state.unfetched_.reset();
    return;
  }
  state.context->impl().readUnfetched(*unfetched);
  // Its row is gone (another context deleted it and this one has not merged that yet): what
  // was not read stays absent.
  if (state.unfetched_ == unfetched) state.unfetched_.reset();
}

void ObjectContext::Impl::readUnfetched(const Unfetched& unfetched) {
  const TableLayout& table = *unfetched.table;
  auto& map = byPk[static_cast<std::size_t>(table.index)];
  std::vector<std::int64_t> keys = unfetched.keys;
  std::sort(keys.begin(), keys.end());
  if (keys.empty()) return;
  // The rows carry the columns the fetch did not read.
  Unfetched rest;
  for (const int position : unfetched.positions) rest.positions.push_back(position >= 0 ? -1 : 0);
  placeColumns(rest);
  const std::string select = selectColumns(table, &rest) + " FROM \"" + table.name + "\" t0";
  std::vector<std::shared_ptr<ManagedObject>> newer;
  const auto fill = [&](Statement& statement) {
    ++fetchCount;
    while (statement.step()) {
      auto it = map.find(statement.columnInt64(0));
      if (it == map.end()) continue;  // a row between the keys that the fetch did not make
      ManagedObject& object = *it->second;
      auto& state = object.state();
      if (state.unfetched().get() != &unfetched) continue;
      auto& values = state.rawValues();
      const auto& slots = state.layout->slots;
      for (std::size_t i = 0; i < values.size(); ++i) {
        if (!unfetched.fetched(*state.layout, i)) values[i] = decodeSlot(slots[i], statement, rest.positions);
      }
      state.setUnfetched(nullptr);
      if (statement.columnInt64(2) != state.version) newer.push_back(it->second);
    }
  };
  // Saved again since the fetch: such an object shows its whole row as it is now, as a fetch
  // now would.
  const auto showNewer = [&] {
    for (const auto& object : newer) {
      auto whole = rowByKey(table, object->state().id.primaryKey());
      if (whole->step()) applyRow(*object, *whole, object->state().hasChanges());
    }
  };
  // Keys close together (a listing of a whole table, a run of rows) are read as their range;
  // scattered ones in lists of a fixed length (the last key repeated), so the cache keeps
  // their statements: a long list costs more to prepare and to search than a range.
  if (keys.back() - keys.front() < 4 * static_cast<std::int64_t>(keys.size())) {
    {
      auto statement = db().cached(select + " WHERE t0.Z_PK BETWEEN ? AND ?");
      statement->bindInt64(1, keys.front());
      statement->bindInt64(2, keys.back());
      fill(*statement);
    }
    showNewer();
    return;
  }
  constexpr std::size_t kListLength = 16;
  for (std::size_t from = 0; from < keys.size(); from += kListLength) {
    const std::size_t taken = std::min(kListLength, keys.size() - from);
    const std::size_t length = taken == 1 ? 1 : kListLength;
    std::string sql = select + " WHERE t0.Z_PK IN (?";
    for (std::size_t i = 1; i < length; ++i) sql += ",?";
    auto statement = db().cached(sql + ")");
    for (std::size_t i = 0; i < length; ++i) {
      statement->bindInt64(static_cast<int>(i + 1), keys[from + std::min(i, taken - 1)]);
    }
    fill(*statement);
  }
  showNewer();
}

void ObjectContext::Impl::readUnfetchedOfHeldObjects() {
  // Objects someone still holds keep their values when the context lets go of them; the
  // others are about to be destroyed and need nothing read.
  std::vector<std::shared_ptr<const Unfetched>> batches;
  for (const auto& map : byPk) {
    for (const auto& [pk, object] : map) {
      const auto& unfetched = object->state().unfetched();
      if (unfetched && object.use_count() > 1 &&
          std::find(batches.begin(), batches.end(), unfetched) == batches.end()) {
        batches.push_back(unfetched);
      }
    }
  }
  for (const auto& batch : batches) {
    try {
      readUnfetched(*batch);
    } catch (const std::exception& e) {
      Logger("Store").log(LogLevel::error, "Could not read the values of fetched objects",
                          {{"error", MetadataValue::string(e.what())}});
    }
  }
}

}  // namespace chronelle
