#include "chronelle/store/FetchedResultsController.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "chronelle/store/ObjectModel.h"
#include "chronelle/store/ObjectState.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/StoredValueOrder.h"

namespace chronelle {

namespace {

// Reads key paths of one object through its public accessors: an attribute gives its
// value, a to-one relationship the related object's ID, and a second component is read on
// the related object (absent when there is none).
class FetchedObjectSubject final : public PredicateSubject {
 public:
  explicit FetchedObjectSubject(const ManagedObject& object) : object_(object) {}

  Value valueForKeyPath(std::span<const std::string> path) const override {
    try {
      if (path.size() == 1) return object_.value(path[0]);
      if (path.size() == 2) {
        auto related = object_.object(path[0]);
        return related ? related->value(path[1]) : Value();
      }
    } catch (const std::invalid_argument& error) {
      throw StoreError(StoreError::kInvalidPredicate, error.what());
    }
    throw StoreError(StoreError::kInvalidPredicate, "key paths have one or two components");
  }

 private:
  const ManagedObject& object_;
};

std::vector<std::string> splitKeyPath(std::string_view key) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = key.find('.', start);
    parts.emplace_back(key.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) return parts;
    start = dot + 1;
  }
}

// Positions (in `order`, ascending) of a longest increasing subsequence of `values`.
std::vector<std::size_t> longestIncreasing(const std::vector<std::size_t>& values) {
  std::vector<std::size_t> tails;  // positions of the smallest tail of each length
  std::vector<std::size_t> previous(values.size(), SIZE_MAX);
  for (std::size_t i = 0; i < values.size(); ++i) {
    auto it = std::lower_bound(tails.begin(), tails.end(), values[i],
                               [&](std::size_t position, std::size_t value) { return values[position] < value; });
    if (it != tails.begin()) previous[i] = *(it - 1);
    if (it == tails.end()) {
      tails.push_back(i);
    } else {
      *it = i;
    }
  }
  std::vector<std::size_t> result;
  for (std::size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = previous[i]) result.push_back(i);
  std::reverse(result.begin(), result.end());
  return result;
}

}  // namespace

struct FetchedResultsController::Candidate {
  std::shared_ptr<ManagedObject> object;
  std::optional<std::size_t> oldIndex;
  std::optional<std::size_t> newIndex;
  bool matches = false;
  // Unchanged results before the object, in the old and the new list.
  std::size_t stableBeforeOld = 0;
  std::size_t stableBeforeNew = 0;
};

FetchedResultsController::FetchedResultsController(std::shared_ptr<ObjectContext> context, FetchRequest request)
    : context_(std::move(context)), request_(std::move(request)) {
  if (!context_) throw std::invalid_argument("FetchedResultsController needs a context");
  entity_ = context_->coordinator()->model().entity(request_.entityName);
  if (entity_ == nullptr) {
    throw std::invalid_argument("FetchedResultsController: no entity named '" + request_.entityName + "'");
  }
  for (const auto& sort : request_.sortDescriptors) sortPaths_.push_back(splitKeyPath(sort.key));
}

FetchedResultsController::~FetchedResultsController() = default;

void FetchedResultsController::performFetch() {
  FetchRequest request = request_;
  request.resultType = FetchResultType::managedObject;
  ObjectSet fetched = context_->fetch(request);
  std::vector<Entry> entries;
  entries.reserve(fetched.size());
  for (const auto& object : fetched) entries.push_back(entryFor(object));
  entries_ = std::move(entries);
  objects_ = std::move(fetched);
  if (fetched_) return;
  fetched_ = true;
  // Registered after the fetch: the fetch processed the pending changes itself, so their
  // notification is already reflected in the results.
  auto& center = NotificationCenter::defaultCenter();
  changeObserver_ = center.addObserver(ObjectContext::kObjectsDidChangeNotification, context_.get(),
                                       [this](const Notification& n) { objectsDidChange(n); });
  mergeObserver_ = center.addObserver(ObjectContext::kDidMergeChangesObjectIDsNotification, context_.get(),
                                      [this](const Notification& n) { didMergeChanges(n); });
}

std::shared_ptr<ManagedObject> FetchedResultsController::objectAtIndexPath(IndexPath indexPath) const {
  if (indexPath.section != 0 || indexPath.item >= objects_.size()) return nullptr;
  return objects_[indexPath.item];
}

std::optional<IndexPath> FetchedResultsController::indexPathForObject(const ManagedObject& object) const {
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    if (objects_[i].get() == &object) return IndexPath{0, i};
  }
  return std::nullopt;
}

// --- Notifications ---------------------------------------------------------------------

void FetchedResultsController::objectsDidChange(const Notification& notification) {
  std::vector<std::shared_ptr<ManagedObject>> changed;
  std::vector<const ManagedObject*> gone;
  for (const char* key : {ObjectContext::kInsertedObjectsKey, ObjectContext::kUpdatedObjectsKey,
                          ObjectContext::kDeletedObjectsKey}) {
    const auto* objects = notification.value<ObjectSet>(key);
    if (objects == nullptr) continue;
    const bool deleted = std::string_view(key) == ObjectContext::kDeletedObjectsKey;
    for (const auto& object : *objects) {
      if (!object) continue;
      changed.push_back(object);
      if (deleted) gone.push_back(object.get());
    }
  }
  applyChanges(changed, gone);
}

void FetchedResultsController::didMergeChanges(const Notification& notification) {
  const ObjectModel& model = context_->coordinator()->model();
  auto fetchedKind = [&](const ObjectID& id) {
    const EntityDescription* entity = model.entity(id.entityName());
    return entity != nullptr && isFetchedEntity(*entity);
  };
  auto inResults = [&](const ObjectID& id) -> std::shared_ptr<ManagedObject> {
    for (const auto& entry : entries_) {
      if (entry.object->objectID() == id) return entry.object;
    }
    return nullptr;
  };
  std::vector<std::shared_ptr<ManagedObject>> changed;
  std::vector<const ManagedObject*> gone;
  if (const auto* ids = notification.value<ObjectIDSet>(ObjectContext::kDeletedObjectIDsKey)) {
    for (const auto& id : *ids) {
      if (!fetchedKind(id)) continue;
      auto object = inResults(id);
      if (!object) object = context_->registeredObject(id);
      if (!object) continue;
      changed.push_back(object);
      gone.push_back(object.get());
    }
  }
  for (const char* key : {ObjectContext::kInsertedObjectIDsKey, ObjectContext::kUpdatedObjectIDsKey}) {
    const auto* ids = notification.value<ObjectIDSet>(key);
    if (ids == nullptr) continue;
    for (const auto& id : *ids) {
      if (!fetchedKind(id)) continue;
      auto object = context_->registeredObject(id);
      if (!object) object = inResults(id);
      if (!object) {
        // Not loaded here yet: it may be new to the results, so it is read now.
        try {
          object = context_->existingObject(id);
        } catch (const StoreError&) {
          continue;  // gone again meanwhile; a later merge reports its deletion
        }
      }
      changed.push_back(object);
    }
  }
  applyChanges(changed, gone);
}

// --- Batches ----------------------------------------------------------------------------

bool FetchedResultsController::isFetchedEntity(const EntityDescription& entity) const {
  return request_.includesSubentities ? entity.isKindOf(*entity_) : &entity == entity_;
}

bool FetchedResultsController::matches(const ManagedObject& object) const {
  if (object.isDeleted() || object.isFault() || object.managedObjectContext() != context_.get()) return false;
  return !request_.predicate || request_.predicate->evaluate(FetchedObjectSubject(object));
}

FetchedResultsController::Entry FetchedResultsController::entryFor(std::shared_ptr<ManagedObject> object) const {
  FetchedObjectSubject subject(*object);
  Entry entry{std::move(object), Value(), {}};
  for (std::size_t i = 0; i < sortPaths_.size(); ++i) {
    if (i == 0) {
      entry.firstKey = firstKeyOf(*entry.object);
    } else {
      entry.moreKeys.push_back(subject.valueForKeyPath(sortPaths_[i]));
    }
  }
  return entry;
}

Value FetchedResultsController::firstKeyOf(const ManagedObject& object) const {
  // Every entry has one, and a list keys thousands of objects of one entity: an attribute's
  // slot is found once per entity instead of by name per object (an attribute never holds
  // an object's ID, so it needs no canonical form either).
  auto& state = object.state();
  if (sortPaths_[0].size() == 1 && !state.fault) {
    if (state.layout != firstKeyLayout_) {
      const int slot = state.layout->slot(sortPaths_[0][0]);
      firstKeyLayout_ = state.layout;
      firstKeySlot_ = slot >= 0 && !state.layout->slots[static_cast<std::size_t>(slot)].isRelationship() ? slot : -1;
    }
    if (firstKeySlot_ >= 0) return state.value(static_cast<std::size_t>(firstKeySlot_));
  }
  return FetchedObjectSubject(object).valueForKeyPath(sortPaths_[0]);
}

bool FetchedResultsController::precedes(const Entry& a, const Entry& b) const {
  for (std::size_t i = 0; i < sortPaths_.size(); ++i) {
    const int c = compareStoredValues(a.key(i), b.key(i));
    if (c != 0) return request_.sortDescriptors[i].ascending ? c < 0 : c > 0;
  }
  return precedesInKeyOrder(*a.object, *b.object, request_.keysDescending());
}

void FetchedResultsController::applyChanges(const std::vector<std::shared_ptr<ManagedObject>>& changed,
                                            const std::vector<const ManagedObject*>& gone) {
  if (!fetched_ || changed.empty()) return;
  const std::unordered_set<const ManagedObject*> goneSet(gone.begin(), gone.end());
  std::unordered_map<const ManagedObject*, std::size_t> oldIndex;
  oldIndex.reserve(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) oldIndex.emplace(entries_[i].object.get(), i);

  // One candidate per changed object of the fetched entity, in arrival order.
  std::vector<Candidate> candidates;
  std::unordered_map<const ManagedObject*, std::size_t> candidateOf;
  for (const auto& object : changed) {
    if (candidateOf.count(object.get()) != 0 || !isFetchedEntity(object->entity())) continue;
    Candidate candidate{object, std::nullopt, std::nullopt, false, 0, 0};
    if (auto it = oldIndex.find(object.get()); it != oldIndex.end()) candidate.oldIndex = it->second;
    candidate.matches = goneSet.count(object.get()) == 0 && matches(*object);
    if (!candidate.oldIndex && !candidate.matches) continue;  // never was and is not a result
    candidateOf.emplace(object.get(), candidates.size());
    candidates.push_back(std::move(candidate));
  }
  if (candidates.empty()) return;

  // The new results: the unchanged entries keep their order; every changed object that
  // matches is placed again by its current sort keys.
  std::vector<Entry> next;
  next.reserve(entries_.size() + candidates.size());
  for (const auto& entry : entries_) {
    if (candidateOf.count(entry.object.get()) == 0) next.push_back(entry);
  }
  for (const auto& candidate : candidates) {
    if (!candidate.matches) continue;
    Entry entry = entryFor(candidate.object);
    auto at = std::upper_bound(next.begin(), next.end(), entry,
                               [this](const Entry& a, const Entry& b) { return precedes(a, b); });
    next.insert(at, std::move(entry));
  }
  std::size_t stable = 0;
  for (const auto& entry : entries_) {
    auto it = candidateOf.find(entry.object.get());
    if (it == candidateOf.end()) {
      ++stable;
    } else {
      candidates[it->second].stableBeforeOld = stable;
    }
  }
  stable = 0;
  for (std::size_t i = 0; i < next.size(); ++i) {
    auto it = candidateOf.find(next[i].object.get());
    if (it == candidateOf.end()) {
      ++stable;
    } else {
      candidates[it->second].newIndex = i;
      candidates[it->second].stableBeforeNew = stable;
    }
  }

  // An object that stays is moved when it changed its place among the unchanged results,
  // or among the other staying objects between the same two unchanged ones (those keeping
  // the longest common order count as staying in place).
  std::vector<bool> moved(candidates.size(), false);
  std::map<std::size_t, std::vector<std::size_t>> byGap;  // gap → candidates in new order
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    const auto& candidate = candidates[c];
    if (!candidate.oldIndex || !candidate.newIndex) continue;
    if (candidate.stableBeforeOld != candidate.stableBeforeNew) {
      moved[c] = true;
    } else {
      byGap[candidate.stableBeforeNew].push_back(c);
    }
  }
  for (auto& [gap, members] : byGap) {
    std::sort(members.begin(), members.end(),
              [&](std::size_t a, std::size_t b) { return *candidates[a].newIndex < *candidates[b].newIndex; });
    std::vector<std::size_t> oldOrder;
    for (std::size_t c : members) oldOrder.push_back(*candidates[c].oldIndex);
    std::vector<bool> keep(members.size(), false);
    for (std::size_t position : longestIncreasing(oldOrder)) keep[position] = true;
    for (std::size_t i = 0; i < members.size(); ++i) moved[members[i]] = !keep[i];
  }

  entries_ = std::move(next);
  ObjectSet objects;
  objects.reserve(entries_.size());
  for (const auto& entry : entries_) objects.push_back(entry.object);

  FetchedResultsControllerDelegate* delegate = delegate_;
  if (delegate != nullptr) delegate->controllerWillChangeContent(*this);
  objects_ = std::move(objects);
  if (delegate == nullptr) return;

  struct Report {
    std::size_t order;
    std::size_t candidate;
    FetchedResultsChangeType type;
  };
  std::vector<Report> reports;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    const auto& candidate = candidates[c];
    if (!candidate.newIndex) {
      reports.push_back({*candidate.oldIndex, c, FetchedResultsChangeType::remove});
    } else if (!candidate.oldIndex) {
      reports.push_back({*candidate.newIndex, c, FetchedResultsChangeType::insert});
    } else {
      reports.push_back({*candidate.newIndex, c,
                         moved[c] ? FetchedResultsChangeType::move : FetchedResultsChangeType::update});
    }
  }
  std::sort(reports.begin(), reports.end(), [](const Report& a, const Report& b) {
    auto rank = [](FetchedResultsChangeType type) {
      switch (type) {
        case FetchedResultsChangeType::remove: return 0;
        case FetchedResultsChangeType::insert: return 1;
        case FetchedResultsChangeType::move: return 2;
        default: return 3;
      }
    };
    if (rank(a.type) != rank(b.type)) return rank(a.type) < rank(b.type);
    return a.order < b.order;
  });
  auto path = [](const std::optional<std::size_t>& index) -> std::optional<IndexPath> {
    if (!index) return std::nullopt;
    return IndexPath{0, *index};
  };
  for (const auto& report : reports) {
    const auto& candidate = candidates[report.candidate];
    delegate->controllerDidChange(*this, candidate.object, path(candidate.oldIndex), report.type,
                                  path(candidate.newIndex));
  }
  delegate->controllerDidChangeContent(*this);
}

}  // namespace chronelle
