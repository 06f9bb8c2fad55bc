#pragma once

// Typed readings of change-set values for DataModifier. A change set maps keys to std::any.
// Each reader returns the value when it holds the expected kind, and nothing when it holds
// no value: an empty std::any, an empty std::optional of an accepted type, a null
// chronelle::Value. Anything else is refused with std::system_error(ChangeSetError) naming
// `key`: a value of another type (wrongType) or one its attribute cannot store
// (valueOutOfRange). Internal to the data layer.

#include <any>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chronelle/data/OrderOption.h"
#include "chronelle/model/BillingStatus.h"
#include "chronelle/platform/Date.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle::modifier_detail {

// A Date (or a Value holding one).
std::optional<Date> instantValue(const std::any& value, std::string_view key);
// A std::string, string_view or C string (or a Value holding text); a null C string is none.
std::optional<std::string> textValue(const std::any& value, std::string_view key);
// An ObjectID (or a Value holding one).
std::optional<ObjectID> objectIDValue(const std::any& value, std::string_view key);
// An integer type other than bool and the character types (or a Value holding an integer),
// within the signed 16-bit range of the attribute it is stored in.
std::optional<std::int16_t> int16Value(const std::any& value, std::string_view key);
// A double or float (or a Value holding a double) that is a finite number. Integers are
// refused: a rate is never a whole-number type by accident only.
std::optional<double> doubleValue(const std::any& value, std::string_view key);
// A bool (or a Value holding one).
std::optional<bool> boolValue(const std::any& value, std::string_view key);
// A BillingStatus or BillingStatus::Case within 0…2.
std::optional<BillingStatus> billingStatusValue(const std::any& value, std::string_view key);
// An OrderOption.
std::optional<OrderOption> orderOptionValue(const std::any& value, std::string_view key);
// A palette colour: a ColorSet::ID, or an integer as int16Value reads it.
std::optional<std::int16_t> colorIdValue(const std::any& value, std::string_view key);

}  // namespace chronelle::modifier_detail
