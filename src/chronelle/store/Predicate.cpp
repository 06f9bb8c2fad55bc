#include "chronelle/store/Predicate.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "chronelle/store/PredicateNode.h"
#include "chronelle/store/PredicateParser.h"

namespace chronelle {

namespace {

using Node = Predicate::Node;
using NodePtr = std::shared_ptr<const Node>;

// Seconds from 1970 to 2001-01-01 UTC, the origin of the CAST(..., "NSDate") literal.
constexpr std::int64_t kReferenceDateMicros = 978307200LL * 1'000'000;

NodePtr constantNode(bool value) {
  auto node = std::make_shared<Node>();
  node->kind = Node::Kind::constant;
  node->constantValue = value;
  return node;
}

std::string formatString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

// Exact seconds since the reference date with six decimals, so the text parses back to
// the same microsecond.
std::string formatDate(const Date& date) {
  const std::int64_t micros = date.microsecondsSince1970() - kReferenceDateMicros;
  const std::uint64_t magnitude =
      micros < 0 ? 0 - static_cast<std::uint64_t>(micros) : static_cast<std::uint64_t>(micros);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "CAST(%s%llu.%06llu, \"NSDate\")", micros < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1'000'000),
                static_cast<unsigned long long>(magnitude % 1'000'000));
  return buffer;
}

std::string formatValue(const Value& value) {
  if (const auto* s = value.getIf<std::string>()) return formatString(*s);
  if (const auto* d = value.getIf<Date>()) return formatDate(*d);
  if (const auto* list = value.getIf<Value::List>()) {
    std::string out = "{";
    for (std::size_t i = 0; i < list->size(); ++i) {
      if (i > 0) out += ", ";
      out += formatValue((*list)[i]);
    }
    return out + "}";
  }
  return value.description();  // nil, YES/NO, numbers, blobs, object URIs
}

std::string formatOperand(const PredicateOperand& operand) {
  if (!operand.isKeyPath()) return formatValue(operand.value);
  std::string out;
  for (std::size_t i = 0; i < operand.keyPath.size(); ++i) {
    if (i > 0) out += '.';
    out += operand.keyPath[i];
  }
  return out;
}

bool isCompound(const Node& node) {
  return node.kind == Node::Kind::conjunction || node.kind == Node::Kind::disjunction;
}

std::string formatNode(const Node& node) {
  switch (node.kind) {
    case Node::Kind::constant:
      return node.constantValue ? "TRUEPREDICATE" : "FALSEPREDICATE";
    case Node::Kind::comparison:
      return formatOperand(node.lhs) + " " + operatorText(node.op) + " " + formatOperand(node.rhs);
    case Node::Kind::negation: {
      const Node& child = *node.children.front();
      return isCompound(child) ? "NOT (" + formatNode(child) + ")" : "NOT " + formatNode(child);
    }
    case Node::Kind::conjunction:
    case Node::Kind::disjunction: {
      const char* separator = node.kind == Node::Kind::conjunction ? " AND " : " OR ";
      std::string out;
      for (std::size_t i = 0; i < node.children.size(); ++i) {
        if (i > 0) out += separator;
        const Node& child = *node.children[i];
        out += isCompound(child) ? "(" + formatNode(child) + ")" : formatNode(child);
      }
      return out;
    }
  }
  return "";
}

void collectKeyPaths(const Node& node, std::vector<std::vector<std::string>>& paths) {
  const auto add = [&](const PredicateOperand& operand) {
    if (operand.isKeyPath() &&
        std::find(paths.begin(), paths.end(), operand.keyPath) == paths.end()) {
      paths.push_back(operand.keyPath);
    }
  };
  if (node.kind == Node::Kind::comparison) {
    add(node.lhs);
    add(node.rhs);
  }
  for (const auto& child : node.children) collectKeyPaths(*child, paths);
}

}  // namespace

const char* operatorText(PredicateOperator op) {
  switch (op) {
    case PredicateOperator::equal:
      return "==";
    case PredicateOperator::notEqual:
      return "!=";
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
  return "?";
}

std::shared_ptr<const Node> makeCompound(Node::Kind kind,
                                         std::vector<std::shared_ptr<const Node>> children) {
  std::vector<NodePtr> merged;
  for (auto& child : children) {
    if (child->kind == kind) {
      merged.insert(merged.end(), child->children.begin(), child->children.end());
    } else {
      merged.push_back(std::move(child));
    }
  }
  if (merged.empty()) return constantNode(kind == Node::Kind::conjunction);
  if (merged.size() == 1) return merged.front();
  auto node = std::make_shared<Node>();
  node->kind = kind;
  node->children = std::move(merged);
  return node;
}

Predicate Predicate::parse(std::string_view format, std::vector<Value> arguments) {
  return Predicate(parsePredicateFormat(format, std::move(arguments)));
}

Predicate Predicate::constant(bool value) { return Predicate(constantNode(value)); }

Predicate Predicate::allOf(std::vector<Predicate> predicates) {
  std::vector<NodePtr> children;
  for (auto& p : predicates) children.push_back(std::move(p.root_));
  return Predicate(makeCompound(Node::Kind::conjunction, std::move(children)));
}

Predicate Predicate::anyOf(std::vector<Predicate> predicates) {
  std::vector<NodePtr> children;
  for (auto& p : predicates) children.push_back(std::move(p.root_));
  return Predicate(makeCompound(Node::Kind::disjunction, std::move(children)));
}

Predicate Predicate::negation(const Predicate& predicate) {
  auto node = std::make_shared<Node>();
  node->kind = Node::Kind::negation;
  node->children.push_back(predicate.root_);
  return Predicate(std::move(node));
}

std::vector<std::vector<std::string>> Predicate::keyPaths() const {
  std::vector<std::vector<std::string>> paths;
  collectKeyPaths(*root_, paths);
  return paths;
}

std::string Predicate::predicateFormat() const { return formatNode(*root_); }

}  // namespace chronelle
