#pragma once
// Store-internal: maps key paths of one fetched entity to SQL column expressions over
// its table (alias t0), adding a LEFT JOIN per to-one relationship that a key path hops
// through, so an absent relationship yields NULL.

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chronelle/store/CoordinatorImpl.h"
#include "chronelle/store/Predicate.h"

namespace chronelle {

class SqlMapper final : public PredicateSqlMapper {
 public:
  struct Column {
    std::string sql;        ///< the value's column
    std::string entitySql;  ///< to-one to an entity with subentities: its entity column
    const PropertySlot* slot = nullptr;
  };

  SqlMapper(const EntityDescription& entity, const PersistentStoreCoordinator::Impl& store)
      : entity_(entity), store_(store) {}

  std::string columnForKeyPath(std::span<const std::string> path) override { return resolve(path).sql; }
  /// Throws StoreError(kInvalidPredicate) for an unknown key or a hop through a to-many.
  ///@{
  Column resolve(std::span<const std::string> path);
  Column resolve(const std::string& keyPath) { return resolve(split(keyPath)); }
  ///@}
  /// " LEFT JOIN …" clauses added so far.
  const std::string& joins() const { return joins_; }
  /// The SQL of `predicate` over the fetched entity (Predicate::toSql). With `snapshot`, for
  /// a fetch that reads its rows in it: the storage-class guards of comparisons with numbers
  /// are left out on each indexed numeric column of the table that one step to its greatest
  /// value, taken in the snapshot (held from then on), shows to hold no text or blob; they
  /// would hold on every row read and cost a test per row each.
  SqlFragment predicateSql(const Predicate& predicate, ReadSnapshot* snapshot);
  /// The range of `begin` that `predicate` implies when the fetched table holds spans
  /// (Predicate::spanRangeSql, with the longest span read from its index), to AND with the
  /// predicate's SQL; absent otherwise.
  std::optional<SpanRangeFragment> spanRange(const Predicate& predicate) const;

  static std::vector<std::string> split(const std::string& keyPath);

 private:
  const EntityDescription& entity_;
  const PersistentStoreCoordinator::Impl& store_;
  std::string joins_;
  std::map<std::string, std::string> aliases_;
};

}  // namespace chronelle
