#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "chronelle/store/ObjectID.h"

namespace chronelle {

class ObjectContext;
struct FetchRequest;
struct FetchedRowSource;

/// The current row of a numeric row fetch: the requested properties, each a number, a flag,
/// an instant or a to-one relationship, read once per row as numbers in the request's
/// order. For scans over a long period that only sum and bucket, where reading each value
/// through FetchedRow (its type asked first, then the value) costs more than the scan.
///
/// Each column holds what FetchedRow's typed reader of its kind gives: an integer or a flag
/// as integer (a flag 0 or 1), an instant as integer microseconds since 1970, a decimal as
/// real, a to-one relationship as the primary key of the object it names. An absent value
/// reads as 0 and `isNull` tells it apart. Valid only during the visit it is handed to, on
/// the fetching context's queue; columns out of range are a programming error. Not
/// thread-safe.
class FetchedNumericRow {
 public:
  /// Reads `request`'s rows (a dictionary fetch's properties; no expressions, grouping or
  /// distinct rows) one at a time into a row handed to `visit`, which must not use
  /// `context`. Throws StoreError as ObjectContext::enumerateRows does, and kInvalidPredicate
  /// for a property that is text, data or anything else not read as a number.
  static void enumerate(ObjectContext& context, const FetchRequest& request,
                        const std::function<void(const FetchedNumericRow&)>& visit);

  /// The number of columns.
  std::size_t size() const { return numbers_.size(); }
  /// True when column `i` holds no value.
  bool isNull(std::size_t i) const { return nulls_[i] != 0; }
  /// Column `i` of an integer, flag, instant or relationship column; 0 when absent.
  std::int64_t integer(std::size_t i) const { return numbers_[i].integer; }
  /// Column `i` of a decimal column; 0 when absent.
  double real(std::size_t i) const { return numbers_[i].real; }
  /// The ObjectID a relationship column names (reads the row again: for the first row of
  /// each object, not for every row); absent when it names none.
  std::optional<ObjectID> objectID(std::size_t i) const;

 private:
  union Number {
    std::int64_t integer;
    double real;
  };
  explicit FetchedNumericRow(const FetchedRowSource& source) : source_(source) {}

  const FetchedRowSource& source_;
  std::vector<Number> numbers_;
  std::vector<unsigned char> nulls_;
};

}  // namespace chronelle
