#include "chronelle/data/ChangeSetError.h"

#include <string>

namespace chronelle {
namespace {

class ChangeSetErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "ChangeSetError"; }
  std::string message(int value) const override {
    switch (static_cast<ChangeSetError>(value)) {
      case ChangeSetError::wrongType: return "value of the wrong type";
      case ChangeSetError::valueOutOfRange: return "value out of range";
    }
    return "unknown ChangeSetError " + std::to_string(value);
  }
};

}  // namespace

const std::error_category& changeSetErrorCategory() {
  static const ChangeSetErrorCategory category;
  return category;
}

std::error_code make_error_code(ChangeSetError error) { return {static_cast<int>(error), changeSetErrorCategory()}; }

}  // namespace chronelle
