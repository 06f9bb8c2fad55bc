#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace chronelle {

/// The store's identity of an object: its concrete entity plus either a temporary id
/// (before the first save) or the primary key and the UUID of the store that holds it.
/// Identity of stored objects is always compared through it. A value type.
///
/// Entity names and store UUIDs are few, so an ID refers to one shared copy of each kept
/// for the rest of the process instead of carrying its own: copying an ID allocates
/// nothing (only a temporary ID carries its own UUID), and equality compares addresses.
///
/// URI text: permanent `x-chronelle://<STORE-UUID>/<Entity>/p<pk>`,
///           temporary `x-chronelle:///<Entity>/t<UUID>`.
class ObjectID {
 public:
  /// An invalid ID (no entity); never equal to a valid one.
  ObjectID() = default;

  /// A new temporary ID with a fresh random UUID (uppercase, 36 characters). Throws
  /// std::invalid_argument for an empty entity name. Thread-safe.
  static ObjectID temporary(std::string_view entityName);
  /// The ID of row `primaryKey` (≥ 1) of the store `storeIdentifier` (the store's UUID).
  /// Throws std::invalid_argument for an empty entity name or a key below 1. Thread-safe.
  static ObjectID permanent(std::string_view entityName, std::int64_t primaryKey,
                            std::string_view storeIdentifier);
  /// Parses URI text of either form; absent when it is not exactly one (the store and
  /// temporary ids must be 8-4-4-4-12 hex UUIDs, the key a positive decimal without
  /// leading zeros, the entity an identifier).
  static std::optional<ObjectID> fromURI(std::string_view uri);

  ObjectID(const ObjectID& other) noexcept : entityName_(other.entityName_), primaryKey_(other.primaryKey_), text_(other.text_) {
    if (isTemporaryID()) retain();
  }
  ObjectID(ObjectID&& other) noexcept : entityName_(other.entityName_), primaryKey_(other.primaryKey_), text_(other.text_) {
    other.entityName_ = nullptr;
    other.primaryKey_ = 0;
    other.text_ = nullptr;
  }
  ObjectID& operator=(const ObjectID& other) noexcept {
    if (this != &other) {
      ObjectID copy(other);
      swap(copy);
    }
    return *this;
  }
  ObjectID& operator=(ObjectID&& other) noexcept {
    ObjectID taken(std::move(other));
    swap(taken);
    return *this;
  }
  ~ObjectID() {
    if (isTemporaryID()) release();
  }

  /// The permanent ID of the same entity and store with another primary key (> 0): without
  /// looking the shared texts up again. Meant for a permanent ID (a temporary one gives an
  /// ID of no store).
  ObjectID withPrimaryKey(std::int64_t primaryKey) const {
    ObjectID id;
    id.entityName_ = entityName_;
    id.primaryKey_ = primaryKey;
    id.text_ = isTemporaryID() ? nullptr : text_;
    return id;
  }

  /// False for a default-constructed ID.
  bool isValid() const { return entityName_ != nullptr; }
  /// True before the object's first save.
  bool isTemporaryID() const { return primaryKey_ == 0 && isValid(); }
  /// The entity of the object; empty for an invalid ID.
  const std::string& entityName() const;
  /// 0 for a temporary ID.
  std::int64_t primaryKey() const { return primaryKey_; }
  /// The store UUID of a permanent ID, the temporary UUID of a temporary one.
  const std::string& storeIdentifier() const { return text_ != nullptr ? *text_ : none(); }
  /// The URI text of the ID; empty for an invalid ID.
  std::string uriRepresentation() const;

  /// Equal when entity, key and store (or temporary UUID) are.
  friend bool operator==(const ObjectID& a, const ObjectID& b) {
    // Shared texts are equal exactly when their addresses are.
    // A temporary UUID is the ID's own, so two copies of one parsed from its URI compare
    // by text.
    return a.entityName_ == b.entityName_ && a.primaryKey_ == b.primaryKey_ &&
           (a.text_ == b.text_ || (a.isTemporaryID() && *a.text_ == *b.text_));
  }
  /// Ordered by entity name, then primary key, then store (or temporary) UUID, as text.
  friend std::strong_ordering operator<=>(const ObjectID& a, const ObjectID& b);

  /// A hash for unordered containers: shared texts by their address, a temporary UUID by
  /// its text.
  std::size_t hash() const noexcept;

 private:
  void swap(ObjectID& other) noexcept {
    std::swap(entityName_, other.entityName_);
    std::swap(primaryKey_, other.primaryKey_);
    std::swap(text_, other.text_);
  }
  static const std::string& none();
  /// The reference count of a temporary UUID's text, which is allocated with it.
  void retain() const noexcept;
  void release() const noexcept;

  /// The shared copy of the entity name; null for an invalid ID.
  const std::string* entityName_ = nullptr;
  std::int64_t primaryKey_ = 0;
  /// A permanent ID: the shared copy of its store UUID. A temporary ID: its own UUID, held
  /// out of line and counted, so an ID is three words and a Value holding one no larger
  /// than one holding a string. Null for an invalid ID.
  const std::string* text_ = nullptr;
};

}  // namespace chronelle

template <>
struct std::hash<chronelle::ObjectID> {
  std::size_t operator()(const chronelle::ObjectID& id) const noexcept {
    return id.hash();
  }
};
