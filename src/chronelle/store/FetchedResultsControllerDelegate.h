#pragma once

#include <memory>
#include <optional>

#include "chronelle/store/FetchedResultsChangeType.h"
#include "chronelle/store/IndexPath.h"

namespace chronelle {

class FetchedResultsController;
class ManagedObject;

/// Receives the changes of a FetchedResultsController's results, one batch at a time: one
/// `controllerWillChangeContent`, one `controllerDidChange` per changed object, one
/// `controllerDidChangeContent`. Every call comes on the controller's context queue. The
/// default implementations do nothing.
class FetchedResultsControllerDelegate {
 public:
  virtual ~FetchedResultsControllerDelegate() = default;

  /// Before the first change of a batch; `fetchedObjects()` still shows the old results.
  virtual void controllerWillChangeContent(FetchedResultsController& /*controller*/) {}

  /// One change of `object`. `indexPath` is its position before the batch (absent for an
  /// insert); `newIndexPath` its position after the batch (absent for a remove). During
  /// these calls `fetchedObjects()` already shows the new results.
  virtual void controllerDidChange(FetchedResultsController& /*controller*/,
                                   const std::shared_ptr<ManagedObject>& /*object*/,
                                   std::optional<IndexPath> /*indexPath*/, FetchedResultsChangeType /*type*/,
                                   std::optional<IndexPath> /*newIndexPath*/) {}

  /// After the last change of a batch.
  virtual void controllerDidChangeContent(FetchedResultsController& /*controller*/) {}
};

}  // namespace chronelle
