// In-memory evaluation. The rules here and the SQL that PredicateSql.cpp writes are two
// spellings of one semantics; the property test in the store tests holds them together.

#include <span>

#include "chronelle/store/PredicateNode.h"
#include "chronelle/store/StoredValueOrder.h"

namespace chronelle {

namespace {

bool holds(int comparison, PredicateOperator op) {
  switch (op) {
    case PredicateOperator::equal:
      return comparison == 0;
    case PredicateOperator::notEqual:
      return comparison != 0;
    case PredicateOperator::less:
      return comparison < 0;
    case PredicateOperator::lessOrEqual:
      return comparison <= 0;
    case PredicateOperator::greater:
      return comparison > 0;
    case PredicateOperator::greaterOrEqual:
      return comparison >= 0;
    case PredicateOperator::in:
      break;
  }
  return false;
}

Value operandValue(const PredicateOperand& operand, const PredicateSubject& subject) {
  if (!operand.isKeyPath()) return operand.value;
  return subject.valueForKeyPath(std::span<const std::string>(operand.keyPath));
}

bool evaluateNode(const Predicate::Node& node, const PredicateSubject& subject) {
  using Kind = Predicate::Node::Kind;
  switch (node.kind) {
    case Kind::constant:
      return node.constantValue;
    case Kind::comparison:
      return compareValues(operandValue(node.lhs, subject), node.op,
                           operandValue(node.rhs, subject));
    case Kind::negation:
      return !evaluateNode(*node.children.front(), subject);
    case Kind::conjunction:
      for (const auto& child : node.children) {
        if (!evaluateNode(*child, subject)) return false;
      }
      return true;
    case Kind::disjunction:
      for (const auto& child : node.children) {
        if (evaluateNode(*child, subject)) return true;
      }
      return false;
  }
  return false;
}

}  // namespace

bool compareValues(const Value& lhs, PredicateOperator op, const Value& rhs) {
  if (op == PredicateOperator::in) {
    const auto* list = rhs.getIf<Value::List>();
    return list ? valueIsIn(lhs, *list) : compareValues(lhs, PredicateOperator::equal, rhs);
  }
  const StorageClass a = storageClassOf(lhs);
  const StorageClass b = storageClassOf(rhs);
  const bool equality = op == PredicateOperator::equal || op == PredicateOperator::notEqual;
  if (a == StorageClass::absent || b == StorageClass::absent) {
    // nil equals only nil and has no order.
    if (!equality) return false;
    const bool bothAbsent = a == b;
    return op == PredicateOperator::equal ? bothAbsent : !bothAbsent;
  }
  if (a != b || a == StorageClass::other) return op == PredicateOperator::notEqual;
  if (equality) {
    // Two object IDs are the same object only when everything about them matches.
    const auto* idA = lhs.getIf<ObjectID>();
    const auto* idB = rhs.getIf<ObjectID>();
    if (idA && idB) return (*idA == *idB) == (op == PredicateOperator::equal);
  }
  return holds(compareStoredValues(lhs, rhs), op);
}

bool valueIsIn(const Value& x, const Value::List& list) {
  if (x.isNull()) return false;
  for (const auto& element : list) {
    if (!element.isNull() && compareValues(x, PredicateOperator::equal, element)) return true;
  }
  return false;
}

bool Predicate::evaluate(const PredicateSubject& subject) const {
  return evaluateNode(*root_, subject);
}

}  // namespace chronelle
