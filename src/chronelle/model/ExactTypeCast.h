#pragma once

#include <typeinfo>

#include "chronelle/store/ManagedObject.h"

namespace chronelle {

/// `object` as a T, or null when it is none. Objects of the model's own classes `Exact` (each
/// a T) are told by their exact type, which costs less than a search of the class tree: lists
/// and the tree listing ask once per row.
template <class T, class... Exact>
T* exactTypeCast(ManagedObject* object) {
  if (object == nullptr) return nullptr;
  const std::type_info& type = typeid(*object);
  if (((type == typeid(Exact)) || ...)) return static_cast<T*>(object);
  return dynamic_cast<T*>(object);
}

}  // namespace chronelle
