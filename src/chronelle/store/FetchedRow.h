#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "chronelle/platform/Date.h"
#include "chronelle/store/ObjectID.h"
#include "chronelle/store/Value.h"

namespace chronelle {

struct FetchedRowSource;

/// The current row of a row fetch (ObjectContext::enumerateRows): one column per requested
/// property, in the request's order. Each column reads as the value a dictionary fetch would
/// hold under its key (absent where the dictionary would leave the key out; a sum over no
/// rows is zero). The typed readers convert as Value's `as…` views do, but read the stored
/// column directly where its type allows, so a scan allocates nothing per row.
///
/// Valid only during the visit it is handed to, on the fetching context's queue; columns out
/// of range are a programming error (not checked). Not thread-safe.
class FetchedRow {
 public:
  /// A view of `source`'s current row; made by the store.
  explicit FetchedRow(const FetchedRowSource& source) : source_(source) {}

  /// The number of columns.
  std::size_t size() const;
  /// The dictionary key of column `i`: the property or expression name.
  const std::string& key(std::size_t i) const;
  /// Column `i` as a dictionary value; absent for none. Builds an ObjectID (which allocates)
  /// for a to-one relationship: see primaryKey.
  Value value(std::size_t i) const;

  /// Column `i` viewed as a number, a flag or an instant; absent when the value is absent or
  /// not of a kind that converts (as Value::asInteger, asDouble, asBool, asDate).
  ///@{
  std::optional<std::int64_t> integer(std::size_t i) const;
  std::optional<double> real(std::size_t i) const;
  std::optional<bool> boolean(std::size_t i) const;
  std::optional<Date> date(std::size_t i) const;
  ///@}
  /// The primary key of the object a to-one relationship column names, without building its
  /// ObjectID; absent when the row names none or the column is no relationship.
  std::optional<std::int64_t> primaryKey(std::size_t i) const;
  /// The ObjectID a to-one relationship column names; absent as for primaryKey.
  std::optional<ObjectID> objectID(std::size_t i) const;

 private:
  const FetchedRowSource& source_;
};

}  // namespace chronelle
