#pragma once

#include "chronelle/model/Node.h"
#include "chronelle/model/NodeSet.h"

namespace chronelle {

/// A node that holds folders and tasks. It has no attributes of its own. Used on its
/// context's queue only.
class Folder : public Node {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "Folder";
  /// A fetch request for folders.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }

  /// Every task anywhere below the folder; empty when there is none.
  TaskSet allTasks() const;
  /// Every node anywhere below the folder, folders and tasks, without the folder itself.
  NodeSet allChildren() const;
};

}  // namespace chronelle
