// Compilation to SQL. Every comparison is guarded by the storage class of its column
// (typeof, or for numbers an ordering against the empty text, which is cheaper), because
// SQLite's column affinity would otherwise convert text to numbers and back and make
// `5 = '5'` true; the guard gives the rule memory applies: values of different classes are
// never equal and never ordered. The guard sits beside the plain comparison, so an index on
// the column still serves it. A caller that knows a numeric column holds no text or blob
// has the guards of its comparisons with numbers left out: they hold on every row there.

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chronelle/store/PredicateNode.h"
#include "chronelle/store/StoredValueOrder.h"

namespace chronelle {

namespace {

using Node = Predicate::Node;

std::string classGuard(const std::string& column, StorageClass cls) {
  switch (cls) {
    case StorageClass::text:
      return "typeof(" + column + ") = 'text'";
    case StorageClass::blob:
      return "typeof(" + column + ") = 'blob'";
    default:
      // Numbers order before every text and blob, and the unary plus drops the column's
      // affinity (so '' stays text) and keeps the guard from being taken for an index
      // bound: true exactly for integers and reals, and cheaper per row than typeof.
      return "+" + column + " < ''";
  }
}

// The storage class of a column as a number, NULL for NULL (numbers 1, text 2, blob 3).
std::string classNumber(const std::string& column) {
  return "(CASE typeof(" + column +
         ") WHEN 'integer' THEN 1 WHEN 'real' THEN 1 WHEN 'text' THEN 2 WHEN 'blob' THEN 3 END)";
}

const char* sqlOperator(PredicateOperator op) {
  switch (op) {
    case PredicateOperator::equal:
      return "=";
    case PredicateOperator::notEqual:
      return "<>";
    case PredicateOperator::less:
      return "<";
    case PredicateOperator::lessOrEqual:
      return "<=";
    case PredicateOperator::greater:
      return ">";
    case PredicateOperator::greaterOrEqual:
      return ">=";
    case PredicateOperator::in:
      return "IN";
  }
  return "";
}

// `a op b` read from the other side: `b flipped(op) a`.
PredicateOperator flipped(PredicateOperator op) {
  switch (op) {
    case PredicateOperator::less:
      return PredicateOperator::greater;
    case PredicateOperator::lessOrEqual:
      return PredicateOperator::greaterOrEqual;
    case PredicateOperator::greater:
      return PredicateOperator::less;
    case PredicateOperator::greaterOrEqual:
      return PredicateOperator::lessOrEqual;
    default:
      return op;
  }
}

class Compiler {
 public:
  Compiler(PredicateSqlMapper& mapper, Predicate::NumberGuards* guards) : mapper_(mapper), guards_(guards) {}

  std::string compile(const Node& node) {
    switch (node.kind) {
      case Node::Kind::constant:
        return node.constantValue ? "1" : "0";
      case Node::Kind::negation:
        // NOT on a NULL stays NULL; memory's two-valued NOT needs NULL read as false first.
        return "NOT IFNULL((" + compile(*node.children.front()) + "), 0)";
      case Node::Kind::conjunction:
        return conjunction(node);
      case Node::Kind::disjunction: {
        // OR treats NULL as false consistently with memory, so no IFNULL here.
        std::string sql = "(";
        for (std::size_t i = 0; i < node.children.size(); ++i) {
          if (i > 0) sql += " OR ";
          sql += compile(*node.children[i]);
        }
        return sql + ")";
      }
      case Node::Kind::comparison:
        return comparison(node);
    }
    return "0";
  }

  std::vector<Value> parameters;

 private:
  // A comparison of a key path with a value that is present (`x op v`, either way round),
  // which its class guard restricts to rows of v's class: the key path, operator and value
  // as read from the key path's side. Null for anything else.
  struct Bounded {
    const PredicateOperand* key;
    PredicateOperator op;
    const Value* value;
  };
  static std::optional<Bounded> boundedComparison(const Node& node) {
    if (node.kind != Node::Kind::comparison || node.op == PredicateOperator::in)
      return std::nullopt;
    if (node.lhs.isKeyPath() == node.rhs.isKeyPath()) return std::nullopt;
    const bool lhsKey = node.lhs.isKeyPath();
    const Bounded b{lhsKey ? &node.lhs : &node.rhs, lhsKey ? node.op : flipped(node.op),
                    lhsKey ? &node.rhs.value : &node.lhs.value};
    if (storageClassOf(*b.value) == StorageClass::absent) return std::nullopt;
    return b;
  }

  // AND treats NULL as false consistently with memory, so no IFNULL here. A period query
  // compares one column with two bounds, each with the same class guard; the guard is the
  // same condition both times, so it is written once, after the comparisons (in SQL's
  // three-valued AND, `(a AND g) AND (b AND g)` is `a AND b AND g`). A column compared
  // here with a present value is present wherever the whole holds, so `x != nil` beside
  // such a comparison adds nothing and is left out.
  std::string conjunction(const Node& node) {
    // Key paths compared with a present value other than by `!=` (one key path, one column).
    std::vector<const std::vector<std::string>*> bounded;
    for (const auto& child : node.children) {
      const auto b = boundedComparison(*child);
      if (b && b->op != PredicateOperator::notEqual) bounded.push_back(&b->key->keyPath);
    }
    const auto isBounded = [&](const std::vector<std::string>& keyPath) {
      return std::any_of(bounded.begin(), bounded.end(), [&](const auto* k) { return *k == keyPath; });
    };
    std::string sql = "(";
    const auto add = [&](const std::string& part) { sql += (sql.size() > 1 ? " AND " : "") + part; };
    // Each guard once: by key path and class, with its text.
    std::vector<std::pair<const std::vector<std::string>*, StorageClass>> guarded;
    std::string guards;
    for (const auto& child : node.children) {
      const bool notNil = child->kind == Node::Kind::comparison && child->op == PredicateOperator::notEqual &&
                          child->lhs.isKeyPath() != child->rhs.isKeyPath() &&
                          (child->lhs.isKeyPath() ? child->rhs.value : child->lhs.value).isNull();
      if (notNil && isBounded((child->lhs.isKeyPath() ? child->lhs : child->rhs).keyPath)) continue;
      const auto b = boundedComparison(*child);
      if (!b || b->op == PredicateOperator::notEqual) {
        add(compile(*child));
        continue;
      }
      const std::string x = column(*b->key);
      add("(" + x + " " + sqlOperator(b->op) + " " + parameter(*b->value) + ")");
      const StorageClass cls = storageClassOf(*b->value);
      const bool seen = std::any_of(guarded.begin(), guarded.end(), [&](const auto& g) {
        return g.second == cls && *g.first == b->key->keyPath;
      });
      if (seen) continue;
      guarded.emplace_back(&b->key->keyPath, cls);
      if (const std::string g = guard(x, cls); !g.empty()) guards += " AND " + g;
    }
    return sql + guards + ")";
  }

  std::string column(const PredicateOperand& operand) {
    return mapper_.columnForKeyPath(std::span<const std::string>(operand.keyPath));
  }

  std::string parameter(const Value& value) {
    parameters.push_back(value);
    return "?";
  }

  std::string comparison(const Node& node) {
    const bool lhsColumn = node.lhs.isKeyPath();
    const bool rhsColumn = node.rhs.isKeyPath();
    if (!lhsColumn && !rhsColumn) {
      // Nothing to read from a row: the answer is known now.
      return compareValues(node.lhs.value, node.op, node.rhs.value) ? "1" : "0";
    }
    if (node.op == PredicateOperator::in) return membership(column(node.lhs), node.rhs.value);
    if (lhsColumn && rhsColumn)
      return columnWithColumn(column(node.lhs), node.op, column(node.rhs));
    if (lhsColumn) return columnWithConstant(column(node.lhs), node.op, node.rhs.value);
    return columnWithConstant(column(node.rhs), flipped(node.op), node.lhs.value);
  }

  std::string columnWithConstant(const std::string& x, PredicateOperator op, const Value& value) {
    const StorageClass cls = storageClassOf(value);
    if (cls == StorageClass::absent) {
      if (op == PredicateOperator::equal) return "(" + x + " IS NULL)";
      if (op == PredicateOperator::notEqual) return "(" + x + " IS NOT NULL)";
      return "0";
    }
    const std::string g = guard(x, cls);
    if (op == PredicateOperator::notEqual) {
      // True for an absent value and for one of another class, as in memory.
      return "(" + x + " IS NULL OR " + (g.empty() ? "" : "NOT " + g + " OR ") + x + " <> " + parameter(value) + ")";
    }
    return "(" + x + " " + sqlOperator(op) + " " + parameter(value) + (g.empty() ? "" : " AND " + g) + ")";
  }

  std::string columnWithColumn(const std::string& a, PredicateOperator op, const std::string& b) {
    const std::string sameClass = classNumber(a) + " = " + classNumber(b);
    if (op == PredicateOperator::equal || op == PredicateOperator::notEqual) {
      // nil equals nil here, unlike in SQL's `=`; IFNULL makes the result two-valued so
      // that NOT of it is the memory answer.
      const std::string equal = "((" + a + " IS NULL AND " + b + " IS NULL) OR IFNULL((" + a +
                                " = " + b + " AND " + sameClass + "), 0))";
      return op == PredicateOperator::equal ? equal : "(NOT " + equal + ")";
    }
    return "(" + a + " " + sqlOperator(op) + " " + b + " AND " + sameClass + ")";
  }

  std::string membership(const std::string& x, const Value& listValue) {
    const auto* list = listValue.getIf<Value::List>();
    if (!list) return "0";  // the parser makes every right side of IN a list
    // Numbers, text and blobs are each tested under their own class guard.
    std::vector<const Value*> groups[3];
    for (const Value& element : *list) {
      const StorageClass cls = storageClassOf(element);
      if (cls != StorageClass::absent)
        groups[static_cast<int>(cls) - 1].push_back(&element);  // nil is in no list
    }
    std::string sql;
    int parts = 0;
    for (int i = 0; i < 3; ++i) {
      if (groups[i].empty()) continue;
      if (parts++ > 0) sql += " OR ";
      const std::string g = guard(x, static_cast<StorageClass>(i + 1));
      sql += "(" + (g.empty() ? "" : g + " AND ") + x + " IN (";
      for (std::size_t j = 0; j < groups[i].size(); ++j) {
        if (j > 0) sql += ",";
        sql += parameter(*groups[i][j]);
      }
      sql += "))";
    }
    if (parts == 0) return "0";
    return parts == 1 ? sql : "(" + sql + ")";
  }

  // The guard of `column` for values of class `cls`; empty where the caller knows the column
  // holds no text or blob, so that every value it holds is of a number's class or absent.
  std::string guard(const std::string& column, StorageClass cls) {
    const bool number = cls != StorageClass::text && cls != StorageClass::blob;
    if (number && guards_ != nullptr) {
      const auto has = [&](const std::vector<std::string>& columns) {
        return std::find(columns.begin(), columns.end(), column) != columns.end();
      };
      if (has(guards_->omitted)) return {};
      if (!has(guards_->written)) guards_->written.push_back(column);
    }
    return classGuard(column, cls);
  }

  PredicateSqlMapper& mapper_;
  Predicate::NumberGuards* guards_;
};

}  // namespace

std::optional<std::pair<std::string, Value>> Predicate::keyEqualsValue() const {
  const Node& node = *root_;
  if (node.kind != Node::Kind::comparison || node.op != PredicateOperator::equal) return std::nullopt;
  const PredicateOperand& key = node.lhs.isKeyPath() ? node.lhs : node.rhs;
  const PredicateOperand& value = node.lhs.isKeyPath() ? node.rhs : node.lhs;
  if (key.keyPath.size() != 1 || value.isKeyPath()) return std::nullopt;
  return std::make_pair(key.keyPath.front(), value.value);
}

SqlFragment Predicate::toSql(PredicateSqlMapper& mapper) const {
  Compiler compiler(mapper, nullptr);
  SqlFragment fragment;
  fragment.sql = compiler.compile(*root_);
  fragment.parameters = std::move(compiler.parameters);
  return fragment;
}

SqlFragment Predicate::toSql(PredicateSqlMapper& mapper, NumberGuards& guards) const {
  Compiler compiler(mapper, &guards);
  SqlFragment fragment;
  fragment.sql = compiler.compile(*root_);
  fragment.parameters = std::move(compiler.parameters);
  return fragment;
}

}  // namespace chronelle
