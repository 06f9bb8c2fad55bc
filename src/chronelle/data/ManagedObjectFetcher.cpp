#include "chronelle/data/ManagedObjectFetcher.h"

#include <stdexcept>

#include "chronelle/store/StoreError.h"

namespace chronelle {

std::shared_ptr<ManagedObject> ManagedObjectFetcher::sameObject(const std::shared_ptr<ManagedObject>& object) const {
  if (!object) throw std::invalid_argument("ManagedObjectFetcher: null object");
  if (object->objectID().isTemporaryID()) {
    try {
      context_->obtainPermanentIDs({object});
    } catch (const std::exception&) {
      // The caller only needs to know that the object has no lasting identity yet.
      throw std::system_error(ManagedObjectFetcherError::failedToObtainPermanentID);
    }
  }
  return context_->existingObject(object->objectID());
}

}  // namespace chronelle
