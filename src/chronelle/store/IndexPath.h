#pragma once

#include <compare>
#include <cstddef>
#include <string>

namespace chronelle {

/// A position in a sectioned list: the section, and the item (row) inside it. A value type.
struct IndexPath {
  /// Section index, from 0.
  std::size_t section = 0;
  /// Row within the section, from 0.
  std::size_t item = 0;

  /// "[section, item]", for descriptions and test output.
  std::string description() const {
    return "[" + std::to_string(section) + ", " + std::to_string(item) + "]";
  }

  /// Ordered field by field, in declaration order.
  friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
  /// Equal when every field is.
  friend bool operator==(const IndexPath&, const IndexPath&) = default;
};

}  // namespace chronelle
