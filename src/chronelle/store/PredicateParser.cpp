#include "chronelle/store/PredicateParser.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "chronelle/store/PredicateLexer.h"

namespace chronelle {

namespace {

using Kind = PredicateToken::Kind;
using NodePtr = std::shared_ptr<const Predicate::Node>;

// Seconds from 1970 to the platform's reference date 2001-01-01 UTC, the origin of the
// CAST(..., "NSDate") literal that canonical texts use for dates.
constexpr std::int64_t kReferenceDateSeconds = 978307200;
// Deeper nesting than this is certainly not a real query and would only risk the stack.
constexpr int kMaxDepth = 200;
// CAST literals further than this from the reference date (about 31,700 years) are refused:
// no stored instant is that far, and beyond it microseconds since 1970 would overflow.
constexpr std::int64_t kMaxReferenceSeconds = 1'000'000'000'000;

// The exact instant of a decimal number of seconds since the reference date; up to six
// fraction digits are exact, anything longer (or an exponent) is rounded through double.
// Absent when the number is out of range.
std::optional<Date> dateFromReferenceSeconds(const std::string& text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  std::int64_t seconds = 0;
  std::int64_t micros = 0;
  int fractionDigits = 0;
  bool exact = true;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (seconds > kMaxReferenceSeconds) return std::nullopt;  // and no overflow below
    seconds = seconds * 10 + (text[i] - '0');
  }
  if (seconds > kMaxReferenceSeconds) return std::nullopt;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (++fractionDigits > 6)
        exact = false;
      else
        micros = micros * 10 + (text[i] - '0');
    }
  }
  if (i != text.size()) exact = false;
  if (!exact) {
    // from_chars, unlike stod, neither throws on a subnormal nor depends on the locale.
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end ||
        !(std::fabs(value) <= static_cast<double>(kMaxReferenceSeconds))) {
      return std::nullopt;
    }
    return Date::fromSecondsSince1970(value + static_cast<double>(kReferenceDateSeconds));
  }
  for (; fractionDigits < 6; ++fractionDigits) micros *= 10;
  std::int64_t total = seconds * 1'000'000 + micros;
  if (negative) total = -total;
  return Date::fromMicroseconds(total + kReferenceDateSeconds * 1'000'000);
}

class Parser {
 public:
  Parser(std::string_view format, std::vector<Value> arguments)
      : format_(format), lexer_(format), arguments_(std::move(arguments)) {
    token_ = lexer_.next();
  }

  NodePtr parse() {
    NodePtr root = parseOr(0);
    if (token_.kind != Kind::end) fail(token_.position, "unexpected \"" + token_.text + "\"");
    if (nextArgument_ != arguments_.size()) {
      fail(format_.size(), "the format uses " + std::to_string(nextArgument_) + " %@ but " +
                               std::to_string(arguments_.size()) + " arguments were given");
    }
    return root;
  }

 private:
  [[noreturn]] void fail(std::size_t position, const std::string& what) const {
    throwPredicateSyntaxError(format_, position, what);
  }
  void advance() { token_ = lexer_.next(); }
  void expect(Kind kind, const char* what) {
    if (token_.kind != kind) fail(token_.position, std::string("expected ") + what);
    advance();
  }

  NodePtr parseOr(int depth) {
    std::vector<NodePtr> children{parseAnd(depth)};
    while (token_.kind == Kind::orKeyword) {
      advance();
      children.push_back(parseAnd(depth));
    }
    return makeCompound(Predicate::Node::Kind::disjunction, std::move(children));
  }

  NodePtr parseAnd(int depth) {
    std::vector<NodePtr> children{parseUnary(depth)};
    while (token_.kind == Kind::andKeyword) {
      advance();
      children.push_back(parseUnary(depth));
    }
    return makeCompound(Predicate::Node::Kind::conjunction, std::move(children));
  }

  NodePtr parseUnary(int depth) {
    if (depth > kMaxDepth) fail(token_.position, "nested too deeply");
    if (token_.kind == Kind::notKeyword) {
      advance();
      auto node = std::make_shared<Predicate::Node>();
      node->kind = Predicate::Node::Kind::negation;
      node->children.push_back(parseUnary(depth + 1));
      return node;
    }
    if (token_.kind == Kind::leftParen) {
      advance();
      NodePtr inner = parseOr(depth + 1);
      expect(Kind::rightParen, "\")\"");
      return inner;
    }
    if (token_.kind == Kind::truePredicate || token_.kind == Kind::falsePredicate) {
      auto node = std::make_shared<Predicate::Node>();
      node->constantValue = token_.kind == Kind::truePredicate;
      advance();
      return node;
    }
    return parseComparison();
  }

  NodePtr parseComparison() {
    const std::size_t start = token_.position;
    auto node = std::make_shared<Predicate::Node>();
    node->kind = Predicate::Node::Kind::comparison;
    node->lhs = parseOperand();
    const std::size_t operatorPosition = token_.position;
    if (token_.kind == Kind::comparison) {
      node->op = token_.op;
    } else if (token_.kind == Kind::inKeyword) {
      node->op = PredicateOperator::in;
    } else if (token_.kind == Kind::unsupported) {
      fail(operatorPosition, "the operator " + token_.text + " is not supported");
    } else {
      fail(operatorPosition, "expected a comparison operator or IN");
    }
    advance();
    const std::size_t rhsPosition = token_.position;
    node->rhs = parseOperand();

    const auto isList = [](const PredicateOperand& o) {
      return !o.isKeyPath() && o.value.getIf<Value::List>();
    };
    if (isList(node->lhs)) fail(start, "a list is only valid on the right of IN");
    if (node->op == PredicateOperator::in) {
      if (node->rhs.isKeyPath())
        fail(rhsPosition, "IN needs a list (or %@) on its right, not a key path");
      // A single value is a list of one; nil is the empty list.
      if (!isList(node->rhs)) {
        node->rhs.value =
            node->rhs.value.isNull() ? Value(Value::List{}) : Value(Value::List{node->rhs.value});
      }
    } else {
      if (isList(node->rhs)) fail(rhsPosition, "a list is only valid on the right of IN");
      const bool ordering =
          node->op != PredicateOperator::equal && node->op != PredicateOperator::notEqual;
      const auto isID = [](const PredicateOperand& o) {
        return !o.isKeyPath() && o.value.getIf<ObjectID>();
      };
      if (ordering && (isID(node->lhs) || isID(node->rhs))) {
        fail(operatorPosition, "objects can only be compared with == and !=");
      }
    }
    return node;
  }

  PredicateOperand parseOperand() {
    PredicateOperand operand;
    const std::size_t position = token_.position;
    switch (token_.kind) {
      case Kind::keyPath:
        operand.keyPath = splitKeyPath(token_.text, position);
        advance();
        return operand;
      case Kind::number:
      case Kind::string:
      case Kind::literal:
        operand.value = token_.value;
        advance();
        return operand;
      case Kind::argument:
        advance();
        operand.value = takeArgument(position);
        return operand;
      case Kind::leftBrace:
        operand.value = parseListLiteral();
        return operand;
      case Kind::castKeyword:
        operand.value = parseCast();
        return operand;
      case Kind::end:
        fail(position, "unexpected end of the format");
      default:
        fail(position, "expected a key path or a value, found \"" + token_.text + "\"");
    }
  }

  std::vector<std::string> splitKeyPath(const std::string& text, std::size_t position) const {
    std::vector<std::string> components;
    std::size_t start = 0;
    for (;;) {
      const auto dot = text.find('.', start);
      components.push_back(text.substr(start, dot - start));
      if (dot == std::string::npos) break;
      start = dot + 1;
    }
    if (components.size() > 2)
      fail(position, "key paths may cross one relationship at most: " + text);
    return components;
  }

  Value takeArgument(std::size_t position) {
    if (nextArgument_ >= arguments_.size()) {
      fail(position, "no argument left for %@ (" + std::to_string(arguments_.size()) + " given)");
    }
    return normalized(arguments_[nextArgument_++], position, 0);
  }

  // NaN becomes nil, as SQLite stores it; lists may not nest.
  Value normalized(const Value& value, std::size_t position, int listDepth) const {
    if (const auto* d = value.getIf<double>(); d && std::isnan(*d)) return Value();
    if (const auto* list = value.getIf<Value::List>()) {
      if (listDepth > 0) fail(position, "lists may not contain lists");
      Value::List elements;
      elements.reserve(list->size());
      for (const auto& element : *list)
        elements.push_back(normalized(element, position, listDepth + 1));
      return Value(std::move(elements));
    }
    return value;
  }

  Value parseListLiteral() {
    advance();  // {
    Value::List elements;
    if (token_.kind != Kind::rightBrace) {
      for (;;) {
        const std::size_t position = token_.position;
        PredicateOperand element = parseOperand();
        if (element.isKeyPath()) fail(position, "a list literal holds values, not key paths");
        if (element.value.getIf<Value::List>()) fail(position, "lists may not contain lists");
        elements.push_back(std::move(element.value));
        if (token_.kind != Kind::comma) break;
        advance();
      }
    }
    expect(Kind::rightBrace, "\"}\" or \",\"");
    return Value(std::move(elements));
  }

  // CAST(<seconds since 2001-01-01>, "NSDate"): the date literal of canonical texts.
  Value parseCast() {
    const std::size_t position = token_.position;
    advance();
    expect(Kind::leftParen, "\"(\" after CAST");
    if (token_.kind != Kind::number) fail(token_.position, "expected a number of seconds in CAST");
    const std::string seconds = token_.text;
    advance();
    expect(Kind::comma, "\",\" in CAST");
    if (token_.kind != Kind::string || token_.value.asString() != "NSDate") {
      fail(token_.position, "only CAST(<seconds>, \"NSDate\") is supported");
    }
    advance();
    expect(Kind::rightParen, "\")\" closing CAST");
    const auto date = dateFromReferenceSeconds(seconds);
    if (!date) fail(position, "date out of range");
    return Value(*date);
  }

  std::string_view format_;
  PredicateLexer lexer_;
  std::vector<Value> arguments_;
  std::size_t nextArgument_ = 0;
  PredicateToken token_;
};

}  // namespace

std::shared_ptr<const Predicate::Node> parsePredicateFormat(std::string_view format,
                                                            std::vector<Value> arguments) {
  return Parser(format, std::move(arguments)).parse();
}

}  // namespace chronelle
