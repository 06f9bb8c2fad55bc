// The node-tree reads of BaseDataProvider: children of a folder, the flat listing, and the
// tasks below a set of nodes.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <unordered_map>

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
  // One fetch of every node, sorted as getChildren sorts siblings (by order, ties by key), split
  // by parent in memory: the listing is what a fetch of each folder's children would give,
  // without a query per folder.
  std::vector<FlatNodeStuctureItem> items;
  performRead(
      [&] {
        std::unordered_map<const ManagedObject*, std::vector<std::shared_ptr<Node>>> childrenOf;  // null: top level
        // The rows come in key order straight off the table and are sorted by order here: a
        // stable sort keeps the key as the tie-break, as a fetch sorted by order has it, while
        // a sort in SQL would copy every column of every node into a temporary tree first.
        auto nodes = objectsOfClass<Node>(context_->fetch(FetchRequest(Node::kEntityName)));
        std::vector<std::pair<std::int16_t, std::size_t>> byOrder;
        byOrder.reserve(nodes.size());
        for (std::size_t i = 0; i < nodes.size(); ++i) byOrder.emplace_back(nodes[i]->order(), i);
        std::stable_sort(byOrder.begin(), byOrder.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& entry : byOrder) {
          auto& node = nodes[entry.second];
          const auto parent = node->parent();
          childrenOf[parent.get()].push_back(std::move(node));
        }
        // The walk reads the nodes too, so it stays on the context's queue with the fetch.
        std::function<void(const Folder*, int, std::vector<FlatNodeStuctureItem>&)> list =
            [&](const Folder* folder, int level, std::vector<FlatNodeStuctureItem>& out) {
              auto children = childrenOf.find(folder);
              if (children == childrenOf.end()) return;
              for (const auto& child : children->second) {
                // Only the top level hides archived nodes: an archived folder's contents are
                // shown as they are.
                if (folder == nullptr && !includeArchived && child->archived()) continue;
                if (const auto* subfolder = dynamic_cast<const Folder*>(child.get())) {
                  std::vector<FlatNodeStuctureItem> contents;
                  list(subfolder, level + 1, contents);
                  out.push_back({level, child, !contents.empty()});
                  out.insert(out.end(), std::make_move_iterator(contents.begin()),
                             std::make_move_iterator(contents.end()));
                } else if (includeTasks) {
                  out.push_back({level, child, false});
                }
              }
            };
        list(insideFolder.get(), 0, items);
      },
      [&](const std::exception& e) {
        items.clear();
        handleContextError(e, "Error on getting children of folder");
      });
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
