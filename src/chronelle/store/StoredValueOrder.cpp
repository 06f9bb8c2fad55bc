#include "chronelle/store/StoredValueOrder.h"

#include <cmath>
#include <cstdint>
#include <string_view>
#include <variant>

#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectState.h"

namespace chronelle {

namespace {

using Number = std::variant<std::int64_t, double>;

int sign(auto difference) { return difference < 0 ? -1 : (difference > 0 ? 1 : 0); }

// The number the store keeps for a value of the number class.
Number numberOf(const Value& value) {
  const auto& storage = value.storage();
  if (const auto* b = std::get_if<bool>(&storage)) return std::int64_t{*b ? 1 : 0};
  if (const auto* d = std::get_if<double>(&storage)) return *d;
  if (const auto* date = std::get_if<Date>(&storage)) return date->microsecondsSince1970();
  // The engine binds a temporary (or invalid) ID as -1, which no row's key equals.
  if (const auto* id = std::get_if<ObjectID>(&storage)) {
    return id->isValid() && !id->isTemporaryID() ? id->primaryKey() : std::int64_t{-1};
  }
  if (const auto* i = std::get_if<std::int64_t>(&storage)) return *i;
  return std::int64_t{0};
}

std::string_view bytesOf(const Value& value) {
  if (const auto* text = value.getIf<std::string>()) return *text;
  if (const auto* blob = value.getIf<Blob>())
    return {reinterpret_cast<const char*>(blob->data()), blob->size()};
  return {};
}

// Exact comparison of an integer with a double, as SQLite makes it (the integer is not
// rounded to the nearest double first).
int compareIntegerWithDouble(std::int64_t i, double d) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (d >= kTwoTo63) return -1;
  if (d < -kTwoTo63) return 1;
  const double whole = std::trunc(d);
  const auto truncated = static_cast<std::int64_t>(whole);
  if (i != truncated) return i < truncated ? -1 : 1;
  return sign(whole - d);  // i is the whole part; the fraction decides
}

int compareNumbers(const Number& a, const Number& b) {
  const auto* ai = std::get_if<std::int64_t>(&a);
  const auto* bi = std::get_if<std::int64_t>(&b);
  if (ai && bi) return (*ai > *bi) - (*ai < *bi);
  if (ai) return compareIntegerWithDouble(*ai, std::get<double>(b));
  if (bi) return -compareIntegerWithDouble(*bi, std::get<double>(a));
  const double x = std::get<double>(a);
  const double y = std::get<double>(b);
  return (x > y) - (x < y);
}

}  // namespace

StorageClass storageClassOf(const Value& value) {
  return std::visit(
      [](const auto& v) -> StorageClass {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return StorageClass::absent;
        } else if constexpr (std::is_same_v<T, double>) {
          return std::isnan(v) ? StorageClass::absent : StorageClass::number;
        } else if constexpr (std::is_same_v<T, std::string>) {
          return StorageClass::text;
        } else if constexpr (std::is_same_v<T, Blob>) {
          return StorageClass::blob;
        } else if constexpr (std::is_same_v<T, Value::List>) {
          return StorageClass::other;
        } else {
          return StorageClass::number;  // bool, integer, date, object ID
        }
      },
      value.storage());
}

int compareStoredValues(const Value& a, const Value& b) {
  const StorageClass ca = storageClassOf(a);
  const StorageClass cb = storageClassOf(b);
  if (ca != cb) return ca < cb ? -1 : 1;
  switch (ca) {
    case StorageClass::number:
      return compareNumbers(numberOf(a), numberOf(b));
    // std::string_view compares as unsigned bytes, then by length: the BINARY collation.
    case StorageClass::text:
    case StorageClass::blob:
      return sign(bytesOf(a).compare(bytesOf(b)));
    default:
      return 0;
  }
}

bool precedesInKeyOrder(const ManagedObject& a, const ManagedObject& b, bool descending) {
  const auto& x = descending ? b.state() : a.state();
  const auto& y = descending ? a.state() : b.state();
  if (x.id.isTemporaryID() != y.id.isTemporaryID()) return !x.id.isTemporaryID();
  if (!x.id.isTemporaryID()) return x.id.primaryKey() < y.id.primaryKey();
  return x.changeSeq < y.changeSeq;
}

}  // namespace chronelle
