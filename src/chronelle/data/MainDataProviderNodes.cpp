// Writes of folders and tasks. (No temporary with a destructor inside a co_await
// expression; see MainDataProviderTimeEntries.cpp.)

#include <utility>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

// A block that inserts a new node of entity `Entity`, applies `data`, saves and returns the
// node's ID.
template <class Entity>
auto insertNode(NodeChanges data) {
  return [data = std::move(data)](ObjectContext& context, DataModifier& modifier,
                                  const ManagedObjectFetcher&) {
    auto node = context.insert<Entity>(Entity::kEntityName);
    modifier.updateNode(*node, data);
    context.save();
    return node->objectID();
  };
}

// A block that marks the nodes of `ids` whose archived state differs from `archived`, with
// their subtrees, and with `moveToRoot` moves each last among the top-level nodes of that
// state. The nodes to change are chosen before any is marked: a selected folder marks its
// selected descendants too, and they must still be moved.
auto setArchived(std::vector<ObjectID> ids, bool archived, bool moveToRoot) {
  return [ids = std::move(ids), archived, moveToRoot](
             ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher& fetcher) {
    std::vector<std::shared_ptr<Node>> changing;
    for (auto& node : fetcher.fetchObjects<Node>(ids)) {
      if (node->archived() != archived) changing.push_back(std::move(node));
    }
    for (const auto& node : changing) {
      modifier.setArchivedState(*node, archived);
      if (moveToRoot) modifier.updateNode(*node, std::nullopt, OrderOption::last);
    }
    context.save();
  };
}

}  // namespace

asio::awaitable<std::shared_ptr<Task>> MainDataProvider::createTask(NodeChanges data) {
  auto block = insertNode<Task>(std::move(data));
  auto write = executeWriteOperation(std::move(block));
  const ObjectID id = co_await std::move(write);
  co_return lookUpAfterWrite<Task>(id);
}

asio::awaitable<std::shared_ptr<Folder>> MainDataProvider::createFolder(NodeChanges data) {
  auto block = insertNode<Folder>(std::move(data));
  auto write = executeWriteOperation(std::move(block));
  const ObjectID id = co_await std::move(write);
  co_return lookUpAfterWrite<Folder>(id);
}

asio::awaitable<void> MainDataProvider::updateNode(ObjectID id, NodeChanges changes) {
  return executeWriteOperation(
      [id, changes = std::move(changes)](ObjectContext& context, DataModifier& modifier,
                                         const ManagedObjectFetcher& fetcher) {
        modifier.updateNode(*fetcher.fetchObject<Node>(id), changes);
        context.save();
      });
}

asio::awaitable<void> MainDataProvider::deleteNodes(std::vector<ObjectID> ids) {
  return executeWriteOperation([ids = std::move(ids)](ObjectContext& context,
                                                      DataModifier& modifier,
                                                      const ManagedObjectFetcher& fetcher) {
    modifier.deleteNodes(fetcher.fetchObjects<Node>(ids));
    context.save();
  });
}

asio::awaitable<void> MainDataProvider::archiveNodes(std::vector<ObjectID> ids, bool moveToRoot) {
  auto block = setArchived(ids, true, moveToRoot);
  auto write = executeWriteOperation(std::move(block));
  co_await std::move(write);
  postOnMainQueue(DataNotifications::didArchiveNodes, std::move(ids));
}

asio::awaitable<void> MainDataProvider::unarchiveNodes(std::vector<ObjectID> ids, bool moveToRoot) {
  auto block = setArchived(ids, false, moveToRoot);
  auto write = executeWriteOperation(std::move(block));
  co_await std::move(write);
  postOnMainQueue(DataNotifications::didUnarchiveNodes, std::move(ids));
}

void MainDataProvider::postOnMainQueue(const char* name, std::vector<ObjectID> ids) {
  // Observers (the timer among them) read the view context: they are told on its queue,
  // before the awaiting caller resumes.
  context()->performAndWait([&] {
    NotificationCenter::defaultCenter().post(name, this, {{DataNotifications::nodeIdsKey, std::move(ids)}});
  });
}

asio::awaitable<void> MainDataProvider::moveNodes(std::vector<MoveNodeOption> options) {
  return executeWriteOperation([options = std::move(options)](ObjectContext& context,
                                                              DataModifier& modifier,
                                                              const ManagedObjectFetcher& fetcher) {
    for (const auto& option : options) {
      auto node = std::dynamic_pointer_cast<Node>(fetcher.context()->existingObject(option.nodeId));
      if (!node) throw std::system_error(ManagedObjectFetcherError::wrongExpectedReturnObjectType);
      modifier.updateNode(*node, option.destinationId, option.order);
    }
    context.save();
  });
}

asio::awaitable<void> MainDataProvider::sortNodesByName(std::optional<ObjectID> in) {
  return executeWriteOperation(
      [in](ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher& fetcher) {
        std::shared_ptr<Folder> folder;
        if (in) folder = fetcher.fetchObject<Folder>(*in);
        modifier.sortNodesByName(folder, false);
        context.save();
      });
}

}  // namespace chronelle
