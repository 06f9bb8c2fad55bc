#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace chronelle {

/// What one save changed, by entity kind: which kinds had at least one object inserted,
/// updated or deleted. The write side builds it from a save and posts it under the
/// notification key "contextChanges" (see ContextChangesNotification.h). A value type.
struct ContextChanges {
  /// An option set of entity kinds over a signed integer.
  struct Entity {
    /// The bits of the set kinds.
    std::int64_t rawValue = 0;

    constexpr Entity() = default;
    /// The set with the bits of `raw`.
    constexpr explicit Entity(std::int64_t raw) : rawValue(raw) {}

    static const Entity session;  ///< 1
    static const Entity task;     ///< 2
    static const Entity folder;   ///< 4
    static const Entity ruleSet;  ///< 8
    static const Entity rule;     ///< 16
    static const Entity alEntry;  ///< 32

    /// True when every bit of `other` is set here (so always for an empty `other`).
    constexpr bool contains(Entity other) const {
      return (rawValue & other.rawValue) == other.rawValue;
    }
    /// True when no kind is set.
    constexpr bool isEmpty() const { return rawValue == 0; }
    /// The kinds of both sets.
    constexpr Entity operator|(Entity other) const { return Entity(rawValue | other.rawValue); }
    /// The kinds in both sets.
    constexpr Entity operator&(Entity other) const { return Entity(rawValue & other.rawValue); }
    /// Adds the kinds of `other`.
    constexpr Entity& operator|=(Entity other) {
      rawValue |= other.rawValue;
      return *this;
    }
    /// Equal when every field is.
    friend constexpr bool operator==(Entity, Entity) = default;

    /// The names of the members it holds, as a quoted list: ["session", "folder"]; "[]" when
    /// empty. Members are listed in the order of the table above.
    std::string description() const;
  };

  /// Kinds with at least one inserted object.
  Entity inserts;
  /// Kinds with at least one updated object.
  Entity updates;
  /// Kinds with at least one deleted object.
  Entity deletes;

  /// True when `inserts`, `updates` or `deletes` alone holds every bit of `entity`.
  bool have(Entity entity) const;
  /// `have` for every element; true for an empty list.
  bool haveAll(const std::vector<Entity>& entities) const;
  /// `have` for some element; false for an empty list.
  ///@{
  bool haveAny(const std::vector<Entity>& entities) const;
  bool haveInserts() const { return !inserts.isEmpty(); }
  bool haveUpdates() const { return !updates.isEmpty(); }
  bool haveDeletes() const { return !deletes.isEmpty(); }
  ///@}
  /// True when time entries, tasks or folders changed in any way; rule sets, rules and
  /// activity-log entries alone do not count.
  bool haveTrackedDataChanges() const;
  /// True when all three sets are empty.
  bool areEmtpy() const { return inserts.isEmpty() && updates.isEmpty() && deletes.isEmpty(); }

  /// "ContextChanges(inserts: [...], updates: [...], deletes: [...])".
  std::string description() const;

  /// Equal when every field is.
  friend bool operator==(const ContextChanges&, const ContextChanges&) = default;
};

inline constexpr ContextChanges::Entity ContextChanges::Entity::session{1};
inline constexpr ContextChanges::Entity ContextChanges::Entity::task{2};
inline constexpr ContextChanges::Entity ContextChanges::Entity::folder{4};
inline constexpr ContextChanges::Entity ContextChanges::Entity::ruleSet{8};
inline constexpr ContextChanges::Entity ContextChanges::Entity::rule{16};
inline constexpr ContextChanges::Entity ContextChanges::Entity::alEntry{32};

}  // namespace chronelle
