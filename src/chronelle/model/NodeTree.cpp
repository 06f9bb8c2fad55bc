// The values of a node that walk the tree: billing inheritance, hierarchy keys, ancestry,
// sorted children and the classification of node collections.
#include <algorithm>

#include "chronelle/model/Folder.h"
#include "chronelle/model/Node.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

// The node that `node` inherits from, or null at the top. A node that names itself as its
// parent has nothing to inherit from. Longer cycles break the tree's invariant; the billing
// walks still stop after kMaxDepth steps.
std::shared_ptr<Node> inheritanceParent(const Node& node) {
  auto p = node.parent();
  return p.get() == &node ? nullptr : p;
}

// Chains are a handful of levels deep; a walk this long can only be a cycle.
constexpr int kMaxDepth = 10'000;

std::vector<std::shared_ptr<Node>> sortedByOrder(std::vector<std::shared_ptr<Node>> nodes) {
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](const auto& a, const auto& b) { return a->order() < b->order(); });
  return nodes;
}

}  // namespace

double Node::effectiveHourlyRate() const {
  const Node* node = this;
  std::shared_ptr<Node> holder;
  for (int depth = 0; node && depth < kMaxDepth; ++depth) {
    if (node->hourlyRateIsSet()) return node->hourlyRate();
    holder = inheritanceParent(*node);
    node = holder.get();
  }
  return 0.0;
}

bool Node::effectiveIsBillable() const {
  const Node* node = this;
  std::shared_ptr<Node> holder;
  for (int depth = 0; node && depth < kMaxDepth; ++depth) {
    if (node->isBillableSet()) return node->isBillable();
    holder = inheritanceParent(*node);
    node = holder.get();
  }
  return false;
}

Node::BillingOption Node::billingOption() const {
  auto p = inheritanceParent(*this);
  if (p && !isBillableSet()) return BillingOption::inherited(p->effectiveIsBillable());
  return isBillable() ? BillingOption::billable() : BillingOption::nonBillable();
}

std::vector<Node::BillingOption> Node::billingCases() const {
  auto p = inheritanceParent(*this);
  return {BillingOption::inherited(p ? p->effectiveIsBillable() : false), BillingOption::billable(),
          BillingOption::nonBillable()};
}

std::string Node::hierarchyKey() const {
  if (!hierarchyKeyCache_) {
    auto p = inheritanceParent(*this);
    hierarchyKeyCache_ =
        (p ? p->hierarchyKey() : std::string()) + ":" + objectID().uriRepresentation();
  }
  return *hierarchyKeyCache_;
}

void Node::updateHierarchyKey() { hierarchyKeyCache_.reset(); }

std::vector<std::shared_ptr<Node>> Node::childrenArray() const { return sortedByOrder(children()); }

std::vector<std::shared_ptr<Node>> Node::notEmptyChildren() const {
  std::vector<std::shared_ptr<Node>> kept;
  for (auto& child : children()) {
    const bool isTask = dynamic_cast<const Task*>(child.get()) != nullptr;
    const bool isFilledFolder =
        dynamic_cast<const Folder*>(child.get()) != nullptr && !child->children().empty();
    if (isTask || isFilledFolder) kept.push_back(std::move(child));
  }
  return sortedByOrder(std::move(kept));
}

std::optional<NodeSet> Node::childrenWithSameArchivedState() const {
  if (isFault()) return std::nullopt;
  NodeSet result;
  const bool ownState = archived();
  for (auto& child : children()) {
    if (child->archived() == ownState) result.insert(std::move(child));
  }
  return result;
}

std::string Node::isArchivedString() const { return archived() ? "true" : "false"; }

std::vector<std::shared_ptr<Node>> Node::allParents() const {
  std::vector<std::shared_ptr<Node>> parents;
  const ObjectID ownID = objectID();
  const Node* current = this;
  std::shared_ptr<Node> holder;
  while (current) {
    auto p = current->parent();
    if (!p || p->objectID() == current->objectID()) break;
    // A chain that comes back to this node or to one already listed is a cycle: stop there.
    const bool seen = p->objectID() == ownID ||
                      std::any_of(parents.begin(), parents.end(),
                                  [&](const auto& n) { return n->objectID() == p->objectID(); });
    if (seen) break;
    parents.push_back(p);
    holder = std::move(p);
    current = holder.get();
  }
  return parents;
}

bool Node::isChild(const Node& ofNode) const {
  const ObjectID other = ofNode.objectID();
  const auto parents = allParents();
  return std::any_of(parents.begin(), parents.end(),
                     [&](const auto& p) { return p->objectID() == other; });
}

bool Node::isParent(const Node& of) const {
  const ObjectID own = objectID();
  const auto parents = of.allParents();
  return std::any_of(parents.begin(), parents.end(),
                     [&](const auto& p) { return p->objectID() == own; });
}

void Node::countKind(const Node* node, std::size_t& tasks, std::size_t& folders) {
  if (dynamic_cast<const Task*>(node))
    ++tasks;
  else if (dynamic_cast<const Folder*>(node))
    ++folders;
}

Node::CollectionType Node::classify(std::size_t tasks, std::size_t folders) {
  if (tasks > 0 && folders > 0) return CollectionType::mixed;
  if (folders >= 2) return CollectionType::folders;
  if (folders == 1) return CollectionType::folder;
  if (tasks >= 2) return CollectionType::tasks;
  if (tasks == 1) return CollectionType::task;
  return CollectionType::none;
}

}  // namespace chronelle
