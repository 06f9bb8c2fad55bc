// DataModifier: verifying and repairing the stored confirmed durations of tasks and folders.
//
// The recount of a task runs in a save of its own after the save that changed its entries,
// so a process that dies between the two leaves the task and its folders with a stale total.
// These operations recompute the whole tree from the saved entries at once: one grouped
// aggregate for every task's own entries, then folders from their children, bottom up.
#include <algorithm>
#include <map>

#include "chronelle/data/ConfirmedDurationRepair.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

// The sum of the saved entries' confirmed durations per task, in one aggregate query.
std::map<ObjectID, double> savedSumsByTask(ObjectContext& context) {
  FetchRequest request(Session::kEntityName);
  request.predicate = Predicate::parse("task != nil");
  request.resultType = FetchResultType::dictionary;
  request.propertiesToFetch = {std::string("task"),
                               ExpressionDescription{"SumOfDuration", "sum:", "confirmedDuration",
                                                     AttributeType::doubleType}};
  request.propertiesToGroupBy = {"task"};
  std::map<ObjectID, double> sums;
  for (const auto& row : context.fetchDictionaries(request)) {
    const auto task = row.find("task");
    const auto sum = row.find("SumOfDuration");
    if (task == row.end() || sum == row.end()) continue;
    if (auto id = task->second.asObjectID()) sums[*id] = sum->second.asDouble().value_or(0);
  }
  return sums;
}

bool byOrderThenName(const std::shared_ptr<Node>& a, const std::shared_ptr<Node>& b) {
  if (a->order() != b->order()) return a->order() < b->order();
  return a->name() < b->name();
}

// Walks the tree in display order, recomputing bottom up and collecting the disagreements
// with each folder listed before its children.
class Recount {
 public:
  explicit Recount(std::map<ObjectID, double> sums) : sums_(std::move(sums)) {}

  // The node's recomputed value; records it when it differs from the stored one.
  double visit(const std::shared_ptr<Node>& node) {
    const std::size_t slot = stale_.size();
    stale_.push_back({});  // reserved so the node precedes its children in the list
    double expected = 0;
    if (dynamic_cast<Folder*>(node.get())) {
      auto children = node->children();
      std::stable_sort(children.begin(), children.end(), byOrderThenName);
      for (const auto& child : children) {
        if (!child->isDeleted()) expected += visit(child);
      }
    } else if (const auto sum = sums_.find(node->objectID()); sum != sums_.end()) {
      expected = sum->second;
    }
    if (node->confirmedDuration() != expected) {
      stale_[slot] = {node, node->confirmedDuration(), expected};
    }
    return expected;
  }

  std::vector<StaleConfirmedDuration> take() {
    std::erase_if(stale_, [](const StaleConfirmedDuration& s) { return s.node == nullptr; });
    return std::move(stale_);
  }

 private:
  std::map<ObjectID, double> sums_;
  std::vector<StaleConfirmedDuration> stale_;
};

}  // namespace

std::vector<StaleConfirmedDuration> DataModifier::verifyConfirmedDurations() {
  Recount recount(savedSumsByTask(*context_));
  std::vector<std::shared_ptr<Node>> roots;
  for (const auto& object : context_->fetch(Node::fetchRequest())) {
    auto node = std::dynamic_pointer_cast<Node>(object);
    if (node && !node->isDeleted() && !node->parent()) roots.push_back(std::move(node));
  }
  // Active nodes first, as the tree shows them.
  std::stable_sort(roots.begin(), roots.end(), [](const auto& a, const auto& b) {
    if (a->archived() != b->archived()) return !a->archived();
    return byOrderThenName(a, b);
  });
  for (const auto& root : roots) recount.visit(root);
  return recount.take();
}

std::vector<StaleConfirmedDuration> DataModifier::repairConfirmedDurations() {
  auto stale = verifyConfirmedDurations();
  for (const auto& entry : stale) entry.node->setConfirmedDuration(entry.expected);
  return stale;
}

std::size_t repairConfirmedDurationsAfterUncleanShutdown(PersistentStoreCoordinator& coordinator) {
  if (!coordinator.openedAfterUncleanShutdown()) return 0;
  Logger log(LogLabel::data);
  try {
    auto context = ObjectContext::create(ConcurrencyType::mainQueue, coordinator.shared_from_this());
    DataModifier modifier(context);
    const auto repaired = modifier.repairConfirmedDurations();
    if (context->hasChanges()) context->save();
    logWarning(log, "Repaired confirmed durations after an unclean shutdown",
              LogData{{"nodes", static_cast<std::int64_t>(repaired.size())}});
    return repaired.size();
  } catch (const std::exception& error) {
    logError(log, "Error on repairing confirmed durations", error);
    return 0;
  }
}

}  // namespace chronelle
