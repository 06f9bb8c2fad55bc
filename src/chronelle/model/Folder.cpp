#include "chronelle/model/Folder.h"

#include "chronelle/model/Task.h"

namespace chronelle {

TaskSet Folder::allTasks() const {
  TaskSet tasks;
  for (const auto& child : children()) {
    if (auto task = std::dynamic_pointer_cast<Task>(child)) {
      tasks.insert(std::move(task));
    } else if (auto folder = std::dynamic_pointer_cast<Folder>(child);
               folder && folder.get() != this) {
      tasks.merge(folder->allTasks());
    }
  }
  return tasks;
}

NodeSet Folder::allChildren() const {
  NodeSet nodes;
  for (const auto& child : children()) {
    if (child.get() == this) continue;
    nodes.insert(child);
    if (auto folder = std::dynamic_pointer_cast<Folder>(child)) nodes.merge(folder->allChildren());
  }
  return nodes;
}

}  // namespace chronelle
