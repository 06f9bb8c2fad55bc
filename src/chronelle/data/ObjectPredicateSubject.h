#pragma once

#include <span>
#include <string>

#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/Predicate.h"

namespace chronelle {

/// Lets a predicate be evaluated in memory on one managed object, reading its current
/// (unsaved included) values. An attribute yields its value, a to-one relationship the
/// related object's ObjectID (absent when unset), and a two-component path hops once
/// through a to-one relationship (absent when the relationship is unset).
///
/// Holds a reference: the object must outlive the subject. Use on the object's context
/// queue only.
class ObjectPredicateSubject final : public PredicateSubject {
 public:
  explicit ObjectPredicateSubject(const ManagedObject& object) : object_(object) {}

  /// Throws StoreError (kInvalidPredicate) for an unknown key, a to-many relationship, or
  /// a path of more than two components.
  Value valueForKeyPath(std::span<const std::string> path) const override;

 private:
  const ManagedObject& object_;
};

}  // namespace chronelle
