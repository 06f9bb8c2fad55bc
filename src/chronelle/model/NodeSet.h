#pragma once

#include <memory>
#include <set>

namespace chronelle {

class Node;
class Task;

/// Sets of nodes and of tasks. Objects of one context are unique per ObjectID (the context's
/// identity map), so a set of shared pointers holds each stored object at most once. Ordered
/// by address, which stays stable when an object's temporary ID becomes permanent.
///@{
using NodeSet = std::set<std::shared_ptr<Node>>;
using TaskSet = std::set<std::shared_ptr<Task>>;
///@}

}  // namespace chronelle
