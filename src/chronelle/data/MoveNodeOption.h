#pragma once

#include <optional>
#include <utility>

#include "chronelle/data/OrderOption.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

/// One step of MainDataProvider::moveNodes: which node goes where. A value type.
struct MoveNodeOption {
  /// Moves `nodeId` into `destinationId` (the top level when absent) at `order`.
  MoveNodeOption(ObjectID nodeId, std::optional<ObjectID> destinationId, OrderOption order)
      : nodeId(std::move(nodeId)), destinationId(std::move(destinationId)), order(order) {}

  /// The node to move.
  ObjectID nodeId;
  /// The new parent folder; absent for the top level (so is an ID that is not a folder).
  std::optional<ObjectID> destinationId;
  /// The position among the new siblings.
  OrderOption order;

  /// Equal when every field is.
  friend bool operator==(const MoveNodeOption&, const MoveNodeOption&) = default;
};

}  // namespace chronelle
