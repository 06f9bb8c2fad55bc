#pragma once

// The parsed form of a Predicate, shared by the parser, the in-memory evaluator, the SQL
// compiler and the printer. Private to the store.

#include <memory>
#include <string>
#include <vector>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/Value.h"

namespace chronelle {

enum class PredicateOperator { equal, notEqual, less, lessOrEqual, greater, greaterOrEqual, in };

/// One side of a comparison: a key path (one or two components) or a constant value.
struct PredicateOperand {
  std::vector<std::string> keyPath;  ///< empty for a constant
  Value value;                       ///< the constant; absent for nil

  bool isKeyPath() const { return !keyPath.empty(); }
};

struct Predicate::Node {
  enum class Kind { constant, comparison, conjunction, disjunction, negation };

  Kind kind = Kind::constant;
  bool constantValue = false;                         ///< constant
  PredicateOperator op = PredicateOperator::equal;    ///< comparison
  PredicateOperand lhs;                               ///< comparison
  PredicateOperand rhs;                               ///< comparison
  std::vector<std::shared_ptr<const Node>> children;  ///< conjunction, disjunction, negation
};

/// A conjunction or disjunction of `children`, with children of the same kind merged into
/// it; a single child is returned as it is, none gives the constant true (conjunction) or
/// false (disjunction).
std::shared_ptr<const Predicate::Node> makeCompound(
    Predicate::Node::Kind kind, std::vector<std::shared_ptr<const Predicate::Node>> children);

/// Comparison rule shared by memory and SQL, so both agree on the same data. Values fall
/// into the classes SQLite stores (see StoredValueOrder.h): numbers (bools as 0/1,
/// integers, doubles, dates as microseconds, object IDs as primary keys), text (compared
/// bytewise) and blobs. Two object IDs are equal only when they are the same ID. Values
/// of different classes are never equal and never ordered:
/// `= < <= > >=` are false and `!=` is true. Absent values (and NaN, which SQLite stores
/// as NULL) follow the nil rules: equal only to nil, never ordered.
bool compareValues(const Value& lhs, PredicateOperator op, const Value& rhs);

/// `x IN list`: false for an absent x, otherwise true when some element equals x.
bool valueIsIn(const Value& x, const Value::List& list);

/// The operator as written in canonical text ("==", "IN", ...).
const char* operatorText(PredicateOperator op);

}  // namespace chronelle
