// Saving with recovery and object references in the user defaults, for BaseDataProvider.
#include <any>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/ErrorDescription.h"
#include "chronelle/model/Node.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

// The object a validation error names, whichever pointer type the validator stored.
std::shared_ptr<ManagedObject> validationObject(const StoreError& error) {
  auto it = error.userInfo().find(StoreError::kValidationObjectKey);
  if (it == error.userInfo().end()) return nullptr;
  if (const auto* object = std::any_cast<std::shared_ptr<ManagedObject>>(&it->second)) return *object;
  if (const auto* node = std::any_cast<std::shared_ptr<Node>>(&it->second)) return *node;
  return nullptr;
}

std::optional<std::string> validationKey(const StoreError& error) {
  auto it = error.userInfo().find(StoreError::kValidationKeyKey);
  if (it == error.userInfo().end()) return std::nullopt;
  if (const auto* key = std::any_cast<std::string>(&it->second)) return *key;
  return std::nullopt;
}

// The coordinator a context reads through (a child context reaches it via its parents).
std::shared_ptr<PersistentStoreCoordinator> coordinatorOf(const std::shared_ptr<ObjectContext>& context) {
  for (auto c = context; c; c = c->parent()) {
    if (auto coordinator = c->coordinator()) return coordinator;
  }
  return nullptr;
}

}  // namespace

void BaseDataProvider::saveContext(const std::function<void(const std::optional<StoreError>&)>& completion) {
  auto finish = [&](const std::optional<StoreError>& error) {
    if (completion) completion(error);
  };
  if (!context_->hasChanges()) return finish(std::nullopt);

  try {
    context_->save();
    return finish(std::nullopt);
  } catch (const StoreError& error) {
    if (error.code() != StoreError::kValidationMissingMandatoryProperty) {
      chronelle::logError(log_, "Unable to handle error on saving context",
                          MetadataValue::stringConvertible(describeError(error)));
      return finish(error);
    }
    // A node renamed to a blank name: quietly keep its saved name instead of failing.
    auto node = std::dynamic_pointer_cast<Node>(validationObject(error));
    if (!node || validationKey(error) != std::string("name")) return finish(error);
    const auto committed = node->committedValues({"name"});
    if (auto it = committed.find("name"); it != committed.end()) node->setValue("name", it->second);
    try {
      context_->save();
      return finish(std::nullopt);
    } catch (const StoreError& retryError) {
      return finish(retryError);
    }
  }
}

void BaseDataProvider::setManagedObjectInUserDefaults(const std::shared_ptr<ManagedObject>& object,
                                                      const std::string& forKey) {
  if (!object) return;
  const std::string uri = object->objectID().uriRepresentation();
  auto defaults = UserDefaults::standard();
  defaults->setData(forKey, UserDefaults::Data(uri.begin(), uri.end()));
  defaults->synchronize();
}

std::shared_ptr<ManagedObject> BaseDataProvider::managedObjectFromUserDefaults(const std::string& forKey) const {
  auto defaults = UserDefaults::standard();
  auto data = defaults->data(forKey);
  if (!data) return nullptr;
  const std::string uri(data->begin(), data->end());
  std::shared_ptr<ManagedObject> object;
  context_->performAndWait([&] {
    try {
      auto coordinator = coordinatorOf(context_);
      if (!coordinator) return;
      if (auto id = coordinator->managedObjectIDForURIRepresentation(uri)) object = context_->existingObject(*id);
    } catch (const std::exception&) {
      // A reference to an object that is gone reads as no object, by design.
      object = nullptr;
    }
  });
  return object;
}

void BaseDataProvider::removeManagedObjectFromUserDefaults(const std::string& key) {
  auto defaults = UserDefaults::standard();
  defaults->removeObject(key);
  defaults->synchronize();
}

}  // namespace chronelle
