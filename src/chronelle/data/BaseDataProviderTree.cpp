// The node-tree reads of BaseDataProvider: children of a folder, the flat listing, and the
// tasks below a set of nodes.
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/FetchCasting.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

const char* entityFor(NodeFilter::NodeTypeOption type) {
  switch (type) {
    case NodeFilter::NodeTypeOption::task: return Task::kEntityName;
    case NodeFilter::NodeTypeOption::folder: return Folder::kEntityName;
    case NodeFilter::NodeTypeOption::all: return Node::kEntityName;
  }
  return Node::kEntityName;
}

}  // namespace

std::vector<std::shared_ptr<Node>> BaseDataProvider::getChildren(const std::shared_ptr<Folder>& folder,
                                                                 const NodeFilter& filter) const {
  std::vector<std::shared_ptr<Node>> children;
  performRead(
      [&] {
        FetchRequest request(entityFor(filter.nodeType));
        if (folder) {
          // Inside a folder the archived state is not filtered: an archived folder shows
          // its contents as they are.
          request.predicate = Predicate::parse("parent = %@", {Value(folder)});
        } else {
          switch (filter.archivedState) {
            case NodeFilter::ArchivedStateOption::active:
              request.predicate = Predicate::parse("parent = nil AND archived = false");
              break;
            case NodeFilter::ArchivedStateOption::archived:
              request.predicate = Predicate::parse("parent = nil AND archived = true");
              break;
            case NodeFilter::ArchivedStateOption::all:
              request.predicate = Predicate::parse("parent = nil");
              break;
          }
        }
        request.sortDescriptors = {{"order", true}};
        children = objectsOfClass<Node>(context_->fetch(request));
      },
      [&](const std::exception& e) { handleContextError(e, "Error on getting children of folder"); });
  return children;
}

std::vector<FlatNodeStuctureItem> BaseDataProvider::getFlatNodeStructure(const std::shared_ptr<Folder>& insideFolder,
                                                                         bool includeTasks,
                                                                         bool includeArchived) const {
  std::vector<FlatNodeStuctureItem> items;
  const NodeFilter filter(NodeFilter::NodeTypeOption::all, includeArchived ? NodeFilter::ArchivedStateOption::all
                                                                           : NodeFilter::ArchivedStateOption::active);
  std::function<void(const std::shared_ptr<Folder>&, int, std::vector<FlatNodeStuctureItem>&)> list =
      [&](const std::shared_ptr<Folder>& folder, int level, std::vector<FlatNodeStuctureItem>& out) {
        for (const auto& child : getChildren(folder, filter)) {
          if (auto subfolder = std::dynamic_pointer_cast<Folder>(child)) {
            std::vector<FlatNodeStuctureItem> contents;
            list(subfolder, level + 1, contents);
            out.push_back({level, child, !contents.empty()});
            out.insert(out.end(), contents.begin(), contents.end());
          } else if (includeTasks) {
            out.push_back({level, child, false});
          }
        }
      };
  list(insideFolder, 0, items);
  return items;
}

TaskSet BaseDataProvider::getTasks(const std::vector<std::shared_ptr<Node>>& ofNodes) const {
  TaskSet tasks;
  for (const auto& node : ofNodes) {
    if (auto task = std::dynamic_pointer_cast<Task>(node)) {
      tasks.insert(task);
    } else if (auto folder = std::dynamic_pointer_cast<Folder>(node)) {
      tasks.merge(folder->allTasks());
    }
  }
  return tasks;
}

}  // namespace chronelle
