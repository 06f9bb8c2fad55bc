#include "chronelle/data/DataModifierChangeValue.h"

#include <string_view>

#include "chronelle/store/Value.h"
#include "chronelle/support/ColorSet.h"

namespace chronelle::modifier_detail {
namespace {

// The T held by `value` directly or inside a std::optional<T>.
template <class T>
std::optional<T> held(const std::any& value) {
  if (const T* direct = std::any_cast<T>(&value)) return *direct;
  if (const auto* wrapped = std::any_cast<std::optional<T>>(&value)) return *wrapped;
  return std::nullopt;
}

// The first of the types Ts that `value` holds (directly or in an optional), converted to R.
template <class R, class... Ts>
std::optional<R> heldAny(const std::any& value) {
  std::optional<R> result;
  ((result ? void() : [&] {
     if (auto v = held<Ts>(value)) result = static_cast<R>(*v);
   }()),
   ...);
  return result;
}

const Value* storeValue(const std::any& value) { return std::any_cast<Value>(&value); }

template <class R>
std::optional<R> integerOf(const std::any& value) {
  return heldAny<R, int, long, long long, short, signed char, unsigned, unsigned long, unsigned long long,
                 unsigned short, unsigned char, char>(value);
}

}  // namespace

std::optional<Date> instantValue(const std::any& value) {
  if (const Value* v = storeValue(value)) {
    if (const Date* d = v->getIf<Date>()) return *d;
    return std::nullopt;
  }
  return held<Date>(value);
}

std::optional<std::string> textValue(const std::any& value) {
  if (const Value* v = storeValue(value)) {
    if (const auto* s = v->getIf<std::string>()) return *s;
    return std::nullopt;
  }
  if (auto s = held<std::string>(value)) return s;
  if (auto s = held<std::string_view>(value)) return std::string(*s);
  if (const auto* s = std::any_cast<const char*>(&value)) return *s ? std::optional<std::string>(*s) : std::nullopt;
  if (const auto* s = std::any_cast<char*>(&value)) return *s ? std::optional<std::string>(*s) : std::nullopt;
  return std::nullopt;
}

std::optional<ObjectID> objectIDValue(const std::any& value) {
  if (const Value* v = storeValue(value)) {
    if (const auto* id = v->getIf<ObjectID>()) return *id;
    return std::nullopt;
  }
  return held<ObjectID>(value);
}

std::optional<std::int64_t> integerValue(const std::any& value) {
  if (const Value* v = storeValue(value)) {
    if (const auto* i = v->getIf<std::int64_t>()) return *i;
    return std::nullopt;
  }
  return integerOf<std::int64_t>(value);
}

std::optional<double> doubleValue(const std::any& value) {
  if (const Value* v = storeValue(value)) {
    if (const auto* d = v->getIf<double>()) return *d;
    if (const auto* i = v->getIf<std::int64_t>()) return static_cast<double>(*i);
    return std::nullopt;
  }
  if (auto d = heldAny<double, double, float>(value)) return d;
  return integerOf<double>(value);
}

std::optional<bool> boolValue(const std::any& value) {
  if (const Value* v = storeValue(value)) {
    if (const auto* b = v->getIf<bool>()) return *b;
    return std::nullopt;
  }
  return held<bool>(value);
}

std::optional<BillingStatus> billingStatusValue(const std::any& value) {
  if (auto s = held<BillingStatus>(value)) return s;
  if (auto c = held<BillingStatus::Case>(value)) return BillingStatus(*c);
  return std::nullopt;
}

std::optional<OrderOption> orderOptionValue(const std::any& value) { return held<OrderOption>(value); }

std::optional<std::int64_t> colorIdValue(const std::any& value) {
  if (auto id = held<ColorSet::ID>(value)) return static_cast<std::int64_t>(*id);
  return integerValue(value);
}

}  // namespace chronelle::modifier_detail
