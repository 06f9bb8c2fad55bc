#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chronelle/data/NodeChangeKey.h"
#include "chronelle/data/OrderOption.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

// A node change set read into typed values, so that every value is checked before the
// first one is applied. Each field is absent when its key is missing or holds no value;
// the flags say which keys are present at all where presence alone matters. Internal to the
// data layer; a value type.
struct NodeChangeValues {
  std::optional<std::string> name;
  std::optional<std::int16_t> colorId;
  // Whether `parentId` or `order` is present (the position step runs even without values).
  bool positionGiven = false;
  std::optional<ObjectID> parentId;
  std::optional<OrderOption> order;
  // Whether `notes` is present (without a value it clears a task's notes).
  bool notesGiven = false;
  std::optional<std::string> notes;
  std::optional<bool> archived;
  std::optional<bool> moveToRoot;
  // Whether any of the four billing keys is present.
  bool billingGiven = false;
  std::optional<bool> isBillableSet;
  std::optional<bool> isBillable;
  std::optional<bool> hourlyRateIsSet;
  std::optional<double> hourlyRate;

  // Reads every key of `changes`. Throws std::system_error(ChangeSetError) naming the first
  // key whose value has the wrong type or does not fit its attribute.
  static NodeChangeValues read(const NodeChanges& changes);
};

}  // namespace chronelle
