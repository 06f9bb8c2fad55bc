// The range of `begin` a predicate implies for rows that are spans of time. A period
// query's conditions on `end` ("ends after F") are bounded on one side only and would make
// SQLite read every row that ended after F; with the longest span L, such a row begins at or
// after F − L, so the same rows are found in a range of `begin` closed on both sides
// (likewise "ends before T" with the shortest span S: begin ≤ T − S).
//
// Rows with an end (finished) and without one (running, for which no length is known) are
// bounded separately: `end > x` excludes running rows, `end = nil` admits only them. Rows
// without a begin, which no range holds, are only told apart as possible or not.
//
// The entries crossing either bound of a period ("begins before F and ends after F, or the
// same for T") lie in two ranges one longest entry wide, at F and at T; the span between
// them is the whole period, which such a query must not read. Ranges that narrow are kept
// apart through OR, up to a few; any other union becomes the one range holding both.
//
// `end <= begin` (or `end < begin`) holds only for finished rows of length zero or less,
// which the index of the span's length finds without reading the rows of the period: a
// report looks up its entries stored backwards that way. Like the bounds above, this reads
// the columns as the numbers the store writes there.

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "chronelle/store/PredicateNode.h"

namespace chronelle {

namespace {

using Node = Predicate::Node;

// An SQL expression with its parameters, and the one value it is computed from when there
// is one (`x` for `x` and for `x − longest`).
struct Expression {
  std::string sql;
  std::vector<Value> parameters;
  std::optional<Value> source;
};

// One range of begin values; an absent side is open.
struct KindRange {
  std::optional<Expression> low;
  std::optional<Expression> high;
  bool nonPositive = false;  // only rows whose end does not follow their begin match
  // At most one longest entry wide: both sides come from the same value ("begins before x
  // and ends after x"). Such ranges are searched apart rather than as the span between
  // them, which for the entries crossing either bound of a period would be the whole period.
  bool narrow = false;
  // The side is a comparison of begin that the predicate itself makes, met through AND
  // alone: SQLite bounds its search of the begin index by it already, and the same bound
  // written again is one more test per row.
  bool lowStated = false;
  bool highStated = false;
};

// The begin values rows of one kind (finished or running) can have: the union of a few
// ranges; none when no row of the kind matches.
using KindRanges = std::vector<KindRange>;

// More ranges than this are searched as the one range that holds them all.
constexpr std::size_t kMostRanges = 4;

struct SpanRange {
  KindRanges finished{KindRange{}};
  KindRanges running{KindRange{}};
  bool withoutBegin = true;  // whether a row without a begin (in no range) may match
};

SpanRange nothing() { return SpanRange{{}, {}, false}; }

// `function(a, b)`, for the larger of two lower bounds or the smaller of two upper ones.
Expression combine(const char* function, const Expression& a, const Expression& b) {
  Expression e{std::string(function) + "(" + a.sql + ", " + b.sql + ")", a.parameters,
               std::nullopt};
  e.parameters.insert(e.parameters.end(), b.parameters.begin(), b.parameters.end());
  return e;
}

// Whether `e` is a value compared with begin itself, not one derived through a length.
bool isDirect(const Expression& e) { return e.sql == "?"; }

// Both of two bounds on one side hold: the tighter, or either of them, since each alone is
// implied. `x` and `x ∓ a length` (begin ≥ x beside end > x, which gives begin ≥ x − longest)
// keep `x`, which every store with its ends after its begins makes the tighter one; the
// search then needs no subquery and no function of them per row.
Expression tighter(const char* function, const Expression& a, const Expression& b) {
  if (a.source && b.source && *a.source == *b.source) {
    if (isDirect(a)) return a;
    if (isDirect(b)) return b;
  }
  return combine(function, a, b);
}

// Whether the bound kept of `a` and `b` on one side is one the predicate states: the one
// of them it equals when that one is stated.
bool keptStated(const std::optional<Expression>& kept, const std::optional<Expression>& a, bool aStated,
                const std::optional<Expression>& b, bool bStated) {
  if (!kept) return false;
  const auto same = [&](const std::optional<Expression>& x) {
    return x && x->sql == kept->sql && x->parameters == kept->parameters;
  };
  return (aStated && same(a)) || (bStated && same(b));
}

// Both sides must hold: the tighter bound of each side.
KindRange intersect(const KindRange& a, const KindRange& b) {
  KindRange r;
  r.low = a.low && b.low ? tighter("max", *a.low, *b.low) : (a.low ? a.low : b.low);
  r.high = a.high && b.high ? tighter("min", *a.high, *b.high) : (a.high ? a.high : b.high);
  r.lowStated = keptStated(r.low, a.low, a.lowStated, b.low, b.lowStated);
  r.highStated = keptStated(r.high, a.high, a.highStated, b.high, b.highStated);
  r.nonPositive = a.nonPositive || b.nonPositive;
  r.narrow =
      a.narrow || b.narrow ||
      (r.low && r.high && r.low->source && r.high->source && *r.low->source == *r.high->source);
  return r;
}

// Either side may hold: the looser bound of each side, open if either is.
KindRange unite(const KindRange& a, const KindRange& b) {
  KindRange r;
  if (a.low && b.low) r.low = combine("min", *a.low, *b.low);
  if (a.high && b.high) r.high = combine("max", *a.high, *b.high);
  r.nonPositive = a.nonPositive && b.nonPositive;
  return r;
}

// The one range holding all of `ranges` (which are not empty).
KindRange hull(const KindRanges& ranges) {
  KindRange r = ranges.front();
  for (std::size_t i = 1; i < ranges.size(); ++i) r = unite(r, ranges[i]);
  return r;
}

KindRanges intersect(const KindRanges& a, const KindRanges& b) {
  if (a.empty() || b.empty()) return {};
  if (a.size() * b.size() > kMostRanges) return {intersect(hull(a), hull(b))};
  KindRanges r;
  for (const KindRange& x : a) {
    for (const KindRange& y : b) r.push_back(intersect(x, y));
  }
  return r;
}

// Narrow ranges stay apart; one that is not makes a single range of all.
KindRanges unite(const KindRanges& a, const KindRanges& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  KindRanges r = a;
  r.insert(r.end(), b.begin(), b.end());
  const bool allNarrow =
      std::all_of(r.begin(), r.end(), [](const KindRange& x) { return x.narrow; });
  if (allNarrow && r.size() <= kMostRanges) return r;
  return {hull(r)};
}

// Whether `value` is a number the columns compare with (dates are microseconds); object
// IDs, text and NaN bound nothing.
bool isNumber(const Value& value) {
  if (value.getIf<Date>() || value.getIf<std::int64_t>() || value.getIf<bool>()) return true;
  const double* d = value.getIf<double>();
  return d != nullptr && !std::isnan(*d);
}

PredicateOperator flippedOperator(PredicateOperator op) {
  switch (op) {
    case PredicateOperator::less: return PredicateOperator::greater;
    case PredicateOperator::lessOrEqual: return PredicateOperator::greaterOrEqual;
    case PredicateOperator::greater: return PredicateOperator::less;
    case PredicateOperator::greaterOrEqual: return PredicateOperator::lessOrEqual;
    default: return op;
  }
}

class RangeFinder {
 public:
  RangeFinder(const std::string& beginKey, const std::string& endKey, const std::string& longestSql,
              const std::string& shortestSql)
      : beginKey_(beginKey), endKey_(endKey), longestSql_(longestSql), shortestSql_(shortestSql) {}

  SpanRange of(const Node& node) const {
    switch (node.kind) {
      case Node::Kind::constant:
        return node.constantValue ? SpanRange{} : nothing();
      case Node::Kind::negation:
        return SpanRange{};  // nothing known
      case Node::Kind::conjunction:
      case Node::Kind::disjunction: {
        const bool all = node.kind == Node::Kind::conjunction;
        SpanRange r = of(*node.children.front());
        for (std::size_t i = 1; i < node.children.size(); ++i) {
          const SpanRange c = of(*node.children[i]);
          r.finished = all ? intersect(r.finished, c.finished) : unite(r.finished, c.finished);
          r.running = all ? intersect(r.running, c.running) : unite(r.running, c.running);
          r.withoutBegin = all ? r.withoutBegin && c.withoutBegin : r.withoutBegin || c.withoutBegin;
        }
        // A bound met inside one side of an OR is no condition of the whole.
        if (!all) {
          for (KindRanges* ranges : {&r.finished, &r.running}) {
            for (KindRange& range : *ranges) range.lowStated = range.highStated = false;
          }
        }
        return r;
      }
      case Node::Kind::comparison:
        return comparison(node);
    }
    return SpanRange{};
  }

 private:
  SpanRange comparison(const Node& node) const {
    const bool lhsKey = node.lhs.isKeyPath();
    if (lhsKey && node.rhs.isKeyPath()) return columnWithColumn(node);
    if (lhsKey == node.rhs.isKeyPath()) return SpanRange{};
    const PredicateOperand& key = lhsKey ? node.lhs : node.rhs;
    const Value& value = lhsKey ? node.rhs.value : node.lhs.value;
    const PredicateOperator op = lhsKey ? node.op : flippedOperator(node.op);
    if (key.keyPath.size() != 1) return SpanRange{};
    const std::string& name = key.keyPath.front();
    if (name == endKey_) {
      // `end = nil` admits running rows only, `end != nil` finished rows only; any order
      // or equality with a value is false for a running row.
      if (value.isNull()) {
        if (op == PredicateOperator::equal) return SpanRange{{}, {KindRange{}}, true};
        if (op == PredicateOperator::notEqual) return SpanRange{{KindRange{}}, {}, true};
        return SpanRange{};
      }
      const bool after =
          op == PredicateOperator::greater || op == PredicateOperator::greaterOrEqual || op == PredicateOperator::equal;
      const bool before =
          op == PredicateOperator::less || op == PredicateOperator::lessOrEqual || op == PredicateOperator::equal;
      SpanRange r;
      if (op != PredicateOperator::notEqual && op != PredicateOperator::in) r.running.clear();
      if (!isNumber(value)) return r;
      // end ≥ x and end − begin ≤ longest give begin ≥ x − longest; end ≤ x and
      // end − begin ≥ shortest give begin ≤ x − shortest (the shortest is not assumed to be
      // positive: nothing makes a stored end follow its begin).
      KindRange& finished = r.finished.front();
      if (after) finished.low = Expression{"? - IFNULL(" + longestSql_ + ", 0)", {value}, value};
      if (before) finished.high = Expression{"? - IFNULL(" + shortestSql_ + ", 0)", {value}, value};
      finished.narrow = after && before;
      return r;
    }
    if (name != beginKey_) return SpanRange{};
    // A row without a begin satisfies `begin != x` and `begin = nil` only, a row with one
    // never `begin = nil`.
    const bool absentMatches = op == PredicateOperator::notEqual || (op == PredicateOperator::equal && value.isNull());
    if (value.isNull() && op == PredicateOperator::equal) {
      SpanRange r = nothing();
      r.withoutBegin = true;
      return r;
    }
    if (!isNumber(value)) return SpanRange{{KindRange{}}, {KindRange{}}, absentMatches};
    KindRange bound;
    switch (op) {
      case PredicateOperator::greater:
      case PredicateOperator::greaterOrEqual:
        bound.low = Expression{"?", {value}, value};
        bound.lowStated = true;
        break;
      case PredicateOperator::less:
      case PredicateOperator::lessOrEqual:
        bound.high = Expression{"?", {value}, value};
        bound.highStated = true;
        break;
      case PredicateOperator::equal:
        bound.low = Expression{"?", {value}, value};
        bound.high = bound.low;
        bound.narrow = true;
        bound.lowStated = bound.highStated = true;
        break;
      default: break;
    }
    return SpanRange{{bound}, {bound}, absentMatches};
  }

  // `end <= begin` or `end < begin`, either way round: finished rows of length ≤ 0 only (a
  // comparison with a missing end or begin is false).
  SpanRange columnWithColumn(const Node& node) const {
    if (node.lhs.keyPath.size() != 1 || node.rhs.keyPath.size() != 1) return SpanRange{};
    PredicateOperator op = node.op;
    if (node.lhs.keyPath.front() == beginKey_ && node.rhs.keyPath.front() == endKey_) {
      op = flippedOperator(op);
    } else if (node.lhs.keyPath.front() != endKey_ || node.rhs.keyPath.front() != beginKey_) {
      return SpanRange{};
    }
    if (op != PredicateOperator::less && op != PredicateOperator::lessOrEqual) return SpanRange{};
    KindRange nonPositive;
    nonPositive.nonPositive = true;
    return SpanRange{{nonPositive}, {}, false};
  }

  const std::string& beginKey_;
  const std::string& endKey_;
  const std::string& longestSql_;
  const std::string& shortestSql_;
};

// The SQL of the span's columns.
struct SpanSql {
  const std::string& begin;
  const std::string& length;
  const std::string& shortest;
};

// `begin >= low AND begin <= high`, either side left out when open, and with `unstated`
// when the predicate states it (the condition is then only ANDed with the predicate).
Expression rangeSql(const KindRange& range, const SpanSql& span, bool unstated = false) {
  Expression e;
  auto add = [&](const char* op, const Expression& bound) {
    e.sql += (e.sql.empty() ? "" : " AND ") + span.begin + " " + op + " " + bound.sql;
    e.parameters.insert(e.parameters.end(), bound.parameters.begin(), bound.parameters.end());
  };
  if (range.low && !(unstated && range.lowStated)) add(">=", *range.low);
  if (range.high && !(unstated && range.highStated)) add("<=", *range.high);
  if (range.nonPositive) {
    // Closed below by the shortest length, which every row has, so that the search in the
    // length index is a bounded range.
    e.sql += (e.sql.empty() ? "" : " AND ") + span.length + " <= 0 AND " + span.length + " >= " + span.shortest;
  }
  return e;
}

// Any of `ranges`, each searched on its own (SQLite answers each side of an OR from its own
// index range); empty when one of them is open on both sides.
Expression rangeSql(const KindRanges& ranges, const SpanSql& span) {
  if (ranges.size() == 1) return rangeSql(ranges.front(), span);
  Expression e;
  for (const KindRange& range : ranges) {
    const Expression part = rangeSql(range, span);
    if (part.sql.empty()) return {};
    e.sql += (e.sql.empty() ? "(" : " OR ") + ("(" + part.sql + ")");
    e.parameters.insert(e.parameters.end(), part.parameters.begin(), part.parameters.end());
  }
  if (!e.sql.empty()) e.sql += ")";
  return e;
}

// Whether every range is closed on both sides.
bool closed(const KindRanges& ranges) {
  return std::all_of(ranges.begin(), ranges.end(),
                     [](const KindRange& r) { return r.low && r.high; });
}

// Whether `range` says no more than comparisons of begin the predicate itself makes, met
// through AND alone: a bound taken straight from such a comparison, neither derived through
// a length nor loosened by a union (`min`/`max` of two).
bool direct(const KindRange& range) {
  return !range.nonPositive && (range.low || range.high) && (!range.low || isDirect(*range.low)) &&
         (!range.high || isDirect(*range.high));
}

// Whether the ranges of both kinds of rows are one range the predicate itself states.
bool statedByPredicate(const KindRanges& finished, const KindRanges& running) {
  const auto one = [](const KindRanges& ranges) { return ranges.size() == 1 && direct(ranges.front()); };
  if (running.empty()) return one(finished);
  if (finished.empty()) return one(running);
  if (!one(finished) || !one(running)) return false;
  const auto same = [](const std::optional<Expression>& a, const std::optional<Expression>& b) {
    return a.has_value() == b.has_value() && (!a || (a->sql == b->sql && a->parameters == b->parameters));
  };
  return same(finished.front().low, running.front().low) && same(finished.front().high, running.front().high);
}

}  // namespace

std::optional<SpanRangeFragment> Predicate::spanRangeSql(const std::string& beginKey, const std::string& endKey,
                                                         const std::string& beginSql, const std::string& endSql,
                                                         const std::string& longestSql,
                                                         const std::string& shortestSql,
                                                         bool beginRequired) const {
  const SpanRange range = RangeFinder(beginKey, endKey, longestSql, shortestSql).of(*root_);
  const KindRanges& finished = range.finished;
  const KindRanges& running = range.running;
  // `begin >= F AND begin < T` beside `end > F AND end <= T` (a period's own entries) gives
  // the range [F, T] of begin, which the predicate's SQL already states: repeated, it is
  // compared once more per row and may turn the planner to another index, and it reads
  // nothing less.
  if (statedByPredicate(finished, running) && (!range.withoutBegin || beginRequired)) return std::nullopt;
  const std::string lengthSql = "(" + endSql + " - " + beginSql + ")";
  const SpanSql span{beginSql, lengthSql, shortestSql};
  Expression condition;
  // The one range of begin searched, when there is one, and what else the condition admits.
  const KindRange* single = nullptr;
  std::optional<Expression> others;
  // One range ANDed with the predicate as it is leaves out the sides the predicate states.
  const bool alone = !range.withoutBegin || beginRequired;
  const auto one = [&](const KindRanges& ranges) {
    return ranges.size() == 1 && alone ? rangeSql(ranges.front(), span, true) : rangeSql(ranges, span);
  };
  if (running.empty()) {
    condition = one(finished);
    if (finished.size() == 1) single = &finished.front();
  } else if (finished.empty()) {
    condition = one(running);
    if (running.size() == 1) single = &running.front();
  } else if (closed(running) || !closed(finished)) {
    // One range for both kinds of rows.
    condition = rangeSql(hull(unite(finished, running)), span);
  } else {
    // Closed ranges for finished rows; running rows, of unknown length, looked up by
    // their missing end (SQLite answers each side of the OR from its own index).
    const Expression closedSql = rangeSql(finished, span);
    Expression open = rangeSql(hull(running), span);
    others = Expression{endSql + " IS NULL" + (open.sql.empty() ? "" : " AND " + open.sql), open.parameters, {}};
    condition.sql = "((" + closedSql.sql + ") OR (" + others->sql + "))";
    condition.parameters = closedSql.parameters;
    condition.parameters.insert(condition.parameters.end(), open.parameters.begin(), open.parameters.end());
    if (finished.size() == 1) single = &finished.front();
  }
  if (condition.sql.empty()) return std::nullopt;
  // Rows without a begin lie in no range; looked up by their missing begin. Where the store
  // refuses to save such a row, the look-up would only keep SQLite from answering the
  // period from one range of the begin index.
  if (range.withoutBegin && !beginRequired) {
    condition.sql = "((" + condition.sql + ") OR " + beginSql + " IS NULL)";
    others = others ? Expression{"(" + others->sql + ") OR " + beginSql + " IS NULL", others->parameters, {}}
                    : Expression{beginSql + " IS NULL", {}, {}};
  }
  SpanRangeFragment fragment;
  fragment.sql = std::move(condition.sql);
  fragment.parameters = std::move(condition.parameters);
  // Apart where the range is one search of the begin index (which yields its rows in order)
  // and something else is admitted beside it.
  if (single != nullptr && !single->nonPositive && others) {
    Expression beginRange = rangeSql(*single, span);
    fragment.beginRange = SqlFragment{std::move(beginRange.sql), std::move(beginRange.parameters)};
    fragment.otherwise = SqlFragment{std::move(others->sql), std::move(others->parameters)};
  }
  return fragment;
}

}  // namespace chronelle
