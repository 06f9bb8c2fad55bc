#include "chronelle/reports/SessionColumnSegment.h"

#include "chronelle/model/Task.h"

namespace chronelle {

SessionColumnSegment::SessionColumnSegment(const Task& task)
    : taskId(Url::parse(task.objectID().uriRepresentation()).value_or(Url{})),
      taskName(task.name()),
      color(task.color().resolved(Appearance::light)),
      taskIsArchived(task.archived()),
      taskIsBillable(task.effectiveIsBillable()) {
  if (auto parent = task.parent()) taskParentName = parent->name();
}

}  // namespace chronelle
