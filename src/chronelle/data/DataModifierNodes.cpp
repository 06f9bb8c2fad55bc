// DataModifier: node change sets, colours, archiving, billing propagation, sorting by name
// and deletion.
#include <algorithm>
#include <numeric>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "chronelle/data/DataModifier.h"
#include "chronelle/data/NodeChangeValues.h"
#include "chronelle/data/DataNotifications.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

namespace {

// The canonical composed form of `text`, so that names spelled with combining accents sort
// with their precomposed twins. Malformed input is compared as it is.
std::string composed(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return text;
  const icu::UnicodeString normalized = nfc->normalize(icu::UnicodeString::fromUTF8(text), status);
  if (U_FAILURE(status)) return text;
  std::string out;
  normalized.toUTF8String(out);
  return out;
}

}  // namespace

void DataModifier::updateNode(Node& node, const NodeChanges& changes) {
  // Every value is checked before the first is applied: a refused change set changes nothing.
  const NodeChangeValues values = NodeChangeValues::read(changes);
  if (values.name) node.setName(*values.name);
  if (values.colorId) updateNodeWithColorId(node, *values.colorId);

  if (values.positionGiven) {
    const auto currentParent = node.parent();
    const std::optional<ObjectID> currentParentId =
        currentParent ? std::optional<ObjectID>(currentParent->objectID()) : std::nullopt;
    // An absent parentId means "stay in the current folder", never "go to the top".
    const std::optional<ObjectID> wantedParent = values.parentId ? values.parentId : currentParentId;
    if (wantedParent != currentParentId) {
      updateNode(node, wantedParent, values.order.value_or(OrderOption::last));
    } else if (values.order) {
      updateNode(node, wantedParent, *values.order);
    }
  }

  if (values.notesGiven) {
    if (auto* task = dynamic_cast<Task*>(&node)) task->setNotes(values.notes);
  }

  if (values.archived) {
    const bool changed = *values.archived != node.archived();
    if (changed) setArchivedState(node, *values.archived);
    if (changed && values.moveToRoot.value_or(false)) updateNode(node, std::nullopt, OrderOption::last);
  }

  if (values.billingGiven) {
    updateNode(node, values.isBillableSet.value_or(node.isBillableSet()), values.isBillable.value_or(node.isBillable()),
               values.hourlyRateIsSet.value_or(node.hourlyRateIsSet()), values.hourlyRate.value_or(node.hourlyRate()));
  }
}

void DataModifier::updateNode(Node& node, bool isBillableSet, bool isBillable, bool hourlyRateIsSet,
                              double hourlyRate) {
  const bool wasBillable = node.effectiveIsBillable();
  const double oldRate = node.effectiveHourlyRate();
  node.setIsBillableSet(isBillableSet);
  node.setIsBillable(isBillable);
  node.setHourlyRateIsSet(hourlyRateIsSet);
  node.setHourlyRate(hourlyRate);
  if (wasBillable != node.effectiveIsBillable() || oldRate != node.effectiveHourlyRate()) {
    updateBillingSettingsInChildren(node);
    updateIsBillableAndRevenueInTimeEntries(node);
  }
}

void DataModifier::updateNodeWithColorId(Node& node, std::int16_t colorId) {
  node.setColorId(colorId);
  // Only direct child tasks follow: sub-folders keep their own colour and contents.
  for (const auto& child : node.children()) {
    if (dynamic_cast<Task*>(child.get()) != nullptr) child->setColorId(colorId);
  }
}

void DataModifier::setArchivedState(Node& node, bool archived) {
  node.setArchived(archived);
  if (dynamic_cast<Folder*>(&node) == nullptr) return;
  for (const auto& child : node.children()) setArchivedState(*child, archived);
}

void DataModifier::archive(Node& node, bool moveToRoot) {
  if (node.archived()) return;
  setArchivedState(node, true);
  if (moveToRoot) updateNode(node, std::nullopt, OrderOption::last);
}

void DataModifier::unarchive(Node& node, bool moveToRoot) {
  if (!node.archived()) return;
  setArchivedState(node, false);
  if (moveToRoot) updateNode(node, std::nullopt, OrderOption::last);
}

void DataModifier::updateBillingSettingsInChildren(Node& node) {
  if (node.effectiveIsBillable()) return;
  node.setHourlyRateIsSet(false);
  node.setHourlyRate(0);
  if (dynamic_cast<Folder*>(&node) == nullptr) return;
  for (const auto& child : node.children()) updateBillingSettingsInChildren(*child);
}

void DataModifier::updateIsBillableAndRevenueInTimeEntries(Node& node) {
  if (auto* task = dynamic_cast<Task*>(&node)) {
    const bool billable = task->effectiveIsBillable();
    const double rate = task->effectiveHourlyRate();
    const auto unbilled = BillingStatus(BillingStatus::unbilled).rawValue();
    for (const auto& entry : task->sessions()) {
      // Billed and paid entries keep what they were billed with; only a billable task may
      // still mark them billable.
      const bool isUnbilled = entry->billingStatusValue() == unbilled;
      if (billable) {
        entry->setIsBillable(true);
      } else if (isUnbilled) {
        entry->setIsBillable(false);
      }
      if (isUnbilled) updateTimeEntryHourlyRate(*entry, rate);
    }
    return;
  }
  for (const auto& child : node.children()) updateIsBillableAndRevenueInTimeEntries(*child);
}

void DataModifier::sortNodesByName(const std::shared_ptr<Folder>& in, bool inArchive) {
  std::vector<std::shared_ptr<Node>> nodes = in ? in->childrenArray() : topLevelNodes(inArchive);
  std::vector<std::string> keys;
  keys.reserve(nodes.size());
  for (const auto& node : nodes) keys.push_back(composed(node->name()));
  // UTF-8 byte order is code point order, so comparing the composed bytes orders by Unicode
  // scalar values.
  std::vector<std::size_t> order(nodes.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<std::shared_ptr<Node>> sorted;
  sorted.reserve(nodes.size());
  for (std::size_t i : order) sorted.push_back(nodes[i]);
  recalculateOrderValues(sorted);
}

void DataModifier::deleteNodes(const std::vector<std::shared_ptr<Node>>& nodes) {
  for (const auto& node : nodes) {
    if (!node) continue;
    if (auto parent = node->parent()) nodesWantUpdateConfirmedDuration_.insert(parent);
    context_->performAndWait([&] { context_->deleteObject(node); });
  }
}

void DataModifier::deleteAllNodes() {
  logInfo(log_, "Deleting all nodes...");
  // Announced first, so the timer lets go of its entry before anything disappears.
  NotificationCenter::defaultCenter().post(DataNotifications::willDeleteAllNodes);

  FetchRequest request(Node::kEntityName);
  request.predicate = Predicate::parse("parent = nil");
  ObjectSet roots;
  try {
    roots = context_->fetch(request);
  } catch (const std::exception& error) {
    logError(log_, "Error on deleting all nodes", error);
    throw;
  }
  // Subtrees and their entries go with their roots by the delete rules.
  for (const auto& root : roots) context_->deleteObject(root);
}

}  // namespace chronelle
