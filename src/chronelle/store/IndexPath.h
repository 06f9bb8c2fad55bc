#pragma once

#include <compare>
#include <cstddef>
#include <string>

namespace chronelle {

// A position in a sectioned list: the section, and the item (row) inside it. A value type.
struct IndexPath {
  std::size_t section = 0;
  std::size_t item = 0;

  // "[section, item]", for descriptions and test output.
  std::string description() const {
    return "[" + std::to_string(section) + ", " + std::to_string(item) + "]";
  }

  friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
  friend bool operator==(const IndexPath&, const IndexPath&) = default;
};

}  // namespace chronelle
