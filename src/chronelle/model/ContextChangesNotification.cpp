#include "chronelle/model/ContextChangesNotification.h"

#include "chronelle/store/ObjectContext.h"

namespace chronelle {

std::optional<ContextChanges> contextChanges(const Notification& notification) {
  if (const auto* changes = notification.value<ContextChanges>(kContextChangesKey)) return *changes;
  return std::nullopt;
}

bool hasDeletedObject(const Notification& notification, const ObjectID& id) {
  const auto* ids = notification.value<ObjectIDSet>(ObjectContext::kDeletedObjectIDsKey);
  return ids != nullptr && ids->count(id) != 0;
}

}  // namespace chronelle
