#pragma once
// Store-internal: how the objects of an entity and the rows of its table are laid out.
// Computed once by ObjectModel::finalize() from the model alone, so it is immutable and
// shared by every thread.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chronelle/store/ObjectModel.h"

namespace chronelle {

/// One column of a table. Rows of every entity of one inheritance tree share the table,
/// so it has the union of their columns.
struct ColumnLayout {
  std::string name;  ///< quoted where used: attribute names like `order` are SQL keywords
  AttributeType type = AttributeType::integer64;
  bool indexed = false;
};

/// A sum the database maintains over a table (EntityDescription::addMaintainedSum): one row
/// per key in its own table, kept by triggers on the entity's table.
struct MaintainedSumLayout {
  std::string table;        ///< the table of the sums
  std::string keyColumn;    ///< the to-one's foreign key in the entity's table
  std::string valueColumn;  ///< the summed attribute's column
};

/// The table of one root entity and its subentities.
struct TableLayout {
  std::string name;
  const EntityDescription* root = nullptr;
  int index = 0;  ///< among the model's tables
  std::vector<ColumnLayout> columns;
  /// Column index by name.
  std::map<std::string, int, std::less<>> columnByName;
  /// The begin and end columns of a declared span (see EntityDescription::setSpan); empty
  /// strings when none.
  std::pair<std::string, std::string> span;
  /// The columns of each index over several properties (EntityDescription::addCompositeIndex).
  std::vector<std::vector<std::string>> compositeIndexes;
  /// The sums the database maintains over the table.
  std::vector<MaintainedSumLayout> sums;
  /// "SELECT t0.Z_PK, t0.Z_ENT, t0.Z_OPT, t0.<every column> FROM <table> t0", and the same
  /// "WHERE t0.Z_PK = ?": written once, since every read of a row by its key looks its
  /// statement up by this text.
  ///@{
  std::string selectRowsSql;
  std::string rowByKeySql;
  ///@}
};

/// A stored property of an object: an attribute or a to-one relationship (whose value is
/// the related object's ObjectID). Every object of an entity keeps its values in a vector
/// indexed like the layout's slots.
struct PropertySlot {
  std::string name;
  const AttributeDescription* attribute = nullptr;        ///< attributes
  const RelationshipDescription* relationship = nullptr;  ///< to-one relationships
  const EntityDescription* destination = nullptr;         ///< to-one relationships
  int column = -1;  ///< index in the table's columns (foreign key for a to-one)
  /// A to-one whose destination has subentities also stores the destination's entity
  /// code, so the related ObjectID names the concrete entity without reading its row.
  int entityColumn = -1;
  bool isRelationship() const { return relationship != nullptr; }
};

/// A to-many relationship: derived from the inverse to-one's foreign key.
struct ToManySlot {
  const RelationshipDescription* relationship = nullptr;
  const EntityDescription* destination = nullptr;
  int inverseSlot = -1;  ///< slot of the inverse to-one in the destination's layout
};

struct EntityDescription::Layout {
  const ObjectModel* model = nullptr;
  /// Unique to this layout for the rest of the process (from 1; below 2^48), so a slot
  /// remembered for it (PropertyKey) cannot be taken for one of a later layout.
  std::uint64_t serial = nextSerial();
  int index = 0;  ///< position of the entity in the model
  std::shared_ptr<const TableLayout> table;
  std::vector<PropertySlot> slots;
  /// The slots by a hash of their names, open-addressed (a power of two in size, -1 where
  /// empty): getters find their slot by name at every call, and this takes a few
  /// comparisons where a map takes several calls. Made by indexSlots(); a name given to two
  /// slots finds the first.
  std::vector<int> slotTable;
  std::vector<ToManySlot> toMany;
  std::map<std::string, int, std::less<>> toManyByName;
  /// The class factory registered for the entity (null: plain ManagedObject).
  const ClassFactory* factory = nullptr;
  /// The entity and every descendant, the entity first.
  std::vector<const EntityDescription*> selfAndDescendants;

  static std::uint64_t nextSerial();

  /// Fills slotTable from the slots; once they are complete.
  void indexSlots();

  /// -1 when absent.
  ///@{
  int slot(std::string_view name) const;
  int toManyIndex(std::string_view name) const {
    auto it = toManyByName.find(name);
    return it == toManyByName.end() ? -1 : it->second;
  }
  ///@}
};

/// "Z" + the name in upper case: the naming of tables and columns.
std::string storeName(std::string_view name);

}  // namespace chronelle
