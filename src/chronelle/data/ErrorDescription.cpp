#include "chronelle/data/ErrorDescription.h"

#include <system_error>

#include "chronelle/store/StoreError.h"

namespace chronelle {

std::string describeError(const std::exception& error) {
  if (const auto* store = dynamic_cast<const StoreError*>(&error)) return store->description();
  if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
    return std::string(system->code().category().name()) + ": " + system->code().message();
  }
  return error.what();
}

std::string describeError(const std::exception_ptr& error) {
  if (!error) return "nil";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return describeError(e);
  } catch (...) {
    return "unknown exception";
  }
}

}  // namespace chronelle
