#pragma once

// Typed readings of change-set values for DataModifier. A change set maps keys to std::any;
// each reader returns the value when it has the expected kind and nothing otherwise, so a
// value of the wrong type is simply "not given". An empty std::any, an empty std::optional
// and a null chronelle::Value are "no value". Internal to the data layer.

#include <any>
#include <cstdint>
#include <optional>
#include <string>

#include "chronelle/data/OrderOption.h"
#include "chronelle/model/BillingStatus.h"
#include "chronelle/platform/Date.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle::modifier_detail {

/// A Date (or optional Date, or Value holding one).
std::optional<Date> instantValue(const std::any& value);
/// A std::string, C string or string_view (or optional string, or Value holding one).
std::optional<std::string> textValue(const std::any& value);
/// An ObjectID (or optional ObjectID, or Value holding one).
std::optional<ObjectID> objectIDValue(const std::any& value);
/// Any integer type except bool (or optional of one, or Value holding an integer).
std::optional<std::int64_t> integerValue(const std::any& value);
/// A double or float, or any integer type except bool (or optional of one, or Value holding a
/// number that is not a bool).
std::optional<double> doubleValue(const std::any& value);
/// A bool (or optional bool, or Value holding a bool).
std::optional<bool> boolValue(const std::any& value);
/// A BillingStatus or BillingStatus::Case (or optional of one).
std::optional<BillingStatus> billingStatusValue(const std::any& value);
/// An OrderOption (or optional OrderOption).
std::optional<OrderOption> orderOptionValue(const std::any& value);
/// A palette colour: an integer (see integerValue) or a ColorSet::ID, as its raw value.
std::optional<std::int64_t> colorIdValue(const std::any& value);

}  // namespace chronelle::modifier_detail
