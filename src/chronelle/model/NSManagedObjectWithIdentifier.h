#pragma once

#include <optional>
#include <string>

#include "chronelle/store/ManagedObject.h"

namespace chronelle {

/// The base class of the stored objects that carry a string identity: nodes, time entries,
/// rule sets and rules. The identity is the `identifier` attribute, a UUID string given when
/// the object is inserted into a context; public operations address objects by it or by
/// their ObjectID. Each of those entities declares `identifier` as its first attribute (see
/// ChronelleModel). Not thread-safe: use an object on its context's queue only.
class NSManagedObjectWithIdentifier : public ManagedObject {
 public:
  /// The attribute that holds the identifier.
  static constexpr const char* kIdentifierKey = "identifier";

  /// The stored identifier; absent only for an object whose identifier was cleared or that is
  /// a fault.
  ///@{
  std::optional<std::string> identifier() const;
  void setIdentifier(std::optional<std::string> identifier);
  ///@}

  /// Gives the object a fresh random UUID in canonical upper-case form (36 characters with
  /// hyphens) when it has no identifier yet; an identifier set earlier is kept.
  void awakeFromInsert() override;

  /// A new random (version 4) UUID in canonical upper-case form. Thread-safe.
  static std::string makeUUIDString();
};

}  // namespace chronelle
