#include "chronelle/data/ObjectPredicateSubject.h"

#include "chronelle/store/ObjectModel.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {
namespace {

[[noreturn]] void unknownKey(const ManagedObject& object, const std::string& key) {
  throw StoreError(StoreError::kInvalidPredicate,
                   "keypath " + key + " not found in entity " + object.entity().name());
}

// The value of one key on one object: an attribute, or a to-one relationship as the
// related object's ID.
Value readKey(const ManagedObject& object, const std::string& key) {
  const EntityDescription& entity = object.entity();
  if (entity.attribute(key) != nullptr) return object.value(key);
  if (const RelationshipDescription* relationship = entity.relationship(key)) {
    if (relationship->toMany) unknownKey(object, key);
    auto related = object.object(key);
    return related ? Value(related->objectID()) : Value();
  }
  unknownKey(object, key);
}

}  // namespace

Value ObjectPredicateSubject::valueForKeyPath(std::span<const std::string> path) const {
  if (path.empty() || path.size() > 2) {
    throw StoreError(StoreError::kInvalidPredicate, "unsupported key path length");
  }
  if (path.size() == 1) return readKey(object_, path[0]);

  const RelationshipDescription* hop = object_.entity().relationship(path[0]);
  if (hop == nullptr || hop->toMany) unknownKey(object_, path[0]);
  auto related = object_.object(path[0]);
  if (!related) return Value();
  return readKey(*related, path[1]);
}

}  // namespace chronelle
