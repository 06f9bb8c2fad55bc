#pragma once

#include <any>
#include <optional>
#include <typeindex>

#include "chronelle/model/ValueDictionary.h"
#include "chronelle/store/Value.h"

namespace chronelle {

/// Converts dictionary-valued attributes (a rule's `userInfo`) to the data the store keeps and
/// back. The encoding is CBOR: one map whose values are CBOR scalars, byte strings and arrays,
/// with instants and object IDs wrapped in one-entry maps ({"date": microseconds},
/// {"objectID": uri}) so that every `Value` alternative reads back as itself. Stateless;
/// thread-safe; never throws.
class NSDictionaryValueTransformer {
 public:
  /// The name under which the transformer is registered, which is also its type name.
  static constexpr const char* kName = "NSDictionaryValueTransformer";

  /// Dictionary → data. Anything that is not a ValueDictionary gives nothing.
  static std::optional<Blob> transformedValue(const std::any& value);
  /// Data → dictionary. Anything that is not data, and data that does not decode to a
  /// dictionary, gives nothing.
  static std::optional<ValueDictionary> reverseTransformedValue(const std::any& value);

  /// The typed forms of the two conversions.
  static Blob encode(const ValueDictionary& dictionary);
  /// Data → dictionary; nothing when the data does not decode to one.
  static std::optional<ValueDictionary> decode(const Blob& data);

  /// The type a forward transformation produces from: ValueDictionary.
  static std::type_index transformedValueClass() { return typeid(ValueDictionary); }
  /// True: data can always be turned back into a dictionary.
  static constexpr bool allowsReverseTransformation() { return true; }

  /// Registers the transformer's name with the store's transformer registry. The application
  /// calls it once at start-up, before it opens a store whose model names the transformer;
  /// calling it again does no harm. Thread-safe.
  static void registerTransformer();
};

}  // namespace chronelle
