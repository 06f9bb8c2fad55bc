#include "chronelle/model/NodeSetHelpers.h"

#include "chronelle/model/Folder.h"
#include "chronelle/model/Task.h"

namespace chronelle {

TaskSet toTaskSet(const NodeSet& nodes) {
  TaskSet tasks;
  for (const auto& node : nodes) {
    if (auto task = std::dynamic_pointer_cast<Task>(node)) {
      tasks.insert(std::move(task));
    } else if (auto folder = std::dynamic_pointer_cast<Folder>(node)) {
      tasks.merge(folder->allTasks());
    }
  }
  return tasks;
}

ObjectIDSet toTaskIdsSet(const TaskSet& tasks) {
  ObjectIDSet ids;
  for (const auto& task : tasks) {
    if (task) ids.insert(task->objectID());
  }
  return ids;
}

}  // namespace chronelle
