#include "SegmentTask.h"

#include "AppServices.h"
#include "NodeDirectory.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/SessionColumnSegment.h"
#include "chronelle/store/PersistentStoreCoordinator.h"

namespace chronelle::cli {

std::shared_ptr<Task> segmentTask(AppServices& app, const SessionColumnSegment& segment) {
  const auto id = app.stack().persistentStoreCoordinator()->managedObjectIDForURIRepresentation(
      segment.taskId.absoluteString());
  return id ? std::dynamic_pointer_cast<Task>(app.provider().getObject(*id)) : nullptr;
}

std::string segmentTaskPath(AppServices& app, const SessionColumnSegment& segment) {
  if (const auto task = segmentTask(app, segment)) return NodeDirectory::pathOf(*task);
  return segment.taskParentName ? *segment.taskParentName + "/" + segment.taskName : segment.taskName;
}

}  // namespace chronelle::cli
