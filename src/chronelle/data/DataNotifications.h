#pragma once

#include "chronelle/model/ContextChangesNotification.h"
#include "chronelle/store/ObjectContext.h"

namespace chronelle {

/// The notification names of the write side and the keys of their user info, as the
/// notification centre sees them. Post and observe through NotificationCenter::defaultCenter().
struct DataNotifications {
  DataNotifications() = delete;

  /// After every save of the view context (once the confirmed durations it made stale have
  /// been recomputed and saved) and after every merge of changes saved elsewhere. Posted on
  /// the main thread with no object. User info: `contextChangesKey` always (a
  /// ContextChanges); after a save also the three object-set keys below (ObjectSet each).
  static constexpr const char* mainContextDidChange = "mainContextDidChange";
  /// After MainDataProvider::archiveNodes / unarchiveNodes has saved. Object: the provider.
  /// User info: `nodeIdsKey` with the identifiers exactly as the caller passed them.
  ///@{
  static constexpr const char* didArchiveNodes = "Data.didArchiveNodes";
  static constexpr const char* didUnarchiveNodes = "Data.didUnarchiveNodes";
  ///@}
  /// Posted synchronously with no object by DataModifier::deleteAllNodes before anything is
  /// deleted, so holders of nodes (the timer) can let go of them.
  static constexpr const char* willDeleteAllNodes = "Data.willDeleteAllNodes";

  /// User-info keys.
  ///@{
  static constexpr const char* contextChangesKey = kContextChangesKey;  ///< ContextChanges
  static constexpr const char* insertedObjectsKey =
      ObjectContext::kInsertedObjectsKey;                                             ///< ObjectSet
  static constexpr const char* updatedObjectsKey = ObjectContext::kUpdatedObjectsKey;  ///< ObjectSet
  static constexpr const char* deletedObjectsKey = ObjectContext::kDeletedObjectsKey;  ///< ObjectSet
  static constexpr const char* nodeIdsKey = "nodeIds";  ///< std::vector<ObjectID>
  ///@}
};

}  // namespace chronelle
