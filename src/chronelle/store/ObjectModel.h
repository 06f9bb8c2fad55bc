#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chronelle/store/Value.h"

namespace chronelle {

class ManagedObject;

enum class AttributeType {
  integer16,
  integer32,
  integer64,
  doubleType,
  boolean,
  string,
  date,           ///< stored as INTEGER microseconds since 1970 UTC
  binaryData,
  transformable,  ///< kept in memory and on disk as Blob; the named transformer converts it
};

/// A stored attribute of an entity.
struct AttributeDescription {
  /// The attribute's key.
  std::string name;
  /// The stored type.
  AttributeType type = AttributeType::string;
  /// May be absent; a missing mandatory value fails the save (1570).
  bool optional = true;
  /// Value of a new object and of existing rows when a migration adds the column.
  Value defaultValue;
  /// For `transformable`: the name under which its value transformer is registered.
  std::string valueTransformerName;
};

enum class DeleteRule { noAction, nullify, cascade, deny };

/// A relationship of an entity to another.
struct RelationshipDescription {
  /// The relationship's key.
  std::string name;
  /// The entity at the other end.
  ///@{
  std::string destinationEntity;
  std::string inverseName;  ///< every relationship has an inverse
  ///@}
  /// To-many (derived from the other side's foreign key) or to-one.
  bool toMany = false;
  /// May be empty; a missing mandatory object fails the save (1570).
  bool optional = true;
  /// What deleting the source does at the other end.
  DeleteRule deleteRule = DeleteRule::nullify;
};

/// One entity of a model: its own attributes and relationships in declaration order, and
/// (once the model is finalised) its place in the inheritance tree.
class EntityDescription {
 public:
  /// An entity named `name`, a sub-entity of `parentName` when given.
  explicit EntityDescription(std::string name, std::string parentName = "", bool isAbstract = false);

  /// Adds a property; returns this description for chaining.
  ///@{
  EntityDescription& add(AttributeDescription attribute);
  EntityDescription& add(RelationshipDescription relationship);
  ///@}
  /// Gives an attribute's column an index (fetches filter or sort on it). Every foreign
  /// key and every attribute named `identifier`, `begin` or `end` is indexed anyway.
  EntityDescription& addIndex(std::string attributeName);
  /// The attributes given to `addIndex`.
  const std::vector<std::string>& indexedAttributes() const { return indexed_; }
  /// Gives the table one index over several properties (attributes or to-one
  /// relationships) in this order, ending with the entity code that every fetch filters on,
  /// so an aggregate that reads only these properties is answered from the index alone.
  /// Part of the stored schema: declaring one needs a new model version.
  EntityDescription& addCompositeIndex(std::vector<std::string> propertyNames);
  /// The property lists given to `addCompositeIndex`.
  const std::vector<std::vector<std::string>>& compositeIndexes() const { return composite_; }
  /// Declares the rows to be spans of time from the date attribute `begin` to the date
  /// attribute `end` (absent while open) and indexes their length, end − begin. Fetches then
  /// read the longest length from that index and bound every condition on `end` by a range of
  /// `begin` too, so a period query searches a range closed on both sides. A root entity only.
  EntityDescription& setSpan(std::string beginAttribute, std::string endAttribute);
  /// The span's attributes; empty strings when none was declared.
  const std::pair<std::string, std::string>& span() const { return span_; }
  /// Has the store keep, per object at the other end of the to-one `relationship`, the sum
  /// of the numeric `attribute` over its rows, updated by the database itself on every
  /// insert, update and delete (so every writer keeps it), and answer a dictionary fetch of
  /// exactly `sum:` of that attribute where that relationship equals one object from it.
  /// Exact: a sum of values that are not all integers of magnitude below 2^53 is computed
  /// from the rows as before. A root entity without subentities only; part of the stored
  /// schema, so declaring one needs a new model version.
  EntityDescription& addMaintainedSum(std::string attribute, std::string relationship);
  /// The (attribute, relationship) pairs given to `addMaintainedSum`.
  const std::vector<std::pair<std::string, std::string>>& maintainedSums() const { return sums_; }

  /// The entity's name.
  const std::string& name() const { return name_; }
  /// The parent entity's name; empty for a root entity.
  const std::string& parentName() const { return parentName_; }
  /// True when only sub-entities have objects.
  bool isAbstract() const { return abstract_; }
  /// Attributes declared on this entity, not inherited ones.
  const std::vector<AttributeDescription>& ownAttributes() const { return attributes_; }
  /// Relationships declared on this entity, not inherited ones.
  const std::vector<RelationshipDescription>& ownRelationships() const { return relationships_; }

  /// Valid after ObjectModel::finalize().
  const EntityDescription* superentity() const { return super_; }
  /// The topmost ancestor (this entity when it has no parent).
  const EntityDescription& rootEntity() const;
  /// The direct sub-entities.
  const std::vector<const EntityDescription*>& subentities() const { return subs_; }
  /// Inherited first, then own, each in declaration order.
  ///@{
  std::vector<const AttributeDescription*> allAttributes() const;
  std::vector<const RelationshipDescription*> allRelationships() const;
  ///@}
  /// Null when the entity (with its ancestors) has no such property.
  const AttributeDescription* attribute(std::string_view name) const;
  /// The relationship `name`; null when there is none.
  const RelationshipDescription* relationship(std::string_view name) const;
  /// True when this entity is `other` or descends from it.
  bool isKindOf(const EntityDescription& other) const;

  /// Store-internal: where an object of this entity keeps each property and which table
  /// and columns hold it. Valid after ObjectModel::finalize(); opaque outside the store.
  struct Layout;
  /// Store-internal: the entity's storage layout.
  const Layout& layout() const { return *layout_; }

 private:
  friend class ObjectModel;
  std::string name_;
  std::string parentName_;
  bool abstract_;
  std::vector<AttributeDescription> attributes_;
  std::vector<RelationshipDescription> relationships_;
  std::vector<std::string> indexed_;
  std::vector<std::vector<std::string>> composite_;
  std::pair<std::string, std::string> span_;
  std::vector<std::pair<std::string, std::string>> sums_;
  const EntityDescription* super_ = nullptr;
  std::vector<const EntityDescription*> subs_;
  std::shared_ptr<const Layout> layout_;
};

/// Creates the C++ object of one entity, so fetched rows become the right subclass.
using ClassFactory = std::function<std::shared_ptr<ManagedObject>()>;

/// A named, versioned object model built in C++. Build it, then `finalize()`; a finalised
/// model is immutable and safe to share between threads.
class ObjectModel {
 public:
  /// An empty model; add entities, then `finalize()`.
  ObjectModel(std::string name, int version);

  /// Adds an entity; without a factory its objects are plain ManagedObjects.
  ObjectModel& addEntity(EntityDescription entity, ClassFactory factory = nullptr);
  /// Resolves parents and inverses and checks the model; throws std::logic_error naming
  /// the entity and property at fault.
  void finalize();

  /// The model's name.
  const std::string& name() const { return name_; }
  /// The model's version; a store of an older one is migrated.
  int version() const { return version_; }
  /// In the order added. Null from `entity` when there is no such entity.
  const std::vector<std::unique_ptr<EntityDescription>>& entities() const { return entities_; }
  /// The entity `name`; null when there is none.
  const EntityDescription* entity(std::string_view name) const;
  /// A hash of the stored schema (entities, attributes with types, relationships); worked
  /// out once by `finalize()`.
  std::string schemaHash() const;
  /// True once `finalize()` succeeded.
  bool isFinalized() const { return finalized_; }
  /// A new, uninserted object of the entity's class, each value absent. Throws
  /// std::logic_error when the factory returns null. Without `blankValues` the object has no
  /// values at all yet: only for the store, which fills them from a row at once.
  std::shared_ptr<ManagedObject> instantiate(const EntityDescription& entity, bool blankValues = true) const;

 private:
  std::string name_;
  int version_;
  bool finalized_ = false;
  std::string schemaHash_;  // set by finalize(); every store open compares it
  std::vector<std::unique_ptr<EntityDescription>> entities_;
  std::map<std::string, ClassFactory, std::less<>> factories_;
};

/// The library's "resource bundle": finalised models by name (and version). Thread-safe.
class ModelRegistry {
 public:
  /// Registers a finalised model under its name and version, replacing one of the same name
  /// and version. Throws std::logic_error for a null or unfinalised model.
  static void registerModel(std::shared_ptr<const ObjectModel> model);
  /// Registers how to build version `version` of `name` when it is first looked up, for
  /// versions only a migration needs (a model costs a fraction of a millisecond to build,
  /// which every start of a program would otherwise pay). A model registered for the same
  /// name and version takes precedence. `build` must return a finalised model of that name
  /// and version; it runs at most once, under the registry's lock.
  static void registerModelBuilder(std::string name, int version,
                                   std::function<std::shared_ptr<const ObjectModel>()> build);
  /// The newest registered version of `name`, or null.
  ///@{
  static std::shared_ptr<const ObjectModel> find(std::string_view name);
  static std::shared_ptr<const ObjectModel> find(std::string_view name, int version);
  ///@}
};

/// Value transformers by name (the platform's registry). Thread-safe.
class ValueTransformerRegistry {
 public:
  /// Registers the transformer `name`; registering twice is harmless.
  static void registerTransformer(std::string name);
  /// True when `name` was registered.
  static bool isRegistered(std::string_view name);
};

}  // namespace chronelle
