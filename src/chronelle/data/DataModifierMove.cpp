// DataModifier: sibling lists, moving nodes between folders and positions, renumbering.
#include <algorithm>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/NodeFilter.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

using NodeList = std::vector<std::shared_ptr<Node>>;

// Position of `node` in `list` by object identity; list.size() when absent.
std::size_t indexOf(const NodeList& list, const Node& node) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (isSameObject(list[i].get(), &node)) return i;
  }
  return list.size();
}

void insertAt(NodeList& list, std::size_t index, const std::shared_ptr<Node>& node) {
  // Indices past the end are outside the contract; clamping keeps the list intact.
  index = std::min(index, list.size());
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(index), node);
}

}  // namespace

std::vector<std::shared_ptr<Node>> DataModifier::topLevelNodes(bool archived) {
  // The read side's listing, so a reordering here numbers exactly what the user sees there.
  const NodeFilter filter(NodeFilter::NodeTypeOption::all,
                          archived ? NodeFilter::ArchivedStateOption::archived : NodeFilter::ArchivedStateOption::active);
  return BaseDataProvider(context_).getChildren(nullptr, filter);
}

std::vector<std::shared_ptr<Node>> DataModifier::siblings(Node& node) {
  if (auto folder = std::dynamic_pointer_cast<Folder>(node.parent())) return folder->childrenArray();
  return topLevelNodes(node.archived());
}

void DataModifier::recalculateOrderValues(const std::vector<std::shared_ptr<Node>>& nodes) {
  // A 16-bit counter, like the stored attribute: lists longer than 32767 are not supported.
  std::int16_t index = 0;
  for (const auto& node : nodes) {
    if (node->order() != index) node->setOrder(index);
    index = static_cast<std::int16_t>(index + 1);
  }
}

void DataModifier::updateNode(Node& node, const std::optional<ObjectID>& parentId, OrderOption order) {
  const auto self = std::static_pointer_cast<Node>(node.shared_from_this());
  if (parentId && *parentId == node.objectID()) return;

  const auto oldParent = node.parent();
  const bool sameParent =
      (!parentId && !oldParent) || (parentId && oldParent && *parentId == oldParent->objectID());
  if (sameParent && order.wantedPosition() == node.order()) return;

  NodeList oldList = siblings(node);

  std::shared_ptr<Folder> newParent;
  if (parentId) {
    try {
      newParent = std::dynamic_pointer_cast<Folder>(context_->existingObject(*parentId));
    } catch (const std::exception&) {
      // Not found: the node goes to the top level.
    }
  }

  NodeList newList;
  if (sameParent) {
    newList = oldList;
  } else if (newParent) {
    newList = newParent->childrenArray();
  } else {
    newList = topLevelNodes(node.archived());
  }

  const std::size_t currentIndex = indexOf(oldList, node);
  if (currentIndex == oldList.size()) return;

  std::size_t target = order.isLast() ? newList.size() : static_cast<std::size_t>(std::max(0, *order.index()));
  if (sameParent && currentIndex < target) --target;

  oldList.erase(oldList.begin() + static_cast<std::ptrdiff_t>(currentIndex));

  if (sameParent) {
    insertAt(oldList, target, self);
    recalculateOrderValues(oldList);
    return;
  }

  insertAt(newList, target, self);
  recalculateOrderValues(oldList);

  const bool wasBillable = node.effectiveIsBillable();
  const double oldRate = node.effectiveHourlyRate();

  if (oldParent) oldParent->removeFromChildren(self);
  if (newParent) newParent->addToChildren(self);

  recalculateOrderValues(newList);

  if (oldParent) nodesWantUpdateConfirmedDuration_.insert(oldParent);
  if (newParent) nodesWantUpdateConfirmedDuration_.insert(newParent);

  node.updateHierarchyKey();

  if (node.hasRunningSession()) {
    if (oldParent) oldParent->setHasRunningTimeEntry(false);
    if (newParent) newParent->setHasRunningTimeEntry(true);
  }

  // A task takes the colour of the folder it joins; at the top level it keeps its own.
  if (dynamic_cast<Task*>(&node) != nullptr && newParent) node.setColorId(newParent->colorId());

  if (wasBillable != node.effectiveIsBillable() || oldRate != node.effectiveHourlyRate()) {
    updateBillingSettingsInChildren(node);
    updateIsBillableAndRevenueInTimeEntries(node);
  }
}

}  // namespace chronelle
