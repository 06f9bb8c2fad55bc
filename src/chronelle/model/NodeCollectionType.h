#pragma once

namespace chronelle {

/// What a collection of nodes holds (`Node::CollectionType`, see `Node::nodeTypesIn`): one
/// folder, several folders, one task, several tasks, both kinds, or nothing.
enum class NodeCollectionType { folder, folders, task, tasks, mixed, none };

}  // namespace chronelle
