#pragma once

#include <memory>
#include <vector>

#include "chronelle/store/ObjectContext.h"

namespace chronelle {

/// The objects of a fetch as their entity class T; objects of another class are skipped
/// (a fetch by entity name only returns that entity's class, so none are in practice).
template <class T>
std::vector<std::shared_ptr<T>> objectsOfClass(const ObjectSet& objects) {
  std::vector<std::shared_ptr<T>> result;
  result.reserve(objects.size());
  for (const auto& object : objects) {
    if (auto typed = std::dynamic_pointer_cast<T>(object)) result.push_back(std::move(typed));
  }
  return result;
}

/// The first object of a fetch as T, or null.
template <class T>
std::shared_ptr<T> firstOfClass(const ObjectSet& objects) {
  return objects.empty() ? nullptr : std::dynamic_pointer_cast<T>(objects.front());
}

}  // namespace chronelle
