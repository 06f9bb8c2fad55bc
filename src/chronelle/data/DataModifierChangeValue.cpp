#include "chronelle/data/DataModifierChangeValue.h"

#include <cmath>
#include <cxxabi.h>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <utility>

#include "chronelle/data/ChangeSetError.h"
#include "chronelle/store/Value.h"
#include "chronelle/support/ColorSet.h"

namespace chronelle::modifier_detail {
namespace {

// How a value that was refused is named in the error: the store's description for a Value,
// the type's readable name otherwise.
std::string describeHeld(const std::any& value) {
  if (const auto* v = std::any_cast<Value>(&value)) return "the store value " + v->description();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(value.type().name(), nullptr, nullptr, &status),
                                              std::free);
  return std::string("a value of type ") + (status == 0 && name ? name.get() : value.type().name());
}

[[noreturn]] void refuse(ChangeSetError error, std::string_view key, const std::string& detail) {
  throw std::system_error(make_error_code(error), "change set key \"" + std::string(key) + "\": " + detail);
}

[[noreturn]] void wrongType(std::string_view key, std::string_view expected, const std::any& value) {
  refuse(ChangeSetError::wrongType, key, "expected " + std::string(expected) + ", got " + describeHeld(value));
}

// Whether `value` is "no value" as such (before its type is known).
bool isNone(const std::any& value) {
  if (!value.has_value()) return true;
  const auto* stored = std::any_cast<Value>(&value);
  return stored != nullptr && stored->isNull();
}

// The value of one of the types Ts, held directly or in a std::optional, handed to `use`.
// True when `value` holds one of them (an empty optional included); `use` is not called
// for an empty optional.
template <class... Ts, class Use>
bool visitHeld(const std::any& value, Use&& use) {
  bool matched = false;
  auto tryOne = [&]<class T>() {
    if (matched) return;
    if (const T* direct = std::any_cast<T>(&value)) {
      matched = true;
      use(*direct);
    } else if (const auto* wrapped = std::any_cast<std::optional<T>>(&value)) {
      matched = true;
      if (*wrapped) use(**wrapped);
    }
  };
  (tryOne.template operator()<Ts>(), ...);
  return matched;
}

// A value of type T held directly or in a std::optional; `expected` names T for the error.
template <class T>
std::optional<T> exactly(const std::any& value, std::string_view key, std::string_view expected) {
  if (isNone(value)) return std::nullopt;
  std::optional<T> result;
  if (const auto* stored = std::any_cast<Value>(&value)) {
    if constexpr (std::is_constructible_v<Value, T>) {
      if (const T* held = stored->getIf<T>()) return *held;
    }
    wrongType(key, expected, value);
  }
  if (!visitHeld<T>(value, [&](const T& v) { result = v; })) wrongType(key, expected, value);
  return result;
}

std::optional<std::int16_t> fitInt16(std::string_view key, auto number) {
  if (!std::in_range<std::int16_t>(number)) {
    refuse(ChangeSetError::valueOutOfRange, key,
           std::to_string(number) + " does not fit the attribute's 16 bits (-32768 to 32767)");
  }
  return static_cast<std::int16_t>(number);
}

}  // namespace

std::optional<Date> instantValue(const std::any& value, std::string_view key) {
  return exactly<Date>(value, key, "an instant (Date)");
}

std::optional<std::string> textValue(const std::any& value, std::string_view key) {
  if (isNone(value)) return std::nullopt;
  constexpr std::string_view expected = "text";
  if (const auto* stored = std::any_cast<Value>(&value)) {
    if (const auto* s = stored->getIf<std::string>()) return *s;
    wrongType(key, expected, value);
  }
  std::optional<std::string> result;
  if (visitHeld<std::string, std::string_view>(value, [&](const auto& s) { result = std::string(s); })) return result;
  if (const auto* s = std::any_cast<const char*>(&value)) return *s ? std::optional<std::string>(*s) : std::nullopt;
  if (const auto* s = std::any_cast<char*>(&value)) return *s ? std::optional<std::string>(*s) : std::nullopt;
  wrongType(key, expected, value);
}

std::optional<ObjectID> objectIDValue(const std::any& value, std::string_view key) {
  return exactly<ObjectID>(value, key, "an object identifier");
}

std::optional<std::int16_t> int16Value(const std::any& value, std::string_view key) {
  if (isNone(value)) return std::nullopt;
  constexpr std::string_view expected = "a whole number";
  if (const auto* stored = std::any_cast<Value>(&value)) {
    if (const auto* i = stored->getIf<std::int64_t>()) return fitInt16(key, *i);
    wrongType(key, expected, value);
  }
  std::optional<std::int16_t> result;
  const bool matched = visitHeld<int, long, long long, short, signed char, unsigned, unsigned long, unsigned long long,
                                 unsigned short, unsigned char>(value,
                                                                [&](auto number) { result = fitInt16(key, number); });
  if (!matched) wrongType(key, expected, value);
  return result;
}

std::optional<double> doubleValue(const std::any& value, std::string_view key) {
  if (isNone(value)) return std::nullopt;
  constexpr std::string_view expected = "a number of type double";
  std::optional<double> result;
  if (const auto* stored = std::any_cast<Value>(&value)) {
    const double* d = stored->getIf<double>();
    if (!d) wrongType(key, expected, value);
    result = *d;
  } else if (!visitHeld<double, float>(value, [&](auto number) { result = static_cast<double>(number); })) {
    wrongType(key, expected, value);
  }
  if (result && !std::isfinite(*result)) {
    refuse(ChangeSetError::valueOutOfRange, key, "expected a finite number, got " + std::to_string(*result));
  }
  return result;
}

std::optional<bool> boolValue(const std::any& value, std::string_view key) {
  return exactly<bool>(value, key, "a bool");
}

std::optional<BillingStatus> billingStatusValue(const std::any& value, std::string_view key) {
  if (isNone(value)) return std::nullopt;
  std::optional<BillingStatus> result;
  auto take = [&](BillingStatus status) {
    if (!BillingStatus::fromRaw(status.rawValue())) {
      refuse(ChangeSetError::valueOutOfRange, key, "no billing status has the raw value " +
                                                       std::to_string(status.rawValue()));
    }
    result = status;
  };
  if (!visitHeld<BillingStatus, BillingStatus::Case>(value, [&](auto status) { take(BillingStatus(status)); })) {
    wrongType(key, "a BillingStatus", value);
  }
  return result;
}

std::optional<OrderOption> orderOptionValue(const std::any& value, std::string_view key) {
  return exactly<OrderOption>(value, key, "an OrderOption");
}

std::optional<std::int16_t> colorIdValue(const std::any& value, std::string_view key) {
  std::optional<std::int16_t> result;
  if (!isNone(value) && visitHeld<ColorSet::ID>(value, [&](ColorSet::ID id) { result = ColorSet::rawValue(id); })) {
    return result;
  }
  return int16Value(value, key);
}

}  // namespace chronelle::modifier_detail
