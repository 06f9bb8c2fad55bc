#pragma once

#include <optional>

#include "chronelle/model/ContextChanges.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

/// The user-info key under which a ContextChanges value travels in "mainContextDidChange".
inline constexpr const char* kContextChangesKey = "contextChanges";

/// The ContextChanges under "contextChanges"; absent when the key is missing or holds another
/// type. Thread-safe as the notification it reads.
std::optional<ContextChanges> contextChanges(const Notification& notification);

/// True when the notification's user info holds, under ObjectContext::kDeletedObjectIDsKey, an
/// ObjectIDSet that contains `id`; false when the key or a set of that type is missing.
bool hasDeletedObject(const Notification& notification, const ObjectID& id);

}  // namespace chronelle
