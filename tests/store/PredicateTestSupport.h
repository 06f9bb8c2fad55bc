#pragma once

// Key paths as predicate tests name their values and columns.

#include <span>
#include <string>

#include "chronelle/store/Predicate.h"

namespace chronelle::testing {

inline std::string joinKeyPath(std::span<const std::string> path) {
  std::string text;
  for (const auto& component : path) text += (text.empty() ? "" : ".") + component;
  return text;
}

}  // namespace chronelle::testing
