#pragma once

#include <memory>
#include <ranges>
#include <system_error>
#include <type_traits>
#include <vector>

#include "chronelle/data/ManagedObjectFetcherError.h"
#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

/// Turns objects and object IDs into the objects of one context, e.g. objects the
/// application holds in the view context into the context a write block runs in.
///
/// Holds its context (shared because contexts are shared by their objects and users).
/// Use on the context's queue only.
class ManagedObjectFetcher {
 public:
  /// Looks objects up in `context`, which must not be null.
  explicit ManagedObjectFetcher(std::shared_ptr<ObjectContext> context) : context_(std::move(context)) {}

  /// The context lookups run in.
  const std::shared_ptr<ObjectContext>& context() const { return context_; }

  /// The same object as this context sees it, with the argument's class. An object with a
  /// temporary ID first gets a permanent one (ManagedObjectFetcherError::
  /// failedToObtainPermanentID when that fails). Throws StoreError (kObjectNotFound) when
  /// the context cannot find it; std::invalid_argument for a null object.
  template <class T>
    requires std::is_base_of_v<ManagedObject, T>
  std::shared_ptr<T> fetchObject(const std::shared_ptr<T>& object) const {
    auto found = std::dynamic_pointer_cast<T>(sameObject(object));
    if (!found) throw std::system_error(ManagedObjectFetcherError::wrongExpectedReturnObjectType);
    return found;
  }

  /// The object with `id` as a T. Throws StoreError (kObjectNotFound) when there is none,
  /// std::system_error(wrongExpectedReturnObjectType) when it is not a T.
  template <class T>
    requires std::is_base_of_v<ManagedObject, T>
  std::shared_ptr<T> fetchObject(const ObjectID& id) const {
    auto found = std::dynamic_pointer_cast<T>(context_->existingObject(id));
    if (!found) throw std::system_error(ManagedObjectFetcherError::wrongExpectedReturnObjectType);
    return found;
  }

  /// Each object looked up by its current ID, in order (temporary IDs are not made
  /// permanent here). The first error ends the call: there are no partial results.
  template <class T, std::ranges::input_range R>
    requires std::is_convertible_v<std::ranges::range_reference_t<R>, std::shared_ptr<const ManagedObject>>
  std::vector<std::shared_ptr<T>> fetchObjects(const R& objects) const {
    std::vector<std::shared_ptr<T>> result;
    for (const auto& object : objects) {
      if (object) result.push_back(fetchObject<T>(object->objectID()));
    }
    return result;
  }

  /// The objects of `ids` as T, in order. The first error ends the call.
  template <class T, std::ranges::input_range R>
    requires std::is_convertible_v<std::ranges::range_reference_t<R>, ObjectID>
  std::vector<std::shared_ptr<T>> fetchObjects(const R& ids) const {
    std::vector<std::shared_ptr<T>> result;
    for (const ObjectID& id : ids) result.push_back(fetchObject<T>(id));
    return result;
  }

 private:
  std::shared_ptr<ManagedObject> sameObject(const std::shared_ptr<ManagedObject>& object) const;

  std::shared_ptr<ObjectContext> context_;
};

}  // namespace chronelle
