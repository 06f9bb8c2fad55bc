#pragma once

#include "chronelle/model/NodeSet.h"
#include "chronelle/store/ObjectContext.h"

namespace chronelle {

/// Every task of `nodes`, together with every task anywhere below each folder of `nodes`
/// (Folder::allTasks). A task reached twice is held once. Runs on the nodes' context queue.
TaskSet toTaskSet(const NodeSet& nodes);

/// The ObjectIDs of `tasks` (temporary ones for unsaved tasks). Runs on the tasks' context
/// queue.
ObjectIDSet toTaskIdsSet(const TaskSet& tasks);

}  // namespace chronelle
