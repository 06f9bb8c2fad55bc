#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chronelle/store/Value.h"

namespace chronelle {

/// What a predicate reads from the object it is evaluated on.
class PredicateSubject {
 public:
  virtual ~PredicateSubject() = default;
  /// The value at a key path of one or two components ("name", "task.archived"). A to-one
  /// relationship yields the related object's ObjectID (absent when nil); a hop through an
  /// absent relationship yields absent. Unknown keys throw StoreError(kInvalidPredicate).
  virtual Value valueForKeyPath(std::span<const std::string> path) const = 0;
};

/// How a predicate reaches the columns of the table it is compiled against.
class PredicateSqlMapper {
 public:
  virtual ~PredicateSqlMapper() = default;
  /// The SQL expression of a key path (a column of the fetched table, or of a joined one
  /// for a to-one hop, added by the mapper as a LEFT JOIN so an absent relationship gives
  /// NULL). A to-one relationship maps to its foreign-key column. Unknown keys throw
  /// StoreError(kInvalidPredicate).
  virtual std::string columnForKeyPath(std::span<const std::string> path) = 0;
};

/// SQL text with `?` placeholders and their values, in order. The engine binds values:
/// Date as INTEGER microseconds, bool as 0/1, ObjectID as its primary key (a temporary ID
/// as -1, which matches no row), strings as TEXT.
struct SqlFragment {
  /// An SQL expression with `?` placeholders.
  std::string sql;
  /// The values bound to the placeholders, in order.
  std::vector<Value> parameters;
};

/// A span range (Predicate::spanRangeSql) as one condition; when that condition is "one range
/// of begin closed on both sides, OR rows found another way", also the two alternatives
/// apart, so that a fetch sorted by begin can read the range in the begin index's order and
/// merge the few other rows in, instead of sorting every row.
struct SpanRangeFragment : SqlFragment {
  /// The range of begin, and the other alternative; both present or both absent.
  std::optional<SqlFragment> beginRange, otherwise;
};

/// A predicate in the platform's predicate format language, the subset the library uses:
/// comparisons `= == != <> < <= > >=` (also `=<`, `=>`), `IN`, `AND OR NOT && || !`,
/// parentheses, the literals `YES NO TRUE FALSE nil NULL`, numbers, quoted strings (with
/// \ escapes), `%@` arguments (values, dates, objects, object IDs, lists), key paths with
/// at most one hop; also `TRUEPREDICATE`, `FALSEPREDICATE`, list literals `{1, 'a'}` and
/// date literals `CAST(<seconds since 2001-01-01>, "NSDate")` as canonical texts write
/// them. AND binds tighter than OR; keywords are case-insensitive. A comparison may set a
/// key path against a value (either side) or against another key path. `IN` takes a list
/// on its right; a single value there is a list of one, nil the empty list.
///
/// Semantics, identical in memory and in SQL:
///  - `x = nil` is true only for an absent value, `x != nil` only for a present one;
///  - `<, <=, >, >=` with an absent operand are false; `x != v` is true when x is absent;
///    two absent key paths are equal;
///  - a key path through an absent relationship is absent;
///  - NOT negates a two-valued result;
///  - booleans compare as 0/1 with numbers and with YES/NO/TRUE/FALSE;
///  - integers and doubles compare numerically (exactly), strings bytewise (case matters),
///    dates by microseconds; dates and object IDs take part as the integers the store
///    holds for them (microseconds, primary keys);
///  - values of different kinds (numbers, text, blobs) are never equal nor ordered:
///    `= < <= > >=` are false and `!=` is true (the SQL checks storage classes, so affinity
///    never converts '5' into 5);
///  - `x IN list` is false for an absent x and for an empty list; nil elements match
///    nothing;
///  - a NaN argument is nil, as SQLite stores it.
/// An immutable value; thread-safe.
class Predicate {
 public:
  /// Parses `format`, taking one argument per `%@` in order. Throws StoreError
  /// (kInvalidPredicate) naming the position for a syntax error, an argument count
  /// mismatch, a key path of more than two components, a list outside `IN`, an object
  /// ID compared with `< <= > >=`, or a CAST date more than 10^12 seconds from 2001.
  ///@{
  static Predicate parse(std::string_view format, std::vector<Value> arguments = {});
  static Predicate constant(bool value);
  static Predicate allOf(std::vector<Predicate> predicates);  ///< AND; empty → true
  static Predicate anyOf(std::vector<Predicate> predicates);  ///< OR; empty → false
  static Predicate negation(const Predicate& predicate);
  ///@}

  /// The predicate's answer for one object, in memory (the same as SQL gives).
  bool evaluate(const PredicateSubject& subject) const;
  /// Store-internal: the predicate as SQL, with key paths resolved by `mapper`.
  SqlFragment toSql(PredicateSqlMapper& mapper) const;
  /// How `toSql` treats the storage-class guards of comparisons with numbers.
  struct NumberGuards {
    /// SQL columns (as the mapper gives them) of a numeric affinity that the caller knows to
    /// hold no text or blob: their comparisons with numbers are written without a guard.
    std::vector<std::string> omitted;
    /// Set by `toSql`: every other column it guarded for a comparison with a number, once.
    std::vector<std::string> written;
  };
  /// Store-internal: as `toSql(mapper)`, with the guards on numbers of `guards.omitted` left
  /// out, and the columns still guarded listed in `guards.written`.
  SqlFragment toSql(PredicateSqlMapper& mapper, NumberGuards& guards) const;
  /// Where a row matching this predicate must begin when rows are spans of time: the key
  /// paths `beginKey` and `endKey` are at the SQL columns `beginSql` and `endSql`, and the
  /// SQL expressions `longestSql` and `shortestSql` give the largest and smallest end − begin
  /// of the rows (NULL when no row has both). `end > x` then implies `begin ≥ x − longest`,
  /// `end < x` implies `begin ≤ x − shortest`. Returned as an SQL condition to AND with
  /// `toSql`'s, which changes no result and lets an index on `begin` serve the search;
  /// absent when the predicate bounds `begin` on neither side, or only by its own comparisons
  /// of `begin` joined by AND (its SQL states that range already); where the condition is one
  /// range, a side such a comparison states is left out of it for the same reason.
  /// `beginRequired`: every stored row has a begin (a mandatory attribute), so rows without
  /// one need not be looked up.
  std::optional<SpanRangeFragment> spanRangeSql(const std::string& beginKey, const std::string& endKey,
                                                const std::string& beginSql, const std::string& endSql,
                                                const std::string& longestSql, const std::string& shortestSql,
                                                bool beginRequired = false) const;
  /// Store-internal: the key and the value when the whole predicate is `key == value`
  /// (either way round) for a key of one component; absent otherwise.
  std::optional<std::pair<std::string, Value>> keyEqualsValue() const;
  /// Every key path the predicate reads, each as its components.
  std::vector<std::vector<std::string>> keyPaths() const;
  /// The canonical text, with arguments written in: `==`, `!=`, booleans as YES/NO,
  /// strings double-quoted, dates as `CAST(<seconds since 2001>, "NSDate")`, lists in
  /// braces, object IDs as their URIs; parentheses only around nested AND/OR groups. It
  /// parses back to the same predicate unless it holds object IDs or blobs. For
  /// descriptions and tests.
  std::string predicateFormat() const;

  struct Node;

 private:
  explicit Predicate(std::shared_ptr<const Node> root) : root_(std::move(root)) {}
  std::shared_ptr<const Node> root_;
};

}  // namespace chronelle
