#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "chronelle/platform/Date.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

class ManagedObject;
using Blob = std::vector<std::uint8_t>;

/// A stored attribute value, a predicate argument, or a value of a dictionary fetch.
/// Absent ("nil") is the default. A managed object given as a value is kept as its
/// ObjectID: stored objects are compared by identity, never by address. A value type.
class Value {
 public:
  /// A list value (for `IN %@`).
  using List = std::vector<Value>;
  /// What a value can hold; std::monostate is absent.
  using Storage =
      std::variant<std::monostate, bool, std::int64_t, double, std::string, Date, Blob, ObjectID, List>;

  Value() = default;
  /// A value holding its argument (implicit, so literals and IDs convert); nullptr is absent and
  /// every integer type is held as std::int64_t.
  ///@{
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  template <class I>
    requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
  Value(I i) : v_(static_cast<std::int64_t>(i)) {}
  Value(double d) : v_(d) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Date d) : v_(d) {}
  Value(Blob b) : v_(std::move(b)) {}
  Value(ObjectID id) : v_(std::move(id)) {}
  Value(List list) : v_(std::move(list)) {}
  ///@}
  /// The object's current ObjectID (absent for a null pointer).
  ///@{
  Value(const std::shared_ptr<ManagedObject>& object);
  template <class T>
    requires std::is_base_of_v<ManagedObject, T>
  Value(const std::shared_ptr<T>& object) : Value(std::static_pointer_cast<ManagedObject>(object)) {}
  ///@}
  /// A list of the given objects' ObjectIDs (for `IN %@`).
  template <class T>
    requires std::is_base_of_v<ManagedObject, T>
  static Value objects(const std::vector<std::shared_ptr<T>>& objects) {
    List list;
    list.reserve(objects.size());
    for (const auto& o : objects) list.emplace_back(o);
    return Value(std::move(list));
  }

  /// True for an absent value.
  bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
  /// The held alternative.
  const Storage& storage() const { return v_; }
  /// The held T; null when the value holds another type.
  template <class T>
  /// The held T; null when the value holds another type.
  const T* getIf() const {
    return std::get_if<T>(&v_);
  }

  /// Numeric view of a bool (0/1), integer or double; absent otherwise.
  std::optional<double> asDouble() const;
  /// Integer view of a bool, integer, or a double with no fraction; absent otherwise.
  ///@{
  std::optional<std::int64_t> asInteger() const;
  std::optional<bool> asBool() const;
  std::optional<std::string> asString() const;
  std::optional<Date> asDate() const;
  std::optional<ObjectID> asObjectID() const;
  ///@}

  /// Readable text for descriptions and logs ("nil", numbers, quoted strings, ISO dates,
  /// object URIs, lists in parentheses).
  std::string description() const;

  /// Equal when every field is.
  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage v_;
};

// Every stored object keeps one Value per property, and a listing makes thousands of
// objects: a Value no larger than its largest member, a string, keeps each object's block of
// values within the allocator's cache of small blocks.
static_assert(sizeof(Value) <= 40, "a Value should be no larger than a string and its index");

}  // namespace chronelle
