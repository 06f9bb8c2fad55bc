#include "chronelle/data/NodeChangeValues.h"

#include "chronelle/data/DataModifierChangeValue.h"

namespace chronelle {

using namespace modifier_detail;

NodeChangeValues NodeChangeValues::read(const NodeChanges& changes) {
  NodeChangeValues values;
  for (const auto& [key, value] : changes) {
    const std::string_view name = key.rawValue();
    switch (key) {
      case NodeChangeKey::name: values.name = textValue(value, name); break;
      case NodeChangeKey::colorId: values.colorId = colorIdValue(value, name); break;
      case NodeChangeKey::parentId:
        values.positionGiven = true;
        values.parentId = objectIDValue(value, name);
        break;
      case NodeChangeKey::order:
        values.positionGiven = true;
        values.order = orderOptionValue(value, name);
        break;
      case NodeChangeKey::notes:
        values.notesGiven = true;
        values.notes = textValue(value, name);
        break;
      case NodeChangeKey::archived: values.archived = boolValue(value, name); break;
      case NodeChangeKey::moveToRoot: values.moveToRoot = boolValue(value, name); break;
      case NodeChangeKey::isBillableSet:
        values.billingGiven = true;
        values.isBillableSet = boolValue(value, name);
        break;
      case NodeChangeKey::isBillable:
        values.billingGiven = true;
        values.isBillable = boolValue(value, name);
        break;
      case NodeChangeKey::hourlyRateIsSet:
        values.billingGiven = true;
        values.hourlyRateIsSet = boolValue(value, name);
        break;
      case NodeChangeKey::hourlyRate:
        values.billingGiven = true;
        values.hourlyRate = doubleValue(value, name);
        break;
    }
  }
  return values;
}

}  // namespace chronelle
