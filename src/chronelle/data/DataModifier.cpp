// DataModifier: construction and the bookkeeping of stored confirmed durations.
#include "chronelle/data/DataModifier.h"

#include <stdexcept>

#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

std::shared_ptr<ObjectContext> requireContext(std::shared_ptr<ObjectContext> context) {
  if (!context) throw std::invalid_argument("DataModifier needs a context");
  return context;
}

// A deleted object, or one whose deletion was saved, has nothing left to recount.
bool isGone(const ManagedObject& object) {
  return object.isDeleted() || object.isFault() || object.managedObjectContext() == nullptr;
}

}  // namespace

DataModifier::DataModifier(std::shared_ptr<ObjectContext> context)
    : log_(LogLabel::dataModifier), context_(requireContext(std::move(context))) {}

DataModifier::DataModifier(ObjectContext& context) : DataModifier(context.shared_from_this()) {}

void DataModifier::updateNodeHasRunningSession(Node& node, bool hasRunningSession) {
  node.setHasRunningSession(hasRunningSession);
  for (const auto& ancestor : node.allParents()) ancestor->setHasRunningSession(hasRunningSession);
  node.updateEffectiveDuration();
}

void DataModifier::updateConfirmedDuration(Node& node) {
  if (auto* task = dynamic_cast<Task*>(&node)) {
    context_->performAndWait([&] { updateConfirmedDurationForTask(*task); });
  } else if (auto* folder = dynamic_cast<Folder*>(&node)) {
    updateConfirmedDurationForFolder(*folder);
  }
}

void DataModifier::updateConfirmedDurationForTask(Task& task) {
  if (isGone(task)) return;
  try {
    // The store sums saved entries only: the recount runs after the save that changed them.
    FetchRequest request(Session::kEntityName);
    request.predicate = Predicate::parse("task = %@", {Value(task.objectID())});
    request.resultType = FetchResultType::dictionary;
    request.propertiesToFetch = {ExpressionDescription{"SumOfDuration", "sum:", "confirmedDuration",
                                                       AttributeType::doubleType}};
    const auto rows = context_->fetchDictionaries(request);
    double sum = 0;
    if (!rows.empty()) {
      if (auto it = rows.front().find("SumOfDuration"); it != rows.front().end()) sum = it->second.asDouble().value_or(0);
    }
    task.setConfirmedDuration(sum);
  } catch (const std::exception& error) {
    logError(log_, "Error on updating task's confirmed duration", error);
    return;
  }

  auto parent = task.parent();
  if (auto parentTask = std::dynamic_pointer_cast<Task>(parent)) {
    context_->performAndWait([&] { updateConfirmedDurationForTask(*parentTask); });
  } else if (auto parentFolder = std::dynamic_pointer_cast<Folder>(parent)) {
    updateConfirmedDurationForFolder(*parentFolder);
  }
}

void DataModifier::updateConfirmedDurationForFolder(Folder& folder) {
  auto current = std::static_pointer_cast<Folder>(folder.shared_from_this());
  while (current && !isGone(*current)) {
    double sum = 0;
    for (const auto& child : current->children()) sum += child->confirmedDuration();
    current->setConfirmedDuration(sum);
    current = std::dynamic_pointer_cast<Folder>(current->parent());
  }
}

bool DataModifier::updateNodesConfirmedDurationsIfNeeded() {
  // Swap first: a recount may record nodes again only through later edits.
  NodeSet nodes;
  nodes.swap(nodesWantUpdateConfirmedDuration_);
  for (const auto& node : nodes) {
    if (auto task = std::dynamic_pointer_cast<Task>(node)) {
      context_->performAndWait([&] { updateConfirmedDurationForTask(*task); });
    } else if (auto folder = std::dynamic_pointer_cast<Folder>(node)) {
      updateConfirmedDurationForFolder(*folder);
    }
  }
  if (nodes.empty()) return false;
  return context_->hasChanges();
}

}  // namespace chronelle
