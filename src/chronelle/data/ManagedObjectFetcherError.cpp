#include "chronelle/data/ManagedObjectFetcherError.h"

#include <string>

namespace chronelle {
namespace {

class FetcherErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "ManagedObjectFetcherError"; }
  std::string message(int value) const override {
    switch (static_cast<ManagedObjectFetcherError>(value)) {
      case ManagedObjectFetcherError::failedToObtainPermanentID: return "failedToObtainPermanentID";
      case ManagedObjectFetcherError::wrongExpectedReturnObjectType: return "wrongExpectedReturnObjectType";
    }
    return "unknown ManagedObjectFetcherError " + std::to_string(value);
  }
};

}  // namespace

const std::error_category& managedObjectFetcherErrorCategory() {
  static const FetcherErrorCategory category;
  return category;
}

std::error_code make_error_code(ManagedObjectFetcherError error) {
  return {static_cast<int>(error), managedObjectFetcherErrorCategory()};
}

}  // namespace chronelle
