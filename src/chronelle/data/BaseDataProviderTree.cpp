// The node-tree reads of BaseDataProvider: children of a folder, the flat listing, and the
// tasks below a set of nodes.
#include <algorithm>
#include <cstdint>
#include <functional>

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
        // The listing reads the structure and the name; the other values of the nodes are
        // read together, for all of them, when one of them is first asked for.
        FetchRequest request(Node::kEntityName);
        request.propertiesToFetch = {std::string("parent"), std::string("order"), std::string("archived"),
                                     std::string("name")};
        const ObjectSet fetched = context_->fetch(request);
        // The nodes as the classes their entities have (the fetch makes nothing else).
        std::vector<Node*> nodes;
        nodes.reserve(fetched.size());
        for (const auto& object : fetched) {
          if (Node* node = Node::fromObject(object.get())) nodes.push_back(node);
        }
        // The rows come in key order straight off the table and are put in order here, each
        // folder's children together, by order, ties by key (their place in the rows), as a
        // fetch of each folder's children sorted by order has them; a sort in SQL would copy
        // every column of every node into a temporary tree first. The three keys order every
        // node apart, so one plain sort gives what a stable one would.
        struct Placed {
          const ManagedObject* parent;
          std::int16_t order;
          std::uint32_t row;
          Node* node;
        };
        std::vector<Placed> placed;
        placed.reserve(nodes.size());
        // The fetch's objects stay registered in the context, so the parents' addresses hold.
        for (Node* node : nodes) {
          placed.push_back({node->parent().get(), node->order(), static_cast<std::uint32_t>(placed.size()), node});
        }
        std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
          if (a.parent != b.parent) return std::less<const ManagedObject*>()(a.parent, b.parent);
          if (a.order != b.order) return a.order < b.order;
          return a.row < b.row;
        });
        const auto childrenOf = [&](const ManagedObject* parent) {
          const auto less = std::less<const ManagedObject*>();
          auto first = std::lower_bound(placed.begin(), placed.end(), parent,
                                        [&](const Placed& p, const ManagedObject* key) { return less(p.parent, key); });
          auto last = first;
          while (last != placed.end() && last->parent == parent) ++last;
          return std::pair(first, last);
        };
        auto shared = [&](Node* node) { return std::static_pointer_cast<Node>(node->shared_from_this()); };
        items.reserve(nodes.size());
        // The walk reads the nodes too, so it stays on the context's queue with the fetch.
        const auto list = [&](const auto& self, const ManagedObject* folder, int level) -> void {
          const auto [first, last] = childrenOf(folder);
          for (auto it = first; it != last; ++it) {
            Node* child = it->node;
            // Only the top level hides archived nodes: an archived folder's contents are
            // shown as they are.
            if (folder == nullptr && !includeArchived && child->archived()) continue;
            // A node without children is listed alike as a folder or a task: the class is
            // asked for only where it matters.
            const auto [firstChild, endOfChildren] = childrenOf(child);
            const bool hasChildren = firstChild != endOfChildren;
            const Folder* subfolder = hasChildren || !includeTasks ? dynamic_cast<const Folder*>(child) : nullptr;
            if (subfolder != nullptr) {
              const std::size_t at = items.size();
              items.push_back({level, shared(child), false});
              self(self, subfolder, level + 1);
              items[at].hasChildren = items.size() > at + 1;
            } else if (includeTasks) {
              items.push_back({level, shared(child), false});
            }
          }
        };
        list(list, insideFolder.get(), 0);
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
